"""Kill test: the real program on Xvfb, on a copy of the bundled database,
drives homeworks (start, answer, grade, continue, grade, leave) and is
killed with SIGKILL again and again:

- at a random moment while an action runs ("time"),
- the moment the database file or its log changes ("change"),
- inside an action, between two SQLite statements ("statement": gdb stops
  the program at the k-th call of sqlite3_step and kills it there).

After every kill: PRAGMA integrity_check is "ok" on a copy of the file as
the kill left it; b3 holds the previous homework's 20 slots or the new
one's, never a mix, and its answers are all from one grading; the zd10
marks of the day's choice are the old ones or the new ones, whichever
homework b3 holds; no b1.zd7 counter has dropped; and the program starts
again and shows the start screen.

    python3 tests/e2e/killtest.py [--kills N] [--max-seconds S] [--seed X]

Environment: AOSHU_BIN_DIR (default build/bin) holds aoshu and
dat/kelvma.dat.  Exits 0 when every check held.
"""

import argparse
import os
import random
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from Xlib import X, display as xdisplay  # noqa: E402

import harness  # noqa: E402
import layout  # noqa: E402
import cards  # noqa: E402

# How long each action takes at most, for the random kill moments.
ACTION_SECONDS = {"start": 3.0, "answer": 0.5, "grade": 2.0, "continue": 0.5, "leave": 0.5}
WRITING_ACTIONS = ("start", "grade", "leave")
START_SCREEN_TIMEOUT = 20


class Failure(Exception):
    pass


class DisplayLost(Exception):
    """The program could not reach its X server: trouble of the machine, not
    of the program; the run goes on with a new server."""


NO_DISPLAY = "could not connect to display"


def homework_ids(database, grade, unit):
    """The question ids a homework of this grade and unit puts in b3."""
    ids = [q.id for q in cards.load_questions(database, grade, unit)]
    return ids + [0] * (20 - len(ids))


def choices(database):
    """(grade, unit) pairs whose homeworks differ from each other; the last
    two are two units of the grade with the largest bank.  A unit without a
    learning page opens no homework and is left out."""
    connection = sqlite3.connect(f"file:{database}?mode=ro", uri=True)
    try:
        mock = connection.execute(
            "select zd4 from b4 where zd3=11 and zd2 like '模拟试卷%' order by zd4").fetchone()
        status = dict(connection.execute("select zd3 * 1000 + zd4, zd6 from b4 where zd3 < 12"))
        # The grade with the largest homework bank (3 when there is a tie).
        largest = connection.execute(
            "select zd9 from b1 where zd9 < 11 and zd10 in (1, 2) group by zd9 "
            "order by count(*) desc, zd9 <> 3, zd9").fetchone()[0]
    finally:
        connection.close()
    # Two units of the grade with the largest bank: when it holds more than
    # 20 questions, each start chooses anew and moves the day's marks.
    units = [u for u in range(10) if status.get(largest * 1000 + u) not in (None, "空")][:2]
    last = [(largest, u) for u in units]
    return [p for p in [(3, 0), (4, 0), (11, mock[0] if mock else 0)] if p not in last] + last


def snapshot(database):
    """b3 and the b1 counters of the file as it is now, read from a copy with
    its write-ahead log, after the integrity check."""
    temp = tempfile.mkdtemp(prefix="aoshu-kill-check-")
    try:
        copy = os.path.join(temp, "kelvma.dat")
        shutil.copy2(database, copy)
        if os.path.exists(database + "-wal"):
            shutil.copy2(database + "-wal", copy + "-wal")
        connection = sqlite3.connect(copy)
        try:
            check = connection.execute("PRAGMA integrity_check").fetchall()
            b3 = connection.execute("select zd1, zd3, zd4 from b3 order by zd1").fetchall()
            counters = dict(connection.execute("select zd1, zd7 from b1"))
            papers = "zd17" if any(r[1] == "zd17" for r in connection.execute("pragma table_info(b1)")) else "null"
            bank = {q: (g, paper, mark) for q, g, paper, mark in
                    connection.execute(f"select zd1, zd9, {papers}, zd10 from b1")}
        finally:
            connection.close()
    finally:
        shutil.rmtree(temp, ignore_errors=True)
    return check, b3, counters, bank


