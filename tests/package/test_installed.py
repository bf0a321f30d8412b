"""The installed package, started the way the desktop's menu starts it: the
Exec line of /usr/share/applications/aoshu.desktop, run as an ordinary user
with a home folder of its own on a private Xvfb display.

The first start copies the installed database into the user's data folder
and shows the start screen.  The second start works on that copy: the whole
homework of tests/e2e/homework_run.py, seen on the screen and checked in
the user's file.  The installed database stays as it was.

Run by install_test.sh after `apt-get install`.  Environment:
AOSHU_E2E_USER, the ordinary user; AOSHU_E2E_HOME, an empty folder that user
owns; E2E_OUTPUT_DIR, where the screenshots go.
"""

import ctypes
import hashlib
import os
import pwd
import shlex
import shutil
import sqlite3
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))

import harness  # noqa: E402
import layout  # noqa: E402
import cards  # noqa: E402
import homework_run  # noqa: E402

DESKTOP_ENTRY = "/usr/share/applications/aoshu.desktop"
INSTALLED_DATABASE = "/usr/lib/aoshu/dat/kelvma.dat"
USER = os.environ.get("AOSHU_E2E_USER", "aoshu-pupil")
HOME = os.environ.get("AOSHU_E2E_HOME", "")
OUTPUT_DIR = os.environ.get("E2E_OUTPUT_DIR", "/tmp/aoshu-package-e2e")


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def content(path):
    """Every row of every table: what a copy of the database holds, whatever
    journal mode the program has switched the file to since."""
    connection = sqlite3.connect(f"file:{path}?mode=ro", uri=True)
    try:
        tables = [r[0] for r in connection.execute(
            "select name from sqlite_master where type='table' order by name")]
        return {t: connection.execute(f"select * from {t} order by 1").fetchall() for t in tables}
    finally:
        connection.close()


def menu_command():
    """The Exec line of the menu entry as a command, field codes dropped."""
    with open(DESKTOP_ENTRY, encoding="utf-8") as f:
        for line in f:
            if line.startswith("Exec="):
                return [word for word in shlex.split(line[len("Exec="):].strip())
                        if not (len(word) == 2 and word.startswith("%"))]
    raise AssertionError(f"{DESKTOP_ENTRY} has no Exec line")


class InstalledProgram:
    """The menu entry's command, run as USER with HOME as its home folder and
    nothing else of the calling environment."""

    def __init__(self, work_dir):
        self.user = pwd.getpwnam(USER)
        self.home = HOME
        self.runtime = os.path.join(work_dir, "runtime")
        os.makedirs(self.runtime, mode=0o700)
        os.chown(self.runtime, self.user.pw_uid, self.user.pw_gid)
        self.logs = work_dir
        self.database = os.path.join(self.home, ".local", "share", "aoshu", "dat", "kelvma.dat")
        self.processes = []

    def _become_user(self):
        os.setgid(self.user.pw_gid)
        os.setgroups([])
        os.setuid(self.user.pw_uid)
        PR_SET_PDEATHSIG = 1
        ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)

    def start(self, server):
        env = {"PATH": "/usr/local/bin:/usr/bin:/bin", "HOME": self.home, "USER": USER, "LOGNAME": USER,
               "DISPLAY": server.display, "QT_QPA_PLATFORM": "xcb", "LANG": "C.UTF-8",
               "XDG_RUNTIME_DIR": self.runtime}
        log_path = os.path.join(self.logs, f"output-{len(self.processes) + 1}.log")
        with open(log_path, "wb") as log:
            process = subprocess.Popen(menu_command(), cwd=self.home, env=env, stdout=log,
                                       stderr=subprocess.STDOUT, preexec_fn=self._become_user)
        process.log_path = log_path
        self.processes.append(process)
        return process

    def stop_all(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
            process.wait(timeout=10)


class InstalledSession:
    """What homework_run expects of harness.Session, for the installed program."""

    def __init__(self, output_dir):
        self.output_dir = output_dir
        self.temp = tempfile.mkdtemp(prefix="aoshu-installed-")
        os.chmod(self.temp, 0o755)
        self.server = harness.XServer()
        self.program = InstalledProgram(self.temp)

    def start(self):
        return self.program.start(self.server)

    def close(self):
        self.program.stop_all()
        self.server.stop()
        shutil.rmtree(self.temp, ignore_errors=True)


class InstalledHomework(homework_run.HomeworkRun):

    def setUp(self):
        self.assertTrue(HOME and os.path.isdir(HOME), "AOSHU_E2E_HOME must name an empty folder")
        self.assertFalse(os.listdir(HOME), f"{HOME} is not empty")
        output = os.path.join(OUTPUT_DIR, self._testMethodName)
        shutil.rmtree(output, ignore_errors=True)
        os.makedirs(output)
        self.session = InstalledSession(output)
        self.addCleanup(self.session.close)
        self.output = output
        self.server = self.session.server
        self.database = self.session.program.database
        self.captures = 0
        self.installed = sha256(INSTALLED_DATABASE)
        self.installed_content = content(INSTALLED_DATABASE)

    def first_start(self):
        """Starts the program once: the user's copy appears, holding what the
        installed database holds, and the start screen shows; then ends it."""
        process = self.process = self.session.start()
        window, _ = harness.wait_for_window(self.server, layout.TITLE, timeout=20)
        self.assertIsNotNone(window, "no window; " + self.program_state())
        shot = self.wait_for_screen(lambda s: s.bbox(layout.BT1, cards.is_blue) is not None,
                                    cards.START_SCREEN_TIMEOUT, "the start screen")
        self.keep(shot, "0-first-start")
        self.assertTrue(os.path.isfile(self.database), "no copy in the user's data folder")
        self.assertEqual(os.stat(self.database).st_uid, pwd.getpwnam(USER).pw_uid)
        # The copy holds every table of the installed database as it is, and
        # beside them the pupil's history, still empty.
        copy = content(self.database)
        self.assertEqual({t: copy.get(t) for t in self.installed_content}, self.installed_content, "the user's copy")
        self.assertEqual(copy.get("history_homework"), [], "history in a fresh copy")
        self.assertEqual(copy.get("history_answer"), [], "answers in a fresh copy")
        # Besides the copy, only its write-ahead log and index while it is open.
        self.assertEqual(sorted(f for f in os.listdir(os.path.dirname(self.database))
                                if not f.endswith(("-wal", "-shm"))), ["kelvma.dat"])
        process.terminate()
        self.assertIsNotNone(harness.wait_exit(process, timeout=10))

    def test_homework_answered_graded_continued_and_graded_again(self):
        self.first_start()
        # The second start must keep the copy, which the homework test first
        # seeds with a remembered unit and an earlier homework.
        self.run_whole_homework()
        self.assertNotEqual(content(self.database), self.installed_content, "the user's copy after the homework")
        self.assertEqual(sha256(INSTALLED_DATABASE), self.installed, "the installed database")
        self.assertEqual(os.stat(INSTALLED_DATABASE).st_mode & 0o777, 0o444)


if __name__ == "__main__":
    unittest.main(verbosity=2)
