#!/usr/bin/env python3
"""A throw-away PostgreSQL server for tests, in a folder of its own.

    pg_temp.py start DIR   makes the server in DIR when there is none, starts
                           it and prints a superuser URI (over the unix socket
                           in DIR); listens on 127.0.0.1 at a free port too,
                           the same port on every start
    pg_temp.py stop DIR    stops it (the data stays until DIR is removed)

    start DIR --owner PID  also leaves a watcher behind that stops the server
                           and removes DIR once process PID has ended, so a
                           test that crashes or is killed leaves no server

Run as root (as CI does), the server runs as the user postgres: DIR is given
to that user, so DIR's parents must be open to it (a folder made by
tempfile.mkdtemp() under /tmp is).  fsync is off: the data is not meant to
survive a crash of the machine.
"""
import os
import pwd
import shutil
import socket
import subprocess
import sys
import time

BIN = os.environ.get("PG_BIN", "/usr/lib/postgresql/15/bin")


def as_server_user(command):
    if os.geteuid() != 0:
        return command
    return ["runuser", "-u", "postgres", "--"] + command


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def port_of(folder):
    path = os.path.join(folder, "port")
    if not os.path.exists(path):
        with open(path, "w") as f:
            f.write(str(free_port()))
    with open(path) as f:
        return int(f.read())


def start(folder):
    folder = os.path.abspath(folder)
    os.makedirs(folder, exist_ok=True)
    port = port_of(folder)
    if os.geteuid() == 0:
        user = pwd.getpwnam("postgres")
        for dirpath, _, files in os.walk(folder):
            os.chown(dirpath, user.pw_uid, user.pw_gid)
            for name in files:
                os.chown(os.path.join(dirpath, name), user.pw_uid, user.pw_gid)
    data = os.path.join(folder, "data")
    quiet = {"stdout": subprocess.DEVNULL}
    if not os.path.exists(os.path.join(data, "PG_VERSION")):
        subprocess.run(as_server_user([f"{BIN}/initdb", "-D", data, "-A", "trust", "-U", "postgres", "-E", "UTF8",
                                       "--no-locale", "--no-sync", "--no-instructions"]), check=True, **quiet)
    options = (f"-k {folder} -p {port} -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off "
               "-c full_page_writes=off -c max_connections=120")
    subprocess.run(as_server_user([f"{BIN}/pg_ctl", "-D", data, "-o", options, "-l", os.path.join(folder, "log"),
                                   "-w", "-t", "60", "start"]), check=True, **quiet)
    return f"postgresql:///postgres?host={folder}&port={port}&user=postgres"


def stop(folder):
    data = os.path.join(os.path.abspath(folder), "data")
    if os.path.exists(os.path.join(data, "postmaster.pid")):
        subprocess.run(as_server_user([f"{BIN}/pg_ctl", "-D", data, "-m", "fast", "-w", "stop"]), check=True,
                       stdout=subprocess.DEVNULL)


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        pass
    return True


def watch(folder, owner):
    """Waits for the owner to end; then stops the server and removes folder,
    unless the owner did so already."""
    while alive(owner) and os.path.isdir(folder):
        time.sleep(1)
    if os.path.isdir(folder):
        try:
            stop(folder)
        finally:
            shutil.rmtree(folder, ignore_errors=True)


def main():
    args = sys.argv[1:]
    if len(args) == 3 and args[0] == "watch":
        watch(os.path.abspath(args[1]), int(args[2]))
        return 0
    owner = None
    if len(args) == 4 and args[0] == "start" and args[2] == "--owner" and args[3].isdigit():
        owner = int(args[3])
        args = args[:2]
    if len(args) != 2 or args[0] not in ("start", "stop"):
        print(__doc__, file=sys.stderr)
        return 2
    if args[0] == "stop":
        stop(args[1])
        return 0
    uri = start(args[1])
    # The watcher comes before the URI is printed: an owner that died
    # meanwhile has closed the pipe the URI goes to.
    if owner is not None:
        subprocess.Popen([sys.executable, os.path.abspath(__file__), "watch", os.path.abspath(args[1]), str(owner)],
                         stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                         start_new_session=True)
    print(uri)
    return 0


if __name__ == "__main__":
    sys.exit(main())
