"""Validates a JSON document, or each line of a JSON Lines file with --lines,
against a JSON Schema; prints the first fault and exits 1 when one does not fit."""
import json
import sys

import jsonschema


def main(argv):
    lines = "--lines" in argv
    schema_path, data_path = [a for a in argv if a != "--lines"]
    with open(schema_path, encoding="utf-8") as f:
        validator = jsonschema.Draft202012Validator(json.load(f))
    with open(data_path, encoding="utf-8") as f:
        text = f.read()
    docs = [json.loads(line) for line in text.splitlines() if line.strip()] if lines else [json.loads(text)]
    if not docs:
        print("no document", file=sys.stderr)
        return 1
    for n, doc in enumerate(docs, 1):
        error = jsonschema.exceptions.best_match(validator.iter_errors(doc))
        if error is not None:
            where = "/".join(str(p) for p in error.absolute_path)
            print(f"record {n}: {where}: {error.message}", file=sys.stderr)
            return 1
    print(f"{len(docs)} valid")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
