"""Drives the real program on a private Xvfb display.

Each test gets its own X server and its own copy of the program and its
database, so tests can run side by side and never change the build's copy.
"""

import atexit
import ctypes
import os
import shutil
import signal
import sqlite3
import subprocess
import tempfile
import time
from contextlib import contextmanager

from Xlib import X, display as xdisplay, protocol

SCREEN_SIZE = "1280x1024x24"


class XServer:
    """An Xvfb server on a display number it picks itself."""

    def __init__(self, screen_size=SCREEN_SIZE):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            # -noreset: without it the server resets when its last client
            # leaves and may refuse the next program for a moment.
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", screen_size,
             "-nolisten", "tcp", "-noreset"],
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=_end_with_parent)
        os.close(write_end)
        number = _read_line(read_end, timeout=15)
        os.close(read_end)
        if not number:
            self.stop()
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number
        atexit.register(self.stop)  # also when a test run breaks off

    def env(self):
        env = dict(os.environ)
        env.update(DISPLAY=self.display, QT_QPA_PLATFORM="xcb", LANG="C.UTF-8")
        return env

    def state(self):
        """A line on the server for a report of a program that could not
        reach it."""
        running = self.process.poll() is None
        socket = os.path.exists("/tmp/.X11-unix/X" + self.display[1:])
        return (f"Xvfb {self.display}: " + ("running" if running else f"ended with {self.process.returncode}") +
                ", socket file " + ("present" if socket else "missing") + "\n")

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=10)


def _end_with_parent():
    """Runs in the child before exec: SIGTERM it when the test process dies,
    so that no server or program outlives a crashed test."""
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def _read_line(fd, timeout):
    deadline = time.monotonic() + timeout
    text = b""
    os.set_blocking(fd, False)
    while time.monotonic() < deadline and not text.endswith(b"\n"):
        try:
            chunk = os.read(fd, 64)
            if not chunk:
                break
            text += chunk
        except BlockingIOError:
            time.sleep(0.02)
    return text.decode().strip()


