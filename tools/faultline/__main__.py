"""Entry point: python3 tools/faultline [options]."""
import os
import sys

if __package__ in (None, ""):
    # Run as a folder: make the package importable as "faultline".
    sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

from faultline.line import main  # noqa: E402

if __name__ == "__main__":
    sys.exit(main())