def marks_after_choice(bank, grade, mock, new_ids):
    """The zd10 marks once the day's choice has drawn new_ids: the chosen
    questions of the grade's pool (or of the mock papers) marked 2 (0), the
    rest of them 1."""
    chosen = set(new_ids)
    marks = {}
    for q, (g, paper, mark) in bank.items():
        if mock and g == 11 and paper is not None and mark in (0, 1):
            mark = 0 if q in chosen else 1
        elif not mock and g == grade and paper is None and mark in (1, 2):
            mark = 2 if q in chosen else 1
        marks[q] = mark
    return marks


def check_after(database, old_ids, new_ids, old_counters, old_marks=None, new_marks=None):
    check, b3, counters, bank = snapshot(database)
    if check != [("ok",)]:
        raise Failure(f"integrity_check: {check[:5]}")
    ids = [row[1] for row in b3]
    if len(b3) != 20 or ids not in (old_ids, new_ids):
        raise Failure(f"b3 holds a mix: {ids}\n old {old_ids}\n new {new_ids}")
    questions = sum(1 for i in ids if i)
    answered = [row[2] for row in b3[:questions] if row[2]]
    if answered and len(answered) != questions:
        raise Failure(f"b3 holds answers of two gradings: {[row[2] for row in b3]}")
    if any(row[2] for row in b3[questions:]):
        raise Failure(f"b3 has answers in empty slots: {[row[2] for row in b3]}")
    dropped = {i: (old_counters[i], c) for i, c in counters.items() if c < old_counters.get(i, 0)}
    if dropped:
        raise Failure(f"b1.zd7 counters dropped: {dropped}")
    marks = {q: mark for q, (_, _, mark) in bank.items()}
    if old_marks is not None and old_ids != new_ids:
        expected = new_marks if ids == new_ids else old_marks
        if marks != expected:
            wrong = {q: (old_marks.get(q), new_marks.get(q), m) for q, m in marks.items() if m != expected.get(q)}
            raise Failure(f"zd10 marks do not go with the homework in b3 ({'new' if ids == new_ids else 'old'}):"
                          f" question: (old, new, found) {dict(list(wrong.items())[:8])}")
    return ids, counters, marks


class Screen:
    """The whole screen read straight from the X server (much faster than a
    screenshot file), with the pixel access of the homework test's Shot."""

    def __init__(self, connection):
        root = connection.screen().root
        reply = root.get_image(0, 0, layout.SCREEN_WIDTH, layout.SCREEN_HEIGHT, X.ZPixmap, 0xFFFFFFFF)
        self.raw = reply.data

    def pixel(self, x, y):
        i = (y * layout.SCREEN_WIDTH + x) * 4
        b, g, r = self.raw[i], self.raw[i + 1], self.raw[i + 2]
        return (r, g, b)

    bbox = cards.Shot.bbox


