"""Damaged database files: copies of the bundled database, each damaged one
way (truncated at a random length; random bytes flipped in the header, in a
b-tree page or inside a picture; a wrong password digest; a table, a view
or a column missing; a table replaced by a view or given a column of the
wrong type), and the real program started on each on Xvfb.

Every run must end either at the start screen (with nothing on stderr) or
with the database error box, after which the program ends with a non-zero
status and the file is byte for byte as before.  A crash, a hang past the
limit, any other error box or notice, or a rejected file that changed is a
failure.

    python3 tests/e2e/damagetest.py [--copies N] [--workers W] [--seed X]

Environment: AOSHU_BIN_DIR (default build/bin) holds aoshu and
dat/kelvma.dat.  Exits 0 when every run ended well.
"""

import argparse
import hashlib
import os
import random
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import killtest  # noqa: E402
import layout  # noqa: E402
import cards  # noqa: E402

RUN_LIMIT = 30  # seconds from the start to the start screen or the box
SETTLED = 6     # a start screen is judged this long after the window shows
DB_ERROR_CAPTION = "系统提示"
PAGE = 4096

TABLES = ["b1", "b2", "b3", "b4", "b5", "b6"]


# --- damages ---------------------------------------------------------------

def _sql(path, statements):
    connection = sqlite3.connect(path)
    try:
        for statement in statements:
            connection.execute(statement)
        connection.commit()
    finally:
        connection.close()


def _flip(path, offsets, rng):
    with open(path, "r+b") as f:
        for offset in offsets:
            f.seek(offset)
            byte = f.read(1)
            if not byte:
                continue
            f.seek(offset)
            f.write(bytes([byte[0] ^ rng.randrange(1, 256)]))


def truncate(path, rng):
    size = os.path.getsize(path)
    length = rng.randrange(0, size)
    os.truncate(path, length)
    return f"truncated to {length} of {size} bytes"


def header_bytes(path, rng):
    offsets = sorted(rng.sample(range(100), rng.randint(1, 4)))
    _flip(path, offsets, rng)
    return f"header bytes {offsets} flipped"


def page_bytes(path, rng):
    pages = os.path.getsize(path) // PAGE
    page = rng.randrange(1, pages) if pages > 1 else 0
    offsets = sorted(page * PAGE + rng.randrange(PAGE) for _ in range(rng.randint(1, 8)))
    _flip(path, offsets, rng)
    return f"page {page + 1}: bytes {offsets} flipped"


def blob_bytes(path, rng):
    connection = sqlite3.connect(f"file:{path}?mode=ro", uri=True)
    try:
        rows = connection.execute("select zd1, zd12 from b1 where zd12 is not null").fetchall()
    finally:
        connection.close()
    question, blob = rng.choice(rows)
    with open(path, "rb") as f:
        content = f.read()
    start = content.find(blob[:64])
    if start < 0:
        return page_bytes(path, rng)
    offsets = sorted(start + rng.randrange(min(len(blob), PAGE - 200)) for _ in range(rng.randint(1, 6)))
    _flip(path, offsets, rng)
    return f"picture of question {question}: bytes {offsets} flipped"


def wrong_password(path, rng):
    digest = "%064x" % rng.getrandbits(256)
    _sql(path, [f"update dbinfo set value='{digest}' where name='password-sha256'"])
    return "wrong password digest"


def missing_table(path, rng):
    name = rng.choice(TABLES + ["v_b", "dbinfo"])
    kind = "view" if name == "v_b" else "table"
    _sql(path, [f"drop {kind} {name}"])
    return f"{kind} {name} dropped"


def missing_column(path, rng):
    columns = {"b1": ["zd2", "zd5", "zd6", "zd7", "zd9", "zd10", "zd11", "zd12", "zd14", "zd15"],
               "b2": ["zd3", "zd4", "zd5", "zd6", "zd12"], "b3": ["zd2", "zd3", "zd4", "zd5", "zd6"],
               "b4": ["zd2", "zd3", "zd4", "zd5", "zd6"], "b5": ["zd2", "zd5", "zd6"],
               "b6": ["zd2", "zd3", "zd4", "zd5"]}
    table = rng.choice(sorted(columns))
    column = rng.choice(columns[table])
    # v_b names columns of b1 and b3: it goes first, as it would have to.
    _sql(path, ["drop view v_b", f"alter table {table} drop column {column}"])
    return f"column {table}.{column} dropped (and v_b)"


def wrong_type(path, rng):
    table = rng.choice(TABLES)
    if rng.random() < 0.5:
        _sql(path, ["drop view v_b", f"alter table {table} rename to old_{table}",
                    f"create view {table} as select * from old_{table}"])
        return f"{table} replaced by a view"
    connection = sqlite3.connect(path)
    try:
        columns = connection.execute(f"select name, type from pragma_table_info('{table}')").fetchall()
    finally:
        connection.close()
    column, _ = rng.choice([c for c in columns if c[0] != "zd1"])
    definition = ", ".join(f"{n} {'REAL' if n == column else t}" + (" PRIMARY KEY" if n == "zd1" else "")
                           for n, t in columns)
    _sql(path, ["drop view v_b", f"alter table {table} rename to old_{table}",
                f"create table {table} ({definition})",
                f"insert into {table} select * from old_{table}", f"drop table old_{table}"])
    return f"{table}.{column} declared REAL"


