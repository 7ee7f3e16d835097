#!/usr/bin/env python3
"""Prints the include edges between the folders of src/: "from -> to: count", one a line.

A folder is a file's directory below src/ (so data/ui is apart from data). Includes within one
folder are left out.
"""
import re
import sys
from collections import Counter
from pathlib import Path

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def edges(src: Path) -> Counter:
    found = Counter()
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        source = str(path.parent.relative_to(src))
        for target in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
            if "/" not in target or not (src / target).exists():
                continue
            folder = str(Path(target).parent)
            if folder != source:
                found[(source, folder)] += 1
    return found


def main(argv=None) -> int:
    args = sys.argv[1:] if argv is None else argv
    src = Path(args[0]) if args else Path(__file__).resolve().parent.parent / "src"
    if not src.is_dir():
        print(f"no source folder at {src}", file=sys.stderr)
        return 1
    for (source, target), count in sorted(edges(src).items()):
        print(f"{source} -> {target}: {count}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
