#!/usr/bin/env python3
"""Checks that includes and links between the product folders go one way only:

    app -> homework, learning, classroom -> pages -> data -> platform
    tools -> data, platform

Every quoted #include in a folder's sources is found by file name among the
product folders; every target_link_libraries and target_include_directories
of a folder's CMakeLists.txt is mapped to the folder its target lives in.  A
use of another folder that the order does not allow is printed and fails the
check.  Usage: check-folders.py [source root] | --self-test
"""
import os
import re
import sys

FOLDERS = ["app", "homework", "pages", "learning", "classroom", "data", "platform", "tools"]

# folder -> folders it may use
ALLOWED = {
    "app": {"homework", "pages", "learning", "classroom", "data", "platform"},
    "homework": {"pages", "data", "platform"},
    "learning": {"pages", "data", "platform"},
    "classroom": {"pages", "data", "platform"},
    "pages": {"data", "platform"},
    "data": {"platform"},
    "platform": set(),
    "tools": {"data", "platform"},
}

TARGETS = {
    "shell": "app", "aoshu": "app", "homework": "homework", "pages": "pages",
    "learning": "learning", "data": "data", "platform": "platform",
    "page_layout": "pages", "page_progress": "pages", "contentlib": "tools", "contentbuilder": "tools",
    "classroom": "classroom", "aoshu-class": "app",
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
CMAKE_CALL = re.compile(r"\b(target_link_libraries|target_include_directories)\s*\(([^)]*)\)", re.S)
DIR_REF = re.compile(r"\$\{(?:PROJECT|CMAKE)_SOURCE_DIR\}/(\w+)")


def header_homes(root):
    homes = {}
    for folder in FOLDERS:
        for dirpath, _, files in os.walk(os.path.join(root, folder)):
            for f in files:
                if f.endswith((".h", ".hpp")):
                    homes.setdefault(f, set()).add(folder)
    return homes


def uses(root):
    """Yields (from folder, to folder, where) for every use of another folder."""
    homes = header_homes(root)
    for folder in FOLDERS:
        for dirpath, _, files in os.walk(os.path.join(root, folder)):
            for f in sorted(files):
                path = os.path.join(dirpath, f)
                rel = os.path.relpath(path, root)
                if f.endswith((".h", ".hpp", ".cpp")):
                    text = open(path, encoding="utf-8", errors="replace").read()
                    for name in INCLUDE.findall(text):
                        base = os.path.basename(name)
                        if os.path.exists(os.path.join(dirpath, name)):
                            continue
                        for home in homes.get(base, ()):
                            if home != folder:
                                yield folder, home, f'{rel}: #include "{name}"'
                elif f == "CMakeLists.txt" or f.endswith(".cmake"):
                    text = open(path, encoding="utf-8").read()
                    for call, args in CMAKE_CALL.findall(text):
                        words = args.split()
                        for word in words[1:]:
                            to = TARGETS.get(word)
                            for ref in DIR_REF.findall(word):
                                to = ref if ref in ALLOWED else to
                            if to and to != folder:
                                yield folder, to, f"{rel}: {call}({words[0]} ... {word})"


def check(root, out=print):
    """Prints the findings; returns the number of wrong uses."""
    wrong = [f"{source} -> {target}  {where}" for source, target, where in uses(root) if target not in ALLOWED[source]]
    for line in wrong:
        out("against the folder order: " + line)
    out(f"folder order: {len(wrong)} wrong")
    return len(wrong)


def self_test():
    """The check finds a wrong include and a wrong link in a small tree."""
    import tempfile
    cases = [  # files to write, expected number of wrong uses
        ({"platform/gbk.h": "", "data/datam.cpp": '#include "gbk.h"\n'}, 0),
        ({"tools/builder.h": "", "data/jet.cpp": '#include "builder.h"\n'}, 1),
        ({"data/CMakeLists.txt": "target_link_libraries(data PRIVATE contentlib)\n"}, 1),
        ({"platform/CMakeLists.txt": "target_include_directories(platform PUBLIC ${PROJECT_SOURCE_DIR}/pages)"}, 1),
        ({"app/mainform.h": "", "homework/cards.cpp": '#include "mainform.h"\n'}, 1),
        ({"homework/CMakeLists.txt": "target_link_libraries(homework PUBLIC shell)\n"}, 1),
        ({"learning/CMakeLists.txt": "target_link_libraries(learning PUBLIC pages)\n"}, 0),
        ({"pages/shell.h": "", "homework/session.h": '#include "shell.h"\n'}, 0),
        ({"pages/canvas.h": "", "learning/page.cpp": '#include "canvas.h"\n'}, 0),
        ({"learning/picture.h": "", "pages/report.cpp": '#include "picture.h"\n'}, 1),
        ({"pages/pdf_export.h": "", "classroom/report.cpp": '#include "pdf_export.h"\n'}, 0),
        ({"classroom/pg.h": "", "data/outbox.cpp": '#include "pg.h"\n'}, 1),
        ({"homework/session.h": "", "classroom/upload.cpp": '#include "session.h"\n'}, 1),
        ({"app/CMakeLists.txt": "target_link_libraries(aoshu-class PRIVATE classroom)\n"}, 0),
        ({"pages/CMakeLists.txt": "target_link_libraries(pages PRIVATE classroom)\n"}, 1),
    ]
    failures = 0
    for files, expected in cases:
        with tempfile.TemporaryDirectory() as root:
            for name, text in files.items():
                os.makedirs(os.path.dirname(os.path.join(root, name)), exist_ok=True)
                with open(os.path.join(root, name), "w", encoding="utf-8") as f:
                    f.write(text)
            found = check(root, out=lambda line: None)
            if found != expected:
                print(f"self-test: {sorted(files)} gave {found} wrong uses, expected {expected}")
                failures += 1
    print(f"self-test: {len(cases) - failures} of {len(cases)} cases right")
    return failures


def main():
    if sys.argv[1:] == ["--self-test"]:
        return 1 if self_test() else 0
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    return 1 if check(os.path.abspath(root)) else 0


if __name__ == "__main__":
    sys.exit(main())
