"""Two programs on one database file: two copies of the program, each on its
own Xvfb display (the single-instance guard is per display), share one
dat/ folder.  Each draws a homework of the same grade, answers the cards on
the first screen, grades, continues, grades again and leaves with the
confirmed exit, again and again.

Every run must reach the start screen, grade without "系统数据错!" or an
error box, and end with status 0; afterwards the file passes
integrity_check and the b1.zd7 counters have grown by exactly what the
confirmed exits added (every exit counts the easy questions of b3, which
both programs fill with the same homework), so no write was lost.

    python3 tests/e2e/twoprograms.py [--homeworks N]

Environment: AOSHU_BIN_DIR (default build/bin).  Exits 0 when all held.
"""

import argparse
import os
import random
import shutil
import sqlite3
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import killtest  # noqa: E402
import layout  # noqa: E402
import cards  # noqa: E402

GRADE, UNIT = 3, 0


def homeworks(driver, count, rng, report, name, problems):
    questions = cards.load_questions(driver.database, GRADE, UNIT)
    done = attempts = 0
    while done < count and attempts < count + 2:
        attempts += 1
        n = done
        try:
            driver.start()
            driver.click(layout.BT1)
            origin = driver.wait_cards()
            if not origin:
                raise killtest.Failure("no cards")
            for grading in ("first", "second"):
                if grading == "second":  # continue the homework
                    driver.click(layout.BT1_WIDE)
                    time.sleep(0.5)
                killtest.answer_visible(driver, origin, questions, rng)
                driver.click(layout.BJS)
                if not driver.wait_result():
                    raise killtest.Failure(f"no result after the {grading} grading")
            driver.click(layout.BEND)
            time.sleep(0.5)
            driver.click(layout.BT1)
            status = harness.wait_exit(driver.process, timeout=15)
            output = harness.output_of(driver.process)
            if status != 0 or "aoshu:" in output:
                raise killtest.Failure(f"ended with status {status}:\n{output}")
            done += 1
            report(f"{name}: homework {n + 1} done")
        except killtest.DisplayLost as e:
            # The program never reached its X server: the machine's trouble,
            # not the file's; the same homework again on a new server.
            report(f"{name}: homework {n + 1}: the X server was lost; a new one\n{e}")
            driver.new_server()
        except killtest.Failure as e:
            problems.append(f"{name}, homework {n + 1}: {e}")
            report(f"{name}: homework {n + 1} FAILED: {e}")
            if driver.alive():
                driver.process.kill()
                driver.process.wait(timeout=10)
    return done


def run(count=30, bin_dir=harness.BIN_DIR, report=print, seed=None):
    seed = seed if seed is not None else random.randrange(1 << 30)
    temp = tempfile.mkdtemp(prefix="aoshu-two-")
    first = killtest.Driver(bin_dir, os.path.join(temp, "one"), report)
    second = killtest.Driver(bin_dir, os.path.join(temp, "two"), report)
    # One dat/ folder for both: the second copy's dat is the first's.
    shutil.rmtree(os.path.join(second.work, "dat"))
    os.symlink(os.path.join(first.work, "dat"), os.path.join(second.work, "dat"))
    second.database = first.database
    problems = []
    try:
        connection = sqlite3.connect(first.database)
        connection.execute("update b5 set zd5=?, zd6=? where zd1=1", (GRADE, UNIT))
        connection.commit()
        before = connection.execute("select sum(zd7) from b1").fetchone()[0]
        ids = [q.id for q in cards.load_questions(first.database, GRADE, UNIT)]
        easy = connection.execute(
            f"select count(*) from b1 where zd5<=3 and zd1 in ({','.join(map(str, ids))})").fetchone()[0]
        connection.close()

        results = {}
        threads = [threading.Thread(target=lambda d=d, name=name, s=s: results.__setitem__(
            name, homeworks(d, count, random.Random(s), report, name, problems)))
            for d, name, s in ((first, "first", seed), (second, "second", seed + 1))]
        for t in threads:
            t.start()
        for t in threads:
            t.join()

        connection = sqlite3.connect(first.database)
        check = connection.execute("PRAGMA integrity_check").fetchall()
        after = connection.execute("select sum(zd7) from b1").fetchone()[0]
        connection.close()
        if check != [("ok",)]:
            problems.append(f"integrity_check: {check[:5]}")
        exits = sum(results.values())
        if after - before != exits * easy:
            problems.append(f"b1.zd7 grew by {after - before}, the {exits} exits added {exits * easy}")
        report(f"two programs: {results.get('first', 0)} + {results.get('second', 0)} homeworks, "
               f"counters +{after - before} (expected {exits * easy}), {len(problems)} problems")
    finally:
        first.close()
        second.close()
        shutil.rmtree(temp, ignore_errors=True)
    return results, problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--homeworks", type=int, default=30)
    parser.add_argument("--seed", type=int)
    args = parser.parse_args()
    _, problems = run(args.homeworks, report=lambda t: print(t, flush=True), seed=args.seed)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
