#!/usr/bin/python3
# pkexec for tests. As "pkexec PROGRAM", run by the unprivileged user, it hands
# its standard input and output to a broker running as root, which runs
# PROGRAM on them and sends back its exit status; FAKE_PKEXEC_CANCEL plays a
# dismissed prompt (126). As "--broker SOCKET N", run as root, it serves N such
# starts and ends when the last program has ended.
import json
import os
import socket
import subprocess
import sys


def client():
    if os.environ.get("FAKE_PKEXEC_CANCEL"):
        sys.exit(126)
    s = socket.socket(socket.AF_UNIX)
    s.connect(os.environ["FAKE_PKEXEC_SOCKET"])
    socket.send_fds(s, [json.dumps(sys.argv[1:]).encode()], [0, 1])
    # Only the program holds the window's channel now.
    os.close(0)
    os.close(1)
    sys.exit(int(s.recv(16) or b"1"))


def broker(path, count):
    server = socket.socket(socket.AF_UNIX)
    server.bind(path)
    os.chmod(path, 0o777)
    server.listen()
    print("ready", flush=True)
    for _ in range(count):
        conn, _ = server.accept()
        message, fds, _, _ = socket.recv_fds(conn, 4096, 2)
        code = subprocess.call(json.loads(message), stdin=fds[0], stdout=fds[1])
        for fd in fds:
            os.close(fd)
        conn.send(str(code).encode())
        conn.close()


if len(sys.argv) == 4 and sys.argv[1] == "--broker":
    broker(sys.argv[2], int(sys.argv[3]))
else:
    client()
