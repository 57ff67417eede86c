#!/usr/bin/python3
"""Who may include whom: every #include "folder/..." line of the program's sources is checked
against the arrows below; an include along any other arrow is named and the check fails.

Usage: check_layers.py SOURCE_DIR [--dot FILE]
With --dot, the folders and the arrows found between them (with how many includes each carries)
are written as a Graphviz graph; a forbidden arrow is drawn red. Where Graphviz is installed, the
graph is also drawn beside it as FILE.png.
"""
import os
import re
import shutil
import subprocess
import sys

# The layers, most specific first: a file belongs to the first whose prefix its path starts with.
# The code-page module is a layer of its own inside ledger/, because the tools may use it without
# the rest of the ledger.
LAYERS = [
    ("regional", "regional/"),
    ("codepage", "ledger/CodePage."),
    ("ledger", "ledger/"),
    ("framework", "framework/"),
    ("report-engine", "reports/engine/"),
    ("statements", "reports/statements/"),
    ("analysis", "reports/analysis/"),
    ("report-windows", "reports/"),
    ("import", "import/"),
    ("export-window", "export/ExportWindow."),
    ("export", "export/"),
    ("dialogs", "dialogs/"),
    ("notepad", "tools/notepad/"),
    ("calculators", "tools/calculators/"),
    ("help", "tools/help/"),
    ("cli", "cli/"),
    ("app", "app/"),
]

# The arrows allowed besides a layer's includes of itself. What is not here is forbidden: the
# ledger sees nothing of the windows, the reports or the companion; the report engine nothing of
# the ledger; dialogs and reports nothing of app/; the tools of the ledger only the code pages.
ALLOWED = {
    "regional": set(),
    "codepage": set(),
    "ledger": {"codepage"},
    "framework": {"regional", "ledger", "codepage"},
    "report-engine": {"regional"},
    "statements": {"report-engine", "regional", "ledger", "codepage"},
    "analysis": {"regional", "ledger", "codepage"},
    "report-windows": {"statements", "analysis", "report-engine", "framework", "help", "regional", "ledger",
                       "codepage"},
    "import": {"ledger", "codepage", "regional"},
    "export": {"ledger", "codepage", "regional"},
    "export-window": {"export", "framework", "help", "regional", "ledger", "codepage"},
    "dialogs": {"import", "framework", "help", "regional", "ledger", "codepage"},
    "notepad": {"framework", "regional", "codepage"},
    "calculators": {"framework", "regional"},
    "help": {"framework", "regional"},
    "cli": {"ledger", "codepage", "statements", "analysis", "report-engine", "import", "export", "regional"},
    "app": {"dialogs", "report-windows", "statements", "analysis", "report-engine", "import", "export",
            "export-window",
            "notepad", "calculators", "help", "framework", "regional", "ledger", "codepage"},
}

SOURCE_SUFFIXES = (".h", ".cpp")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def layer_of(path):
    for name, prefix in LAYERS:
        if path.startswith(prefix):
            return name
    return None


def sources(root):
    for top in sorted({prefix.split("/")[0] for _, prefix in LAYERS}):
        for folder, dirs, files in os.walk(os.path.join(root, top)):
            dirs.sort()
            for f in sorted(files):
                if f.endswith(SOURCE_SUFFIXES):
                    full = os.path.join(folder, f)
                    yield os.path.relpath(full, root).replace(os.sep, "/"), full


def main(argv):
    if len(argv) not in (2, 4) or (len(argv) == 4 and argv[2] != "--dot"):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    root = argv[1]
    arrows = {}  # (from, to) -> number of includes
    forbidden = []
    for rel, full in sources(root):
        source = layer_of(rel)
        with open(full, encoding="utf-8", errors="replace") as text:
            for number, line in enumerate(text, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                target = layer_of(m.group(1))
                # A file beside this one ("Unit2.h" from dialogs/) or outside the layers is its
                # own folder's business.
                if target is None or target == source:
                    continue
                arrows[(source, target)] = arrows.get((source, target), 0) + 1
                if target not in ALLOWED[source]:
                    forbidden.append((rel, number, m.group(1), source, target))
    for rel, number, included, source, target in forbidden:
        print(f"{rel}:{number}: includes {included}: {source} may not include {target}")
    if len(argv) == 4:
        with open(argv[3], "w", encoding="utf-8") as dot:
            dot.write("digraph layers {\n  rankdir=TB;\n  node [shape=box, fontname=\"Liberation Sans\"];\n")
            for (source, target), count in sorted(arrows.items()):
                colour = "black" if target in ALLOWED[source] else "red"
                dot.write(f'  "{source}" -> "{target}" [label="{count}", color={colour}, fontcolor={colour}];\n')
            dot.write("}\n")
        if shutil.which("dot"):
            subprocess.run(["dot", "-Tpng", "-o", argv[3] + ".png", argv[3]], check=True)
    return 1 if forbidden else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
