#!/usr/bin/env python3
"""qmtsim --listen as a user runs it: the address on standard output, lines
over the pseudo-terminal's fixed name answered with --replies while the macro
runs, a second TCP client refused on standard error, and SIGINT, SIGTERM and
SIGHUP closing the program with its link removed.  Usage: qmtsim_listen.py QMTSIM WORKDIR."""
import atexit
import os
import signal
import socket
import subprocess
import sys
import time

QMTSIM, WORK = sys.argv[1], sys.argv[2]
os.makedirs(WORK, exist_ok=True)
env = dict(os.environ, QT_QPA_PLATFORM='offscreen')
LIMIT = 60


servers = []


@atexit.register
def stop_servers():
    """A failed check leaves no server behind."""
    for p in servers:
        if p.poll() is None:
            p.kill()
            p.wait()


def start(*args):
    p = subprocess.Popen([QMTSIM, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
    servers.append(p)
    address = p.stdout.readline().decode().strip()
    assert address, p.stderr.read().decode()
    return p, address


def finish(p, sig=signal.SIGTERM):
    p.send_signal(sig)
    _, err = p.communicate(timeout=LIMIT)
    return p.returncode, err.decode()


# The pseudo-terminal, through its link.
link = os.path.join(WORK, 'qmt-device')
p, address = start('--listen', 'pty:' + link, '--replies')
assert os.readlink(link) == address
fd = os.open(link, os.O_RDWR | os.O_NOCTTY)
os.write(fd, b'PS3\rCS1C\rER\rTA10,10,100,100,1\rDS3\rDS9\r')
replies, deadline = b'', time.time() + LIMIT
while replies.count(b'\n') < 6 and time.time() < deadline:
    replies += os.read(fd, 4096)
os.close(fd)
assert replies == 'ok\r\nok\r\nok\r\nok\r\nok\r\n3より大きい\r\n'.encode('cp932'), replies
code, err = finish(p)
assert code == 0, (code, err)
assert not os.path.lexists(link), 'the link outlives the window'

# Every stop signal closes the window as SIGTERM does (SIGHUP: the terminal
# it was started from has closed).
for sig in [signal.SIGINT, signal.SIGHUP]:
    p, address = start('--listen', 'pty:' + link)
    code, err = finish(p, sig)
    assert code == 0, (sig, code, err)
    assert not os.path.lexists(link), (sig, 'the link outlives the window')

# TCP: one client at a time.
p, address = start('--listen', 'tcp:0', '--replies')
host, port = address[len('tcp:'):].rsplit(':', 1)
with socket.create_connection((host, int(port)), timeout=LIMIT) as first:
    first.sendall(b'DS0\r')
    assert first.recv(4) == b'ok\r\n'
    with socket.create_connection((host, int(port)), timeout=LIMIT) as second:
        told = b''
        while not told.endswith(b'\n'):
            part = second.recv(100)
            assert part, ('a second client is closed without a word', told)
            told += part
        assert told == b'refused: another client is being served\r\n', told
        assert second.recv(1) == b''
code, err = finish(p)
assert code == 0, (code, err)
assert 'refused: another client is being served' in err, err
print('ok')
