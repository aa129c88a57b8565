"""Hands mailto URLs to Mutt, headless, and reads back the message it composed.

Mutt runs in a pseudo-terminal of its own with a throwaway HOME and muttrc.
Its editor only copies the draft (headers and body, as $edit_headers shows
them) to a known file; the draft is then unmodified, so Mutt aborts the
message by itself ($abort_unmodified) and exits: nothing is sent.
NeoMutt takes the same command line and muttrc: neomutt.py runs it here.
"""
import concurrent.futures
import contextlib
import fcntl
import json
import os
import pty
import re
import select
import signal
import struct
import subprocess
import sys
import termios
import time

MUTTRC = """\
set folder="{d}" spoolfile="{d}/mbox" tmpdir="{d}" hostname=example.invalid
set edit_headers autoedit abort_unmodified=yes postpone=no
set charset=utf-8 send_charset=utf-8 sendmail=/bin/false
set editor='cp %s "$MUTT_DRAFT"'
"""
TIMEOUT = 10


def _header(raw):
    # Read back as Mutt reads its draft (and so sends it): folds become one
    # blank, blanks at either end go. Mutt has decoded RFC 2047 words itself;
    # bytes that are not UTF-8 show as U+FFFD, as on Mutt's screen.
    value = re.sub(rb'\n[ \t]*', b' ', raw).strip(b' \t\r\n\v\f')
    return value.decode('utf-8', 'replace')


def _read_draft(data):
    head, _, body = data.partition(b'\n\n')
    fields = {}
    for line in re.split(rb'\n(?![ \t])', head):
        name, _, value = line.partition(b':')
        fields[name.strip().lower()] = value
    return dict({k: _header(fields.get(k.encode(), b'')) for k in ('to', 'cc', 'subject')},
                body=body)


def _screen_text(out):
    text = re.sub(rb'\x1b(\[[0-9;?]*[A-Za-z]|[()][0-9A-B]|[=>])|[\x00-\x08\x0e-\x1f]', b' ', out)
    return ' '.join(text.decode('utf-8', 'replace').split())


def compose(url, workdir, program='mutt'):
    """One URL in its own folder under workdir, for program (mutt or
    neomutt): a dict, or why there is none."""
    os.makedirs(workdir, exist_ok=True)
    draft = os.path.join(workdir, 'draft')
    with open(os.path.join(workdir, 'muttrc'), 'w') as f:
        f.write(MUTTRC.format(d=workdir))
    if os.path.exists(draft):
        os.remove(draft)
    env = {'HOME': workdir, 'TERM': 'xterm', 'LANG': 'C.UTF-8', 'LC_ALL': 'C.UTF-8',
           'PATH': '/usr/bin:/bin', 'TMPDIR': workdir, 'MUTT_DRAFT': draft}
    master, slave = pty.openpty()
    # Debian 13's curses opens no terminal of size 0 x 0.
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack('HHHH', 24, 80, 0, 0))
    with open(os.path.join(workdir, 'stderr'), 'w+b') as err:
        proc = subprocess.Popen([program, '-n', '-F', os.path.join(workdir, 'muttrc'), '--', url],
                                stdin=slave, stdout=slave, stderr=err, env=env, cwd=workdir,
                                start_new_session=True)
        os.close(slave)
        screen, deadline = b'', time.monotonic() + TIMEOUT
        try:
            while proc.poll() is None or select.select([master], [], [], 0)[0]:
                if time.monotonic() > deadline:
                    return f'{program} still ran after {TIMEOUT} s: {_screen_text(screen)}'
                if select.select([master], [], [], 0.05)[0]:
                    try:
                        screen += os.read(master, 65536)
                    except OSError:  # EIO: Mutt has closed the terminal
                        break
        finally:
            with contextlib.suppress(ProcessLookupError):
                os.killpg(proc.pid, signal.SIGKILL)  # whatever is left of Mutt's session
            proc.wait()
            os.close(master)
        err.seek(0)
        screen = err.read() + b' ' + screen
    if not os.path.exists(draft):
        return f'{program} composed nothing (exit {proc.returncode}): {_screen_text(screen)}'
    with open(draft, 'rb') as f:
        return _read_draft(f.read())


def compose_all(urls, workdir, program='mutt'):
    """A result per URL, in order; as many Mutts at once as there are cores."""
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
        return list(pool.map(
            lambda i: compose(urls[i], os.path.join(workdir, f'{program}{i}'), program),
            range(len(urls))))


def main(program='mutt'):
    """URLs from standard input, one a line; a line of JSON for each."""
    import tempfile
    with tempfile.TemporaryDirectory() as tmp:
        urls = [line.rstrip('\n') for line in sys.stdin if line.strip()]
        results = compose_all(urls, tmp, program)
    for url, result in zip(urls, results):
        if isinstance(result, dict):
            result = dict(result, body=repr(result['body']))  # exact bytes, readable
        print(json.dumps({'url': url, program: result}, ensure_ascii=False))


if __name__ == '__main__':
    main()
