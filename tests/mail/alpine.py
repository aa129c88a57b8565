"""Hands mailto links to Debian's alpine and reads back what it composed.

Each link gets a throwaway HOME and a pseudo-terminal of its own: alpine
-url opens its composer, ^C C cancels the message, and the cancelled
message that alpine writes to ~/dead.letter (headers and body, MIME as it
would send them) is read back. Nothing is sent; no server is contacted.
"""
import email
import email.header
import fcntl
import json
import os
import re
import select
import shutil
import struct
import subprocess
import sys
import termios
import time

# Only what a headless run needs: a fixed domain (an unqualified name gets
# @example.org, not the host's name), an empty local INBOX, and no pause
# for reading status messages (they still show; a pause holds up the ^C
# prompt for 3 s). All that shapes the message stays at alpine's defaults.
PINERC = '''user-domain=example.org
inbox-path={home}/inbox
status-message-delay=-1
'''
ROWS, COLS = 40, 200  # wide, so status messages are not cut
STATUS = re.compile(rb'\x1b\[7m\[([^\x1b]*)\]\x1b\[27m')  # alpine's [messages]
ESCAPE = re.compile(rb'\x1b(\[[0-9;?]*[A-Za-z]|[()][0-9A-Z]|[=>])|[\r\n]')
WORDS = re.compile(r'=\?[^?\s]+\?[BbQq]\?[^?\s]*\?=(\s+=\?[^?\s]+\?[BbQq]\?[^?\s]*\?=)*')


def _start(url, home):
    shutil.rmtree(home, ignore_errors=True)
    os.makedirs(home)
    # An existing address book keeps its creation notice off the status line.
    for name in ('inbox', 'global', '.addressbook'):
        open(os.path.join(home, name), 'w').close()
    with open(os.path.join(home, 'pinerc'), 'w') as f:
        f.write(PINERC.format(home=home))
    master, slave = os.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack('HHHH', ROWS, COLS, 0, 0))
    env = {'HOME': home, 'TERM': 'xterm', 'LANG': 'C.UTF-8', 'LC_ALL': 'C.UTF-8',
           'PATH': '/usr/bin:/bin', 'TZ': 'UTC'}
    proc = subprocess.Popen(
        ['alpine', '-p', home + '/pinerc', '-P', home + '/global', '-url', url],
        stdin=slave, stdout=slave, stderr=slave, cwd=home, env=env,
        start_new_session=True)
    os.close(slave)
    return {'proc': proc, 'fd': master, 'home': home, 'out': b'', 'stage': 0}


def _headers(raw):
    """Unfolded header values, raw 8-bit bytes read as UTF-8, RFC 2047 words
    decoded; in To and Cc a decoded name that needs quotes gets them, so
    that "=?UTF-8?Q?M=C3=BCller=2C_Max?=" stays one name: "Müller, Max"."""
    fields = {}
    for line in re.sub(rb'\r?\n(?=[ \t])', b'', raw).split(b'\n'):
        name, _, value = line.partition(b':')
        name = name.lower().decode()
        value = (value[1:] if value.startswith(b' ') else value).decode('utf-8', 'replace')

        def word(match):
            text = str(email.header.make_header(email.header.decode_header(match[0])))
            if name in ('to', 'cc') and re.search(r'[][()<>:;@\\,."]', text):
                text = '"%s"' % re.sub(r'(["\\])', r'\\\1', text)
            return text
        fields.setdefault(name, WORDS.sub(word, value))
    return fields


def _result(job):
    out = job['out']
    status = '; '.join(dict.fromkeys(  # each once, in order
        m.decode('utf-8', 'replace') for m in STATUS.findall(out)
        if not m.startswith(b'Message cancelled')))
    path = os.path.join(job['home'], 'dead.letter')
    if job['stage'] < 2 or not os.path.exists(path):
        screen = ESCAPE.sub(b' ', out).decode('utf-8', 'replace')
        return status or ' '.join(screen.split())[-300:] or 'alpine wrote nothing'
    with open(path, 'rb') as f:
        raw = f.read().split(b'\n', 1)[1]  # without the mbox From_ line
    head, msg = _headers(raw.split(b'\n\n', 1)[0]), email.message_from_bytes(raw)
    part = next((p for p in msg.walk() if p.get_content_type() == 'text/plain'), None)
    return {'to': head.get('to', ''), 'cc': head.get('cc', ''),
            'subject': head.get('subject', ''), 'status': status,
            'multipart': msg.is_multipart(),
            'body': part.get_payload(decode=True) if part else b''}


def compose_all(urls, workdir, jobs=4, timeout=10.0):
    """Per URL a dict (to, cc, subject and body as alpine composed them;
    status: its status line messages; multipart: whether it made the
    message MIME multipart) or a string: why alpine composed nothing."""
    results, running = [None] * len(urls), {}
    todo = list(enumerate(urls))[::-1]
    try:
        while todo or running:
            while todo and len(running) < jobs:
                i, url = todo.pop()
                job = _start(url, os.path.join(os.path.abspath(workdir), 'alpine%d' % i))
                job['i'], job['deadline'] = i, time.monotonic() + timeout
                running[job['fd']] = job
            ready, _, _ = select.select(list(running), [], [], 0.05)
            for fd, job in list(running.items()):
                data = None
                if fd in ready:
                    try:
                        data = os.read(fd, 65536)
                    except OSError:  # EIO: alpine has gone, the terminal closed
                        data = b''
                    job['out'] += data
                out, late = job['out'], time.monotonic() > job['deadline']
                if data == b'' or late:
                    if late:
                        job['proc'].kill()
                    job['proc'].wait()
                    os.close(fd)
                    del running[fd]
                    results[job['i']] = 'timed out: %s' % _result(job) if late else _result(job)
                elif job['stage'] == 0 and b'Message Text' in out:
                    os.write(fd, b'\x03')  # ^C: cancel the message
                    job['stage'], job['mark'] = 1, len(out)
                elif job['stage'] == 1 and b'Cancel message' in out[job['mark']:]:
                    os.write(fd, b'C')  # Confirm: alpine writes dead.letter and ends
                    job['stage'] = 2
    finally:  # on any error, leave nothing running
        for fd, job in running.items():
            job['proc'].kill()
            job['proc'].wait()
            os.close(fd)
    return results


if __name__ == '__main__':
    import tempfile
    with tempfile.TemporaryDirectory() as tmp:
        lines = [line.rstrip('\n') for line in sys.stdin if line.strip()]
        for url, res in zip(lines, compose_all(lines, tmp)):
            if isinstance(res, dict):
                res['body'] = res['body'].decode('utf-8', 'backslashreplace')
            print(json.dumps({'url': url, 'result': res}, ensure_ascii=False))
