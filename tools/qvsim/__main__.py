"""Entry point: python3 tools/qvsim [options]."""
import os
import sys

if __package__ in (None, ""):
    # Run as a folder: make the package importable as "qvsim".
    sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

from qvsim.cli import main  # noqa: E402

if __name__ == "__main__":
    sys.exit(main())
