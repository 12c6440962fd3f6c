#!/usr/bin/env python3
"""Test-disc maker: the command line of the discmaker package beside this file.
Run it with --help for the commands."""

import sys

from discmaker.cli import main

if __name__ == "__main__":
    sys.exit(main())