class Driver:
    """One program copy and one X server for the whole run."""

    def __init__(self, bin_dir, work, log):
        self.server = harness.XServer()
        self.program = harness.Program(bin_dir, work)
        os.chmod(work, 0o700)  # it is the program's XDG_RUNTIME_DIR too
        self.database = self.program.database
        self.log = log
        self.process = None
        self.x = None
        self.work = work

    def new_server(self):
        if self.x is not None:
            self.x.close()
            self.x = None
        self.server.stop()
        self.server = harness.XServer()

    def close(self):
        if self.x is not None:
            self.x.close()
        self.program.stop_all()
        self.server.stop()

    def shot(self):
        if self.x is None:
            self.x = xdisplay.Display(self.server.display)
        return Screen(self.x)

    def click(self, rect):
        x, y = layout.centre(rect)
        harness.click(self.server, x, y, rest_at=layout.POINTER_REST)

    def alive(self):
        return self.process is not None and self.process.poll() is None

    def start(self):
        """Starts the program and waits for the start screen (BT1 shows its
        caption); fails when it does not come."""
        self.process = self.program.start(self.server)
        deadline = time.monotonic() + START_SCREEN_TIMEOUT
        while time.monotonic() < deadline:
            if not self.alive():
                if NO_DISPLAY in harness.output_of(self.process):
                    raise DisplayLost(harness.output_of(self.process) + self.server.state())
                raise Failure("the program ended at start-up with status "
                              f"{self.process.returncode}:\n{harness.output_of(self.process)}")
            if harness.find_windows(self.server, layout.TITLE):
                shot = self.shot()
                # BT2 "上次作业" stands beside BT1 only on the start screen.
                if shot.bbox(layout.BT1, cards.is_blue) and shot.bbox(layout.BT2, cards.is_blue):
                    return
            time.sleep(0.3)
        raise Failure("no start screen within %d s:\n%s" % (START_SCREEN_TIMEOUT, harness.output_of(self.process)))

    def wait_cards(self, timeout=30):
        """The screen position of the card column once the cards show."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and self.alive():
            shot = self.shot()
            origin = find_card_column(shot)
            if origin and not shot.bbox(layout.BT1_WIDE, cards.is_blue):  # Panel_cy has gone
                return origin
            time.sleep(0.2)
        return None

    def wait_result(self, timeout=20):
        """Waits until grading has left its result (Pts text and BT1 wide)."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and self.alive():
            shot = self.shot()
            # The result text ("分数：..." or "有错误..."; "正在批改......" is
            # much narrower) and BT1 with the next step's caption.
            text = shot.bbox(layout.PTS_SHORT, cards.is_red)
            if text and text[2] - text[0] > 125 and shot.bbox(layout.BT1_WIDE, cards.is_blue):
                return True
            time.sleep(0.2)
        return False


def find_card_column(shot):
    """The screen position of the scroll box's origin, from the corner of
    the frame Bexz (as the homework test finds it)."""
    for y in range(150, 400):
        for x in range(0, 40):
            if shot.pixel(x + cards.BEXZ_LEFT, y) == cards.FRAME_GREY and all(
                    shot.pixel(x + cards.BEXZ_LEFT + dx, y) == cards.FRAME_GREY
                    for dx in range(0, cards.BEXZ_WIDTH - 1, 50)) \
                    and shot.pixel(x + cards.BEXZ_LEFT, y + 20) == cards.FRAME_GREY:
                return x, y - cards.BEXZ_TOP
    return None


def answer_visible(driver, origin, questions, rng):
    """Clicks a radio button under each card whose answer row is on screen."""
    for q in questions:
        if q.panel_top + cards.ANSWER_PANEL_HEIGHT > cards.VIEW_BOTTOM - origin[1]:
            break
        option = q.key if rng.random() < 0.7 and q.key in range(4) else rng.randrange(4)
        x = origin[0] + cards.CARD_LEFT + cards.RADIO_GROUP_LEFT + cards.RADIO_FIRST + \
            cards.RADIO_STEP * option + cards.INDICATOR_DX
        y = origin[1] + q.panel_top + cards.INDICATOR_DY
        harness.click(driver.server, x, y, rest_at=cards.POINTER_OFF_CARDS)