class Program:
    """A copy of build/bin/aoshu with a fresh copy of dat/kelvma.dat."""

    def __init__(self, bin_dir, work_dir):
        self.dir = work_dir
        os.makedirs(os.path.join(work_dir, "dat"), exist_ok=True)
        self.path = os.path.join(work_dir, "aoshu")
        shutil.copy2(os.path.join(bin_dir, "aoshu"), self.path)
        self.database = os.path.join(work_dir, "dat", "kelvma.dat")
        shutil.copy2(os.path.join(bin_dir, "dat", "kelvma.dat"), self.database)
        self.processes = []
        atexit.register(self.stop_all)

    def start(self, server, extra_env=None):
        env = server.env()
        env.update(extra_env or {})
        env["XDG_RUNTIME_DIR"] = self.dir
        log_path = os.path.join(self.dir, f"output-{len(self.processes) + 1}.log")
        with open(log_path, "wb") as log:
            process = subprocess.Popen([self.path], cwd=self.dir, env=env,
                                       stdout=log, stderr=subprocess.STDOUT,
                                       preexec_fn=_end_with_parent)
        process.log_path = log_path
        self.processes.append(process)
        return process

    def stop_all(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
            process.wait(timeout=10)


def wait_exit(process, timeout):
    """Exit status, or None if the process still runs after timeout seconds."""
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        return None


def output_of(process):
    """What the process has printed so far."""
    with open(process.log_path, "rb") as log:
        return log.read().decode(errors="replace")


# --- windows --------------------------------------------------------------

def _ere_escape(text):
    return "".join("\\" + c if c in ".^$*+?()[]{}|\\" else c for c in text)


def find_windows(server, title, only_visible=True):
    """Ids of the windows whose title is exactly title (xdotool search)."""
    command = ["xdotool", "search"]
    if only_visible:
        command.append("--onlyvisible")
    command += ["--name", "^" + _ere_escape(title) + "$"]
    result = subprocess.run(command, env=server.env(), capture_output=True, text=True)
    return [int(line) for line in result.stdout.split()]


def wait_for_window(server, title, timeout):
    """(window id, monotonic time it was first seen), or (None, None)."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = find_windows(server, title)
        if found:
            return found[0], time.monotonic()
        time.sleep(0.05)
    return None, None


@contextmanager
def x_connection(server):
    connection = xdisplay.Display(server.display)
    try:
        yield connection
    finally:
        connection.close()


def window_facts(server, window_id):
    """WM_CLASS, geometry on the root window and the decoration hint."""
    with x_connection(server) as connection:
        window = connection.create_resource_object("window", window_id)
        geometry = window.get_geometry()
        origin = window.translate_coords(connection.screen().root, 0, 0)
        motif = window.get_full_property(connection.intern_atom("_MOTIF_WM_HINTS"), X.AnyPropertyType)
        return {
            "class": window.get_wm_class(),
            "x": -origin.x, "y": -origin.y,
            "width": geometry.width, "height": geometry.height,
            "override_redirect": window.get_attributes().override_redirect,
            "motif_hints": list(motif.value) if motif else None,
        }


def is_frameless(facts):
    """True when the window asks the window manager for no decorations."""
    hints = facts["motif_hints"]
    decorations_flag = 2
    return bool(facts["override_redirect"]) or (
        hints is not None and len(hints) >= 3 and hints[0] & decorations_flag and hints[2] == 0)


def send_close_request(server, window_id):
    """What a window manager sends for Alt+F4 or the title bar's close button."""
    with x_connection(server) as connection:
        window = connection.create_resource_object("window", window_id)
        protocols = connection.intern_atom("WM_PROTOCOLS")
        delete = connection.intern_atom("WM_DELETE_WINDOW")
        event = protocol.event.ClientMessage(
            window=window, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(event, event_mask=X.NoEventMask)
        connection.flush()


# --- pointer and screen ---------------------------------------------------

def click(server, x, y, rest_at=None):
    """Clicks at (x, y); then moves the pointer to rest_at, if given, so that
    no button stays highlighted in later screenshots."""
    command = ["xdotool", "mousemove", "--sync", str(x), str(y), "click", "1"]
    if rest_at:
        command += ["mousemove", "--sync", str(rest_at[0]), str(rest_at[1])]
    subprocess.run(command, env=server.env(), check=True)


def capture(server, path):
    """Saves the whole screen as a picture file (PNG by its name)."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    subprocess.run(["import", "-window", "root", path], env=server.env(), check=True)
    return path


def screenshot(server, path):
    """capture(), and says where the picture went."""
    capture(server, path)
    print("screenshot:", path, flush=True)
    return path


def region_pixels(png_path, rect):
    """RGB triples of rect = (left, top, right, bottom), right and bottom
    inclusive, row by row."""
    left, top, right, bottom = rect
    width, height = right - left + 1, bottom - top + 1
    raw = subprocess.run(
        ["convert", png_path, "-crop", f"{width}x{height}+{left}+{top}", "+repage",
         "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout
    return [tuple(raw[i:i + 3]) for i in range(0, len(raw), 3)]


def differing_fraction(pixels_a, pixels_b, tolerance=24):
    """Share of pixels whose colours differ by more than tolerance in a channel."""
    assert len(pixels_a) == len(pixels_b) and pixels_a
    differing = sum(1 for a, b in zip(pixels_a, pixels_b)
                    if max(abs(p - q) for p, q in zip(a, b)) > tolerance)
    return differing / len(pixels_a)


# --- database -------------------------------------------------------------

def query(database_path, sql, parameters=()):
    """Rows of a read-only query on the program's sqlite database."""
    connection = sqlite3.connect(f"file:{database_path}?mode=ro", uri=True)
    try:
        return connection.execute(sql, parameters).fetchall()
    finally:
        connection.close()


# --- one session ----------------------------------------------------------

class Session:
    """An X server and a program copy, for one test; close() ends both."""

    def __init__(self, bin_dir, output_dir, screen_size=SCREEN_SIZE):
        self.output_dir = output_dir
        self.temp = tempfile.mkdtemp(prefix="aoshu-e2e-")
        self.server = XServer(screen_size)
        self.program = Program(bin_dir, os.path.join(self.temp, "run"))

    def start(self, extra_env=None):
        return self.program.start(self.server, extra_env)

    def shot(self, name):
        return screenshot(self.server, os.path.join(self.output_dir, name + ".png"))

    def close(self):
        self.program.stop_all()
        self.server.stop()
        shutil.rmtree(self.temp, ignore_errors=True)


REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BIN_DIR = os.environ.get("AOSHU_BIN_DIR", os.path.join(REPO, "build", "bin"))
OUTPUT_DIR = os.environ.get("E2E_OUTPUT_DIR", os.path.join(REPO, "build", "e2e-output"))


def session_for(test, screen_size=SCREEN_SIZE):
    """A session for a unittest test: the built program (AOSHU_BIN_DIR,
    default build/bin) must exist; screenshots go to a fresh folder of the
    test's name under E2E_OUTPUT_DIR (default build/e2e-output); the session
    ends with the test."""
    for path in (os.path.join(BIN_DIR, "aoshu"), os.path.join(BIN_DIR, "dat", "kelvma.dat")):
        test.assertTrue(os.path.exists(path), f"missing {path}: build the program first")
    output = os.path.join(OUTPUT_DIR, test._testMethodName)
    shutil.rmtree(output, ignore_errors=True)
    os.makedirs(output)
    session = Session(BIN_DIR, output, screen_size)
    test.addCleanup(session.close)
    return session


def sleep_until(moment):
    delay = moment - time.monotonic()
    if delay > 0:
        time.sleep(delay)