DAMAGES = [truncate, header_bytes, page_bytes, page_bytes, blob_bytes, wrong_password, missing_table,
           missing_column, wrong_type]


# --- one run ---------------------------------------------------------------

def _digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def judge(server, program, database, before):
    """Starts the program on the damaged file; returns (outcome, problem or
    None)."""
    process = program.start(server)
    started = time.monotonic()
    window_at = None
    try:
        while time.monotonic() - started < RUN_LIMIT:
            status = process.poll()
            if status is not None:
                if killtest.NO_DISPLAY in harness.output_of(process):
                    raise killtest.DisplayLost(harness.output_of(process))
                return "ended", f"ended with status {status} without a message:\n{harness.output_of(process)}"
            if harness.find_windows(server, DB_ERROR_CAPTION):
                subprocess.run(["xdotool", "search", "--name", DB_ERROR_CAPTION, "key", "Return"],
                               env=server.env(), capture_output=True)
                status = harness.wait_exit(process, timeout=10)
                if status is None or status == 0 or status < 0:
                    return "error box", f"after the error box: status {status}"
                if _digest(database) != before:
                    return "error box", "the rejected file was changed"
                return "error box", None
            if window_at is None and harness.find_windows(server, layout.TITLE):
                window_at = time.monotonic()
            if window_at is not None and time.monotonic() - window_at > SETTLED:
                output = harness.output_of(process)
                if "aoshu:" in output:
                    return "start screen", f"messages on stderr:\n{output}"
                if harness.find_windows(server, "TmainForm"):
                    return "start screen", "an error box"
                shot = cards.Shot(harness.capture(server, os.path.join(program.dir, "shot.png")))
                if not (shot.bbox(layout.BT1, cards.is_blue) and shot.bbox(layout.BT2, cards.is_blue)):
                    return "no start screen", "BT1 and BT2 do not both show their captions"
                return "start screen", None
            time.sleep(0.2)
        return "hang", f"nothing within {RUN_LIMIT} s:\n{harness.output_of(process)}"
    finally:
        if process.poll() is None:
            process.kill()
        process.wait(timeout=10)


def worker(bin_dir, jobs, results, lock):
    server = harness.XServer()
    temp = tempfile.mkdtemp(prefix="aoshu-damage-")
    try:
        while True:
            with lock:
                if not jobs:
                    return
                number, damage, seed = jobs.pop()
            program = harness.Program(bin_dir, os.path.join(temp, f"run{number}"))
            os.chmod(program.dir, 0o700)  # it is the program's XDG_RUNTIME_DIR too
            try:
                rng = random.Random(seed)
                try:
                    what = damage(program.database, rng)
                except sqlite3.Error as e:
                    what = f"{damage.__name__}: could not damage ({e}); the file as it is"
                before = _digest(program.database)
                for attempt in range(3):
                    try:
                        outcome, problem = judge(server, program, program.database, before)
                        break
                    except killtest.DisplayLost:
                        # Trouble of the machine, not of the program: a new
                        # X server, the same file again.
                        server.stop()
                        server = harness.XServer()
                else:
                    outcome, problem = "no display", "the X server was lost three times"
            finally:
                program.stop_all()
                shutil.rmtree(program.dir, ignore_errors=True)
            with lock:
                results.append((number, damage.__name__, what, outcome, problem))
    finally:
        server.stop()
        shutil.rmtree(temp, ignore_errors=True)


def run(copies=500, workers=4, seed=None, bin_dir=harness.BIN_DIR, report=print):
    seed = seed if seed is not None else random.randrange(1 << 30)
    rng = random.Random(seed)
    report(f"damaged files: seed {seed}, {copies} copies, {workers} workers")
    jobs = [(n, DAMAGES[n % len(DAMAGES)], rng.randrange(1 << 30)) for n in range(copies)]
    jobs.reverse()
    results, lock = [], threading.Lock()
    threads = [threading.Thread(target=worker, args=(bin_dir, jobs, results, lock)) for _ in range(workers)]
    for t in threads:
        t.start()
    shown = 0
    while any(t.is_alive() for t in threads):
        time.sleep(1)
        with lock:
            fresh = results[shown:]
            shown = len(results)
        for number, kind, what, outcome, problem in fresh:
            report(f"{number:4d} {what}: {outcome}" + (f"  FAILED: {problem}" if problem else ""))
    for t in threads:
        t.join()
    failures = [r for r in results if r[4]]
    tally = {}
    for _, kind, _, outcome, problem in results:
        key = (kind, outcome if not problem else "FAILED")
        tally[key] = tally.get(key, 0) + 1
    for (kind, outcome), count in sorted(tally.items()):
        report(f"  {kind:15s} {outcome:15s} {count}")
    report(f"damaged files: {len(results)} runs, {len(failures)} failures")
    return results, failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--copies", type=int, default=500)
    parser.add_argument("--workers", type=int, default=4)
    parser.add_argument("--seed", type=int)
    args = parser.parse_args()
    _, failures = run(args.copies, args.workers, args.seed, report=lambda t: print(t, flush=True))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