class Killer:
    """Arms one kill just before the click that starts an action."""

    def __init__(self, driver, mode, rng):
        self.driver = driver
        self.mode = mode
        self.rng = rng
        self.gdb = None
        self.thread = None
        self.stop = threading.Event()
        self.detail = mode

    def arm(self, action):
        pid = self.driver.process.pid
        if self.mode == "statement":
            # At the start, mostly inside the day's choice (its first 40 steps).
            k = self.rng.randrange(0, 40 if action == "start" and self.rng.random() < 0.7 else 60)
            self.detail = f"statement: at call {k + 1} of sqlite3_step from {action} on"
            self.gdb = subprocess.Popen(
                ["gdb", "-batch", "-nx", "-p", str(pid),
                 "-ex", "set pagination off",
                 "-ex", "handle SIGPIPE SIGCHLD SIGALRM SIGUSR1 SIGUSR2 SIG32 SIG33 SIG34 nostop noprint pass",
                 "-ex", "break sqlite3_step", "-ex", f"ignore 1 {k}", "-ex", "continue", "-ex", "kill"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
            # The breakpoint stands once gdb has attached and let the
            # program run on.
            deadline = time.monotonic() + 20
            while time.monotonic() < deadline and self.gdb.poll() is None and not _traced_and_running(pid):
                time.sleep(0.05)
        elif self.mode == "time":
            delay = self.rng.uniform(0, ACTION_SECONDS[action])
            self.detail = f"time: {delay:.2f} s into {action}"
            self.thread = threading.Thread(target=self._after, args=(pid, delay))
            self.thread.start()
        else:
            self.detail = f"change: the file changed during {action}"
            self.thread = threading.Thread(target=self._on_change, args=(pid, ACTION_SECONDS[action] + 1))
            self.thread.start()

    def _after(self, pid, delay):
        if not self.stop.wait(delay):
            _kill(pid)

    def _on_change(self, pid, limit):
        files = [self.driver.database, self.driver.database + "-wal"]
        before = [_stamp(f) for f in files]
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline and not self.stop.is_set():
            if [_stamp(f) for f in files] != before:
                _kill(pid)
                return
            time.sleep(0.0005)
        if not self.stop.is_set():
            # An action that writes nothing: killed when it is over.
            self.detail = self.detail.replace("the file changed", "the file did not change") + ", killed after it"
            _kill(pid)

    def wait(self):
        if self.thread:
            self.thread.join()

    def finish(self):
        self.stop.set()
        if self.thread:
            self.thread.join()
        if self.gdb:
            if self.gdb.poll() is None:
                self.gdb.kill()
            self.gdb.wait(timeout=10)


def _traced_and_running(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            tracer = next(int(line.split()[1]) for line in f if line.startswith("TracerPid:"))
        with open(f"/proc/{pid}/stat") as f:
            state = f.read().rsplit(")", 1)[1].split()[0]
    except (OSError, StopIteration):
        return False
    return tracer != 0 and state not in ("t", "T")


def _kill(pid):
    try:
        os.kill(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


def _stamp(path):
    try:
        s = os.stat(path)
        return (s.st_size, s.st_mtime_ns)
    except FileNotFoundError:
        return None


def one_cycle(driver, grade_choices, rng, state, report):
    """Starts the program, drives a homework, kills it somewhere; returns
    after the checks.  state carries the ids and counters of the file."""
    at_choice = rng.random() < 0.3
    if at_choice:
        # The other unit of the grade with the largest bank, killed at the
        # start: inside the day's choice, which moves the marks.
        grade, unit = grade_choices[-1] if state.get("last") != grade_choices[-1] else grade_choices[-2]
        state["last"] = (grade, unit)
        connection = sqlite3.connect(driver.database)
        connection.execute("update b5 set zd5=?, zd6=? where zd1=1", (grade, unit))
        connection.commit()
        connection.close()
    elif "last" in state and rng.random() < 0.5:
        # The same grade again, and the file left exactly as the kill left
        # it: the program does the recovery of the log itself.
        grade, unit = state["last"]
    else:
        grade, unit = rng.choice([c for c in grade_choices if c != state.get("last")] or grade_choices)
        state["last"] = (grade, unit)
        connection = sqlite3.connect(driver.database)
        connection.execute("update b5 set zd5=?, zd6=? where zd1=1", (grade, unit))
        connection.commit()
        connection.close()
    new_ids = homework_ids(driver.database, grade, unit)
    questions = cards.load_questions(driver.database, grade, unit)
    connection = sqlite3.connect(f"file:{driver.database}?mode=ro", uri=True)
    mock = connection.execute("select zd2 from b4 where zd3=? and zd4=?", (grade, unit)).fetchone()[0] \
        .startswith("模拟试卷")
    connection.close()
    bank = snapshot(driver.database)[3]
    old_marks = {q: m for q, (_, _, m) in bank.items()}
    new_marks = marks_after_choice(bank, grade, mock, new_ids)

    driver.start()
    plan = ["start", "answer", "grade", "continue", "answer", "grade"]
    if rng.random() < 0.3:  # on to the sixth grading, which records b2
        plan += ["continue", "grade"] * 4
    plan.append("leave")
    target = 0 if at_choice else rng.choice(
        [i for i, a in enumerate(plan) if a in WRITING_ACTIONS or rng.random() < 0.2])
    mode = rng.choice(["time", "change", "statement"])
    killer = Killer(driver, mode, rng)
    origin = None
    outcome = "completed"
    try:
        for i, action in enumerate(plan):
            if not driver.alive():
                break
            if os.environ.get("KILLTEST_TRACE"):
                print(f"    {time.monotonic():.1f} {action}{' (target, ' + mode + ')' if i == target else ''}",
                      flush=True)
            if action == "leave":
                driver.click(layout.BEND)
                time.sleep(0.5)
            if i == target:
                killer.arm(action)
                outcome = f"killed ({killer.detail})"
            if action == "start":
                driver.click(layout.BT1)
            elif action == "answer":
                if origin:
                    answer_visible(driver, origin, questions, rng)
            elif action == "grade":
                driver.click(layout.BJS)
            elif action == "continue":
                driver.click(layout.BT1_WIDE)
            elif action == "leave":
                driver.click(layout.BT1)
            if i == target and mode != "statement":
                killer.wait()
                outcome = f"killed ({killer.detail})"
                break
            if not driver.alive():
                break
            if action == "start":
                origin = driver.wait_cards()
            elif action == "grade":
                driver.wait_result()
            elif action == "continue":
                time.sleep(0.5)
        status = harness.wait_exit(driver.process, timeout=15)
        if status is None:
            _kill(driver.process.pid)
            status = harness.wait_exit(driver.process, timeout=10)
            outcome = "not killed by the plan: killed at its end"
        elif status != -signal.SIGKILL:
            outcome = f"not killed: the homework ended with status {status}"
        killed = status == -signal.SIGKILL
    finally:
        killer.finish()
    ids, counters, marks = check_after(driver.database, state["ids"], new_ids, state["counters"],
                                       old_marks, new_marks)
    state["ids"], state["counters"] = ids, counters
    moved = "" if new_marks == old_marks else ", marks new" if marks == new_marks else ", marks old"
    report(f"grade {grade} unit {unit}: {outcome}; b3 {'new' if ids == new_ids else 'old'}{moved}")
    return killed


def run(kills=100, max_seconds=1800, seed=None, bin_dir=harness.BIN_DIR, report=print):
    """Runs until `kills` kills or max_seconds; returns (kills, cycles,
    failures)."""
    seed = seed if seed is not None else random.randrange(1 << 30)
    rng = random.Random(seed)
    report(f"kill test: seed {seed}, up to {kills} kills in {max_seconds} s")
    temp = tempfile.mkdtemp(prefix="aoshu-kill-")
    driver = Driver(bin_dir, os.path.join(temp, "run"), report)
    failures = []
    done = cycles = 0
    try:
        grade_choices = choices(driver.database)
        _, b3, counters, _ = snapshot(driver.database)
        state = {"ids": [row[1] for row in b3], "counters": counters}
        deadline = time.monotonic() + max_seconds
        while done < kills and time.monotonic() < deadline:
            cycles += 1
            try:
                if one_cycle(driver, grade_choices, rng, state, lambda t: report(f"{cycles:4d} {t}")):
                    done += 1
            except DisplayLost as e:
                report(f"{cycles:4d} the X server was lost ({e.args[0].splitlines()[0]}); a new one")
                driver.new_server()
            except Failure as e:
                failures.append(str(e))
                report(f"{cycles:4d} FAILED: {e}")
                if driver.alive():
                    _kill(driver.process.pid)
                # Go on from the file as it is now.
                try:
                    _, b3, counters, _ = snapshot(driver.database)
                    state.update(ids=[row[1] for row in b3], counters=counters)
                except sqlite3.Error:
                    break
        # The file after the last kill must still open and show the start screen.
        for attempt in range(2):
            try:
                driver.start()
                driver.process.kill()
                driver.process.wait(timeout=10)
                break
            except DisplayLost:
                driver.new_server()
            except Failure as e:
                failures.append(str(e))
                break
    finally:
        driver.close()
        shutil.rmtree(temp, ignore_errors=True)
    report(f"kill test: {done} kills in {cycles} cycles, {len(failures)} failures")
    return done, cycles, failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--kills", type=int, default=100)
    parser.add_argument("--max-seconds", type=int, default=1800)
    parser.add_argument("--seed", type=int)
    args = parser.parse_args()
    _, _, failures = run(args.kills, args.max_seconds, args.seed, report=lambda t: print(t, flush=True))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
