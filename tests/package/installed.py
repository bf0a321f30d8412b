"""The installed package as the package tests start it: the menu entry's
command run as an ordinary user with a home folder of its own, on a private
Xvfb display, and the installed database it copies from.

Environment: AOSHU_E2E_USER, the ordinary user; AOSHU_E2E_HOME, an empty
folder that user owns; E2E_OUTPUT_DIR, where the screenshots go.
"""

import ctypes
import hashlib
import os
import pwd
import shlex
import shutil
import signal
import sqlite3
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))

import harness  # noqa: E402

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
        return harness.launch(self.processes, menu_command(), self.logs, cwd=self.home, env=env,
                              preexec_fn=self._become_user)

    def stop_all(self):
        harness.stop_processes(self.processes)


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
