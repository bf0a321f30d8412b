"""The program as a Wayland client of weston, the reference compositor, with
its desktop shell and panel: on the headless back end (screenshots with
weston-screenshooter), or on an Xvfb screen through the X11 back end, where
xdotool's pointer and keys reach weston and through it the program.

Each compositor has its own runtime folder (XDG_RUNTIME_DIR), where its
socket and the program's single-instance lock live.  The program gets
WAYLAND_DISPLAY and neither DISPLAY nor QT_QPA_PLATFORM, as on a Wayland
desktop without XWayland.
"""

import glob
import os
import shutil
import subprocess
import tempfile
import time

import harness

PANEL_HEIGHT = 32  # weston's desktop-shell panel


def available():
    """Why weston cannot be used here, or None."""
    for tool in ("weston", "weston-screenshooter"):
        if shutil.which(tool) is None:
            return f"{tool} not installed (Debian package weston)"
    return None


class Weston:
    """weston with the desktop shell; panel "top" or "none"."""

    def __init__(self, width, height, panel="top", backend="headless", x_server=None):
        self.width, self.height = width, height
        self.runtime = tempfile.mkdtemp(prefix="aoshu-weston-")
        os.chmod(self.runtime, 0o700)
        self.socket = "wayland-aoshu"
        config = os.path.join(self.runtime, "weston.ini")
        with open(config, "w") as f:
            # No screen locking or blanking while a test waits.
            f.write(f"[core]\nidle-time=0\n\n[shell]\npanel-position={panel}\nlocking=false\n")
        command = ["weston", f"--backend={backend}-backend.so", f"--width={width}", f"--height={height}",
                   f"--socket={self.socket}", f"--config={config}", "--debug", "--use-pixman",
                   f"--log={os.path.join(self.runtime, 'weston.log')}"]
        env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime)
        for name in ("WAYLAND_DISPLAY", "WAYLAND_SOCKET", "QT_QPA_PLATFORM"):
            env.pop(name, None)
        if x_server is None:
            env.pop("DISPLAY", None)
        else:
            env["DISPLAY"] = x_server.display
        self.process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                        preexec_fn=harness._end_with_parent)
        if not self._wait_until_ready(timeout=20):
            log = self.log()
            self.stop()
            raise RuntimeError("weston did not start:\n" + log)

    def _wait_until_ready(self, timeout):
        """The socket is there and the shell's client has been launched."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                return False
            if os.path.exists(os.path.join(self.runtime, self.socket)) and "weston-desktop-shell" in self.log():
                time.sleep(0.5)  # the shell draws its background and panel
                return True
            time.sleep(0.05)
        return False

    def log(self):
        try:
            with open(os.path.join(self.runtime, "weston.log"), errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def client_env(self):
        """The environment of a Wayland client of this compositor."""
        env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime, WAYLAND_DISPLAY=self.socket, LANG="C.UTF-8")
        for name in ("DISPLAY", "QT_QPA_PLATFORM", "XDG_ACTIVATION_TOKEN", "WAYLAND_SOCKET"):
            env.pop(name, None)
        return env

    def screenshot(self, path, timeout=10):
        """The compositor's whole output as a PNG at path."""
        folder = tempfile.mkdtemp(dir=self.runtime)
        try:
            subprocess.run(["weston-screenshooter"], cwd=folder, env=self.client_env(), timeout=timeout,
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            shots = glob.glob(os.path.join(folder, "wayland-screenshot-*.png"))
            if len(shots) != 1:
                raise RuntimeError(f"weston-screenshooter wrote {shots}")
            os.makedirs(os.path.dirname(path), exist_ok=True)
            shutil.move(shots[0], path)
        finally:
            shutil.rmtree(folder, ignore_errors=True)
        return path

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        shutil.rmtree(self.runtime, ignore_errors=True)


class WestonProgram(harness.Program):
    """A copy of the program and its database, started as a Wayland client."""

    def start_on(self, weston, extra_env=None):
        env = weston.client_env()
        env.update(extra_env or {})
        return harness.launch(self.processes, [self.path], self.dir, cwd=self.dir, env=env,
                              preexec_fn=harness._end_with_parent)


class WestonSession:
    """Like harness.Session: weston (and for the X11 back end an Xvfb under
    it, which xdotool drives as server) with a program copy."""

    def __init__(self, output_dir, width=1280, height=1024, panel="top", with_input=False):
        self.output_dir = output_dir
        self.temp = tempfile.mkdtemp(prefix="aoshu-e2e-")
        self.server = harness.XServer(f"{width}x{height}x24") if with_input else None
        try:
            self.weston = Weston(width, height, panel, "x11" if with_input else "headless", self.server)
        except Exception:
            if self.server:
                self.server.stop()
            raise
        self.program = WestonProgram(harness.BIN_DIR, os.path.join(self.temp, "run"))

    def start(self, extra_env=None):
        return self.program.start_on(self.weston, extra_env)

    def shot(self, name):
        path = self.weston.screenshot(os.path.join(self.output_dir, name + ".png"))
        print("screenshot:", path, flush=True)
        return path

    def close(self):
        self.program.stop_all()
        self.weston.stop()
        if self.server:
            self.server.stop()
        shutil.rmtree(self.temp, ignore_errors=True)


def session_for(test, **options):
    """A WestonSession for a unittest test, ended with the test; skips the
    test when weston is missing."""
    why = available()
    if why:
        test.skipTest(why)
    for path in (os.path.join(harness.BIN_DIR, "aoshu"), os.path.join(harness.BIN_DIR, "dat", "kelvma.dat")):
        test.assertTrue(os.path.exists(path), f"missing {path}: build the program first")
    output = os.path.join(harness.OUTPUT_DIR, test._testMethodName)
    shutil.rmtree(output, ignore_errors=True)
    os.makedirs(output)
    session = WestonSession(output, **options)
    test.addCleanup(session.close)
    return session
