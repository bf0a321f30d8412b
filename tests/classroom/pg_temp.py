#!/usr/bin/env python3
"""A throw-away PostgreSQL server for tests, in a folder of its own.

    pg_temp.py start DIR   makes the server in DIR when there is none, starts
                           it and prints a superuser URI (over the unix socket
                           in DIR); listens on 127.0.0.1 at a free port too,
                           the same port on every start
    pg_temp.py stop DIR    stops it (the data stays until DIR is removed)

Run as root (as CI does), the server runs as the user postgres: DIR is given
to that user, so DIR's parents must be open to it (a folder made by
tempfile.mkdtemp() under /tmp is).  fsync is off: the data is not meant to
survive a crash of the machine.
"""
import os
import pwd
import socket
import subprocess
import sys

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
    print(f"postgresql:///postgres?host={folder}&port={port}&user=postgres")


def stop(folder):
    data = os.path.join(os.path.abspath(folder), "data")
    if os.path.exists(os.path.join(data, "postmaster.pid")):
        subprocess.run(as_server_user([f"{BIN}/pg_ctl", "-D", data, "-m", "fast", "-w", "stop"]), check=True,
                       stdout=subprocess.DEVNULL)


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop"):
        print(__doc__, file=sys.stderr)
        return 2
    (start if sys.argv[1] == "start" else stop)(sys.argv[2])
    return 0


if __name__ == "__main__":
    sys.exit(main())
