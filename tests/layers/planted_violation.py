#!/usr/bin/python3
"""The layering check must catch what it exists for: on a copy of the sources it passes, and once
one forbidden include is planted in the copy (the ledger reaching up into the main window), it fails
naming that file and line. Usage: planted_violation.py SOURCE_DIR CHECKER"""
import os
import shutil
import subprocess
import sys
import tempfile

FOLDERS = ("app", "cli", "dialogs", "export", "framework", "import", "ledger", "regional", "reports", "tools")
VICTIM = "ledger/Books.cpp"
PLANTED = '#include "app/Forms.h"\n'


def check(checker, root):
    return subprocess.run([sys.executable, checker, root], capture_output=True, text=True)


def main(source, checker):
    with tempfile.TemporaryDirectory() as copy:
        for folder in FOLDERS:
            shutil.copytree(os.path.join(source, folder), os.path.join(copy, folder),
                            ignore=shutil.ignore_patterns("*.txt", "*.md", "*.png", "*.svg"))
        clean = check(checker, copy)
        if clean.returncode != 0:
            print("the unchanged copy does not pass:\n" + clean.stdout + clean.stderr)
            return 1
        path = os.path.join(copy, VICTIM)
        with open(path, encoding="utf-8") as f:
            lines = f.readlines()
        lines.insert(1, PLANTED)
        with open(path, "w", encoding="utf-8") as f:
            f.writelines(lines)
        planted = check(checker, copy)
        expected = VICTIM + ":2: includes app/Forms.h: ledger may not include app"
        if planted.returncode != 1 or expected not in planted.stdout:
            print(f"the planted include was not reported as `{expected}` (exit {planted.returncode}):\n"
                  + planted.stdout + planted.stderr)
            return 1
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2]))
