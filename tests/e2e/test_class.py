"""Class mode on the built program: a pupil's machine set up for a class on
a real PostgreSQL server (tests/classroom/pg_temp.py) does a homework,
which reaches the teacher's report (aoshu-class report --csv); with the
server stopped the next grading waits in the outbox, the program leaves at
once all the same, and the next start sends it.

Environment: as test_homework.py.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import homework_run  # noqa: E402
import layout  # noqa: E402
from cards import START_SCREEN_TIMEOUT, EXTRACTION_TIMEOUT, GRADING_TIMEOUT, is_blue  # noqa: E402

PG_TEMP = os.path.join(harness.REPO, "tests", "classroom", "pg_temp.py")
CLASS_TOOL = os.path.join(harness.BIN_DIR, "aoshu-class")
SCHOOL, CLASS, PUPIL, LOGIN = "实验小学", "三年级二班", "王小明", "e2epupil"
# The top bar left of the countdown, where the class mark sits.
TOP_BAR = (0, 121, 640, 157)


class ClassMode(homework_run.HomeworkRun):

    def pg(self, command, *extra):
        return subprocess.run([sys.executable, PG_TEMP, command, self.pg_dir, *extra], check=True,
                              capture_output=True, text=True).stdout.strip()

    def tool(self, *args):
        result = subprocess.run([CLASS_TOOL, *args, "--server", self.superuser], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout

    def server_count(self):
        result = subprocess.run(["psql", self.superuser, "-Atc", "select count(*) from aoshu.homeworks"],
                                capture_output=True, text=True, check=True)
        return int(result.stdout)

    def outbox(self):
        return self.db("select count(*), count(sent) from class_outbox")[0]

    def wait_until(self, condition, timeout, what):
        deadline = time.monotonic() + timeout
        while not condition():
            self.assertLess(time.monotonic(), deadline, f"{what}: not within {timeout} s; {self.program_state()}")
            time.sleep(0.2)

    def start_program(self):
        self.process = self.session.start()
        window, _ = harness.wait_for_window(self.server, layout.TITLE, timeout=20)
        self.assertIsNotNone(window, "no window; output:\n" + harness.output_of(self.process))
        return self.wait_for_screen(lambda s: s.bbox(layout.BT1, is_blue) is not None,
                                    START_SCREEN_TIMEOUT, "the start screen")

    def grade(self, name):
        """Cards from BT1, then "我做完了" at once: a graded homework."""
        gradings = self.db("select count(*) from history_homework")[0][0]
        self.click_button(layout.BT1)
        self.wait_for_screen(lambda s: not self.panel_shown(s), EXTRACTION_TIMEOUT, "the question cards")
        self.click_button(layout.BJS)
        self.wait_until(lambda: self.db("select count(*) from history_homework")[0][0] == gradings + 1,
                        GRADING_TIMEOUT, "the grading")
        return self.wait_for_screen(self.panel_shown, GRADING_TIMEOUT, name)

    def leave(self):
        self.click_button(layout.BEND)
        self.wait_for_screen(lambda s: self.panel_shown(s) and s.bbox((640,) + layout.BT2[1:], is_blue) is not None,
                             10, "the exit confirmation")
        clicked = time.monotonic()
        self.click_button(layout.BT1)
        self.assertEqual(harness.wait_exit(self.process, timeout=10), 0, harness.output_of(self.process))
        return time.monotonic() - clicked

    def keep_bar(self, shot, name):
        path = os.path.join(self.output, name + ".png")
        left, top, right, bottom = TOP_BAR
        subprocess.run(["convert", shot.path, "-crop", f"{right - left}x{bottom - top}+{left}+{top}", path], check=True)
        print("screenshot:", path, flush=True)

    def test_a_homework_reaches_the_class_report_also_after_an_outage(self):
        self.pg_dir = tempfile.mkdtemp(prefix="aoshu-e2e-pg-")
        self.addCleanup(shutil.rmtree, self.pg_dir, True)
        # A watcher stops the server should this test die on the way.
        self.superuser = self.pg("start", "--owner", str(os.getpid()))
        self.addCleanup(self.pg, "stop")
        port = self.superuser.rsplit("port=", 1)[1].split("&")[0]
        self.tool("init")
        self.tool("pupil", "--school", SCHOOL, "--class", CLASS, "--name", PUPIL, "--login", LOGIN)

        config = os.path.join(self.session.temp, "config")
        os.makedirs(os.path.join(config, "aoshu"))
        with open(os.path.join(config, "aoshu", "aoshu.toml"), "w", encoding="utf-8") as f:
            f.write(f'[class]\nserver = "postgresql:///postgres?host={self.pg_dir}&port={port}&user={LOGIN}"\n'
                    f'class = "{CLASS}"\npupil = "{PUPIL}"\nschool = "{SCHOOL}"\n')
        plain_env = self.server.env
        self.server.env = lambda: {**plain_env(), "XDG_CONFIG_HOME": config}
        self.seed_previous_homework()

        start = self.start_program()
        self.panel_art = harness.region_pixels(start.path, layout.PANEL_ART)
        self.keep(start, "1-start-screen")
        result = self.grade("the first result")
        self.wait_until(lambda: self.outbox() == (1, 1), 20, "the first grading sent")
        time.sleep(2.5)  # the mark follows at the sender's next look
        synced = self.capture()
        self.keep(synced, "2-first-grading-sent")
        self.keep_bar(synced, "2-top-bar-synced")
        csv = self.tool("report", "--csv")
        print(csv, flush=True)
        rows = [line for line in csv.splitlines() if PUPIL in line]
        self.assertEqual(len(rows), 1, csv)
        self.assertIn(CLASS, rows[0])

        # The server goes away: the next grading is kept, the exit does not wait.
        self.pg("stop")
        self.click_button(layout.BT1)  # "继续做作业"
        self.wait_for_screen(lambda s: not self.panel_shown(s), EXTRACTION_TIMEOUT, "the cards again")
        self.click_button(layout.BJS)
        self.wait_until(lambda: self.db("select count(*) from history_homework")[0][0] == 2, GRADING_TIMEOUT,
                        "the second grading")
        time.sleep(4)
        self.assertEqual(self.outbox(), (2, 1), "the second grading waits in the outbox")
        waiting = self.capture()
        self.keep(waiting, "3-second-grading-waiting")
        self.keep_bar(waiting, "3-top-bar-waiting")
        took = self.leave()
        print(f"exit took {took:.2f} s with the server down", flush=True)
        self.assertLess(took, 3.0)

        # Back again: the next start sends what waited.
        self.pg("start")
        self.start_program()
        self.wait_until(lambda: self.outbox() == (2, 2), 20, "the waiting grading sent at the next start")
        self.assertEqual(self.server_count(), 2)
        self.leave()


if __name__ == "__main__":
    unittest.main(verbosity=2)
