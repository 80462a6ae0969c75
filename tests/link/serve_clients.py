#!/usr/bin/env python3
"""qmt serve with real clients: a Python client over TCP, `qmt send --port tcp:`
and a pseudo-terminal client all leave the pages `qmt exec` makes of the same
lines; bad clients (junk, NUL bytes, an overlong line, a flood, half a line,
connect/disconnect loops, a second client) leave the server serving.

Usage: serve_clients.py QMT WORKDIR.  Every step is bounded in time."""
import atexit
import os
import signal
import socket
import subprocess
import sys
import time

QMT, WORK = sys.argv[1], sys.argv[2]
os.makedirs(WORK, exist_ok=True)
os.chdir(WORK)
STEP = 60  # seconds any one step may take


def run(*args, **kw):
    return subprocess.run([QMT, *args], timeout=STEP, check=True, **kw)


def unescape(text):
    """The escaped text form (%hh) as the bytes the device receives."""
    raw, out, i = text.encode('cp932'), bytearray(), 0
    while i < len(raw):
        if raw[i] == 0x25:
            try:
                out.append(int(raw[i + 1:i + 3], 16))
            except ValueError:
                pass
            i += 3
        else:
            out.append(raw[i])
            i += 1
    return bytes(out)


servers = []


@atexit.register
def stop_servers():
    """A failed check leaves no server behind."""
    for p in servers:
        if p.poll() is None:
            p.kill()
            p.wait()


