#!/usr/bin/env python3
"""Checks the include lines under src/ against the layers of the program.

- Each folder includes only its own headers and those of the folders below it:
  the editor, zip and video-capture components never name the messenger's
  code (transport, core, conversations, chat rooms), and the core never names
  the windows above it.
- The session layer (src/core/session) includes no Qt Widgets header, neither
  itself nor through any header of the project it includes.
- Only the main window's own file and the program's main.cpp include the main
  window's header.

Prints one line per breach and exits 1 when there is any.
"""

import glob
import os
import re
import subprocess
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
SRC = os.path.join(ROOT, "src")

BELOW = {
    "platform": set(),
    "zip": {"platform"},
    "editor": {"platform"},
    "videocapture": {"platform"},
    "resources": {"platform"},
    "transport": {"platform"},
    "core": {"platform", "resources", "transport"},
    "conversations": {"platform", "resources", "transport", "core", "editor", "zip", "videocapture"},
    "chatrooms": {"platform", "resources", "transport", "core", "editor", "zip", "videocapture", "conversations"},
}
BELOW["app"] = set(BELOW) | {"app"}

SESSION = "core/session/"
MAIN_WINDOW = "core/FormMain.h"
MAIN_WINDOW_USERS = {"core/FormMain.cpp", "app/main.cpp"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def widget_headers():
    """The names of Qt's Widgets module headers, from the Qt the build uses."""
    roots = []
    for tool in ("qmake6", "qtpaths6"):
        try:
            out = subprocess.run([tool, "-query", "QT_INSTALL_HEADERS"], capture_output=True, text=True, timeout=20)
            if out.returncode == 0 and out.stdout.strip():
                roots.append(out.stdout.strip())
                break
        except OSError:
            continue
    roots += glob.glob("/usr/include/*/qt6") + ["/usr/include/qt6"]
    for root in roots:
        folder = os.path.join(root, "QtWidgets")
        if os.path.isdir(folder):
            return set(os.listdir(folder))
    sys.exit("check_includes: the Qt Widgets headers were not found")


def includes(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return INCLUDE.findall(f.read())


def resolve(name, including):
    """A quoted include as a path under src/, or None when it is not the project's."""
    for base in (SRC, os.path.dirname(including)):
        candidate = os.path.normpath(os.path.join(base, name))
        if os.path.isfile(candidate) and candidate.startswith(SRC + os.sep):
            return candidate
    return None


def rel(path):
    return os.path.relpath(path, SRC)


def main():
    widgets = widget_headers()
    files = sorted(p for p in glob.glob(os.path.join(SRC, "**", "*"), recursive=True)
                   if p.endswith((".h", ".cpp")))
    parsed = {p: includes(p) for p in files}
    breaches = []

    for path in files:
        name = rel(path)
        folder = name.split(os.sep)[0]
        allowed = BELOW.get(folder, set()) | {folder}
        for kind, target in parsed[path]:
            if kind != '"':
                continue
            top = target.split("/")[0] if "/" in target else folder
            if top not in allowed:
                breaches.append("%s includes %s: %s may not use %s" % (name, target, folder, top))
            if target == MAIN_WINDOW and name not in MAIN_WINDOW_USERS:
                breaches.append("%s includes the main window's header" % name)

    # Widget headers reached from the session layer, directly or through the
    # project's own headers.
    for path in files:
        if not rel(path).startswith(SESSION):
            continue
        seen, stack = {path}, [(path, [rel(path)])]
        while stack:
            current, chain = stack.pop()
            for kind, target in parsed.get(current) or includes(current):
                if kind == "<":
                    header = target.split("/")[-1]
                    if target.startswith("QtWidgets") or header in widgets:
                        breaches.append("%s reaches Qt Widgets: %s" % (rel(path), " -> ".join(chain + [target])))
                    continue
                found = resolve(target, current)
                if found and found not in seen:
                    seen.add(found)
                    stack.append((found, chain + [rel(found)]))

    for line in sorted(set(breaches)):
        print(line)
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main())
