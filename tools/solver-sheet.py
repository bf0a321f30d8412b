#!/usr/bin/env python3
"""Question sheets for an independent solver, and the comparison with the keys.

  solver-sheet.py sheet content/grades/grade05.toml [FIRST [LAST]]  > sheet.txt
      prints every question (number, unit, text, picture file) without its
      key or analysis, for someone who re-solves the grade without seeing them;
  solver-sheet.py compare content/grades/grade05.toml answers.txt
      reads the solver's lines "NUMBER LETTER" (anything after is a note) and
      lists every question whose key differs or that was not answered;
      status 1 when there is any.
"""
import sys
import tomllib


def questions(path):
    with open(path, "rb") as f:
        return tomllib.load(f).get("question", [])


def sheet(path, first=1, last=None):
    qs = questions(path)
    last = last or len(qs)
    for n in range(first, last + 1):
        q = qs[n - 1]
        print(f"=== {n}  (unit: {q.get('unit', '-')}, level {q.get('level')})")
        print(q["text"].rstrip())
        if "picture" in q:
            print(f"[picture: content/{q['picture']}]")
        print()


def compare(path, answers_path):
    keys = {n: q["key"] for n, q in enumerate(questions(path), 1)}
    given = {}
    with open(answers_path, encoding="utf-8") as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 2 and parts[0].isdigit() and parts[1] in "ABCD":
                given[int(parts[0])] = (parts[1], " ".join(parts[2:]))
    bad = 0
    for n, key in keys.items():
        if n not in given:
            continue
        letter, note = given[n]
        if letter != key:
            bad += 1
            print(f"question {n}: key {key}, solver {letter}  {note}")
    missing = [n for n in keys if n not in given]
    print(f"{len(given)} answered, {bad} disagreements, {len(missing)} not answered")
    return 1 if bad else 0


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "sheet":
        sheet(sys.argv[2], *[int(a) for a in sys.argv[3:5]])
    elif len(sys.argv) == 4 and sys.argv[1] == "compare":
        sys.exit(compare(sys.argv[2], sys.argv[3]))
    else:
        print(__doc__)
        sys.exit(2)