def start_server(*args):
    p = subprocess.Popen([QMT, 'serve', *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    servers.append(p)
    address = p.stdout.readline().decode().strip()  # printed and flushed first
    assert address, p.stderr.read().decode()
    return p, address


def finish(p, out=None):
    """The exit status and standard error; `out` gets standard output."""
    stdout, err = p.communicate(timeout=STEP)
    if out is not None:
        out.append(stdout)
    return p.returncode, err.decode()


def same_pages(a, b):
    for n in range(4):
        with open(f'{a}/VRAM{n}.bmp', 'rb') as fa, open(f'{b}/VRAM{n}.bmp', 'rb') as fb:
            if fa.read() != fb.read():
                sys.exit(f'page {n}: {a} differs from {b}')


def tcp(address):
    host, port = address[len('tcp:'):].rsplit(':', 1)
    return socket.create_connection((host, int(port)), timeout=STEP)


# The default macro's recorded lines: three screens and a few timer ticks,
# 74 GI lines among them (CR, LF and NUL in their pattern bytes).
lines = run('run', '--event', 'A', '--event', 'B', '--event', 'C', '--tick', '5', '--lines',
            stdout=subprocess.PIPE).stdout.decode()
with open('lines.txt', 'w', encoding='utf-8') as f:
    f.write(lines)
stream = b''.join(unescape(l) + b'\r' for l in lines.splitlines() if l)
assert stream.count(b'GI') >= 70
run('exec', '--utf8', 'lines.txt', '--pages', 'exec')

# 1. A Python client over TCP, in pieces of odd sizes; what --lines prints
# runs again on qmt exec to the same pages.
p, address = start_server('--listen', 'tcp:0', '--once', '--pages', 'tcp', '--lines')
assert address.startswith('tcp:127.0.0.1:'), address
with tcp(address) as s:
    for i in range(0, len(stream), 777):
        s.sendall(stream[i:i + 777])
out = []
code, err = finish(p, out)
assert code == 0, err
same_pages('exec', 'tcp')
with open('served.txt', 'wb') as f:
    f.write(out[0])
run('exec', '--utf8', 'served.txt', '--pages', 'served')
same_pages('exec', 'served')

# 2. qmt send over the tcp: port.
p, address = start_server('--listen', 'tcp:0', '--once', '--pages', 'send')
run('send', '--utf8', 'lines.txt', '--port', address)
code, err = finish(p)
assert code == 0, err
same_pages('exec', 'send')

# 3. A client on the pseudo-terminal, through the link's fixed name.
link = os.path.join(WORK, 'qmt-device')
p, address = start_server('--listen', 'pty:' + link, '--once', '--pages', 'pty')
assert os.readlink(link) == address, (link, address)
fd = os.open(link, os.O_WRONLY | os.O_NOCTTY)
view = memoryview(stream)
while view:
    view = view[os.write(fd, view[:4096]):]
os.close(fd)
code, err = finish(p)
assert code == 0, err
assert not os.path.lexists(link), 'the link outlives the server'
same_pages('exec', 'pty')

# 4. Bad clients, then a good one that asks for replies.
p, address = start_server('--listen', 'tcp:0', '--replies', '--pages', 'bad')
with tcp(address) as s:
    s.sendall(bytes(range(256)) * 64 + b'\0\0DS0\0junk\r')   # binary junk, NUL bytes
    s.sendall(b'TI' + b'F' * 700_000 + b'\r')                # past the line limit
    s.sendall(b'PA1,1\r' * 200_000)                          # a flood
    s.sendall(b'LA0,0,639')                                   # half a line, then gone
    s.shutdown(socket.SHUT_WR)
    while s.recv(65536):                                      # the replies, to the end
        pass
for _ in range(50):                                           # connect and leave at once
    tcp(address).close()

def served(address):
    """A connection the server serves: the last of the clients before may
    still hold the server for a moment, and then this one is closed."""
    deadline = time.time() + STEP
    while time.time() < deadline:
        s = tcp(address)
        try:
            s.sendall(b'DS0\r')
            if s.recv(4) == b'ok\r\n':
                return s
        except ConnectionError:
            pass
        s.close()
        time.sleep(0.05)
    sys.exit('no connection is served')


with served(address) as s:
    s.sendall(b'DS0\rDS9\r')
    replies = b''
    while replies.count(b'\r\n') < 2:
        replies += s.recv(4096)
    assert replies == 'ok\r\n3より大きい\r\n'.encode('cp932'), replies
    second = tcp(address)                                     # one client at a time, told so
    told = b''
    while not told.endswith(b'\n'):
        part = second.recv(100)
        assert part, ('a second client is closed without a word', told)
        told += part
    assert told == b'refused: another client is being served\r\n', told
    assert second.recv(1) == b'', 'a second client is served'
    second.close()
    s.sendall(b'ER\r')
    assert s.recv(4096) == b'ok\r\n'
p.send_signal(signal.SIGTERM)
code, err = finish(p)
assert code == 1, (code, err)                                 # lines failed and one was dropped
for part in ['a line of 700002 bytes is dropped', 'refused: another client is being served',
             'left in the middle of a line; its 9 bytes are dropped', '3より大きい']:
    assert part in err, (part, err[-2000:])
assert os.path.exists('bad/VRAM0.bmp'), 'pages not written on SIGTERM'

# 5. A client whose every byte is lost (no carriage return) fails the run.
p, address = start_server('--listen', 'tcp:0', '--once')
with tcp(address) as s:
    s.sendall(b'DS0')
code, err = finish(p)
assert code == 1 and 'its 3 bytes are dropped' in err, (code, err)


def stuck_server(link, pages, lines=True):
    """A server whose standard output (--lines) or standard error (the
    failing lines) nobody reads, fed over the pseudo-terminal until it can
    take no more."""
    p, address = start_server('--listen', 'pty:' + link, *(['--lines'] if lines else []), '--pages', pages)
    fd = os.open(link, os.O_WRONLY | os.O_NOCTTY | os.O_NONBLOCK)
    flood, last = memoryview((b'PA1,1\r' if lines else b'XX\r') * 1_000_000), time.time()
    while time.time() - last < 1 and flood:
        try:
            flood = flood[os.write(fd, flood[:60_000]):]
            last = time.time()
        except BlockingIOError:
            time.sleep(0.05)
    assert flood, 'the server took 6 MB of lines with its output blocked'
    return p, fd


# 6. Every way the server ends removes the link and writes the pages, its
# standard output or standard error blocked or gone.
for lines in [True, False]:
    for sig in [signal.SIGINT, signal.SIGTERM, signal.SIGHUP]:
        pages = f'stuck-{sig.name}-{lines}'
        p, fd = stuck_server(link, pages, lines)
        p.send_signal(sig)
        p.wait(timeout=STEP)                                  # its output still unread
        code, err = finish(p)
        os.close(fd)
        assert code == (0 if lines else 1), (sig, lines, code, err[-2000:])
        assert not os.path.lexists(link), (sig, lines, 'the link outlives the server')
        assert os.path.exists(f'{pages}/VRAM0.bmp'), (sig, lines, 'pages not written')

# `qmt serve --lines | head -1`: head leaves after the address, and the
# server ends with it, no further line needed.
p, address = start_server('--listen', 'pty:' + link, '--lines', '--pages', 'head')
p.stdout.close()
code = p.wait(timeout=STEP)
err = p.stderr.read().decode()
assert code == 1 and 'standard output is closed' in err, (code, err)
assert not os.path.lexists(link), 'the link outlives the server'
assert os.path.exists('head/VRAM0.bmp'), 'pages not written'

p, address = start_server('--listen', 'pty:' + link, '--lines', '--pages', 'closed')
p.stdout.close()                                              # the reader of the pipe leaves
fd = os.open(link, os.O_WRONLY | os.O_NOCTTY)
os.write(fd, b'DS0\r')
code = p.wait(timeout=STEP)
err = p.stderr.read().decode()
os.close(fd)
assert code == 1 and 'standard output is closed' in err, (code, err)
assert not os.path.lexists(link), 'the link outlives the server'
assert os.path.exists('closed/VRAM0.bmp'), 'pages not written'

# 7. qmt send names a failing line shortly, however long.
r = subprocess.run([QMT, 'send', '--port', 'none'], input=b'TI' + b'F' * 700_000 + b'\n',
                   stderr=subprocess.PIPE, timeout=STEP)
assert r.returncode == 1 and len(r.stderr) < 400, r.stderr[:400]
assert b'(700002 bytes)' in r.stderr, r.stderr[:400]
print('ok')
