"""Hands mailto links to Roundcube web mail, as a click in Chromium does, and
reads back the message that Roundcube sent.

Everything runs on 127.0.0.1, on ports picked here, with its files in the
work folder: a Dovecot IMAP server with a mail user per session (uid
nobody: Dovecot gives root no mail), an SMTP sink of our own that keeps each
message, and Debian's Roundcube under PHP's built-in web server with a
configuration and SQLite database of its own. Chromium (roundcube_click.mjs)
has Roundcube as its mailto handler, logs each user in, in a browser context
of its own, opens a page that holds the link, clicks it, and presses Send
in the compose page that Roundcube opens: Chromium builds the handler's URL
itself. Every server is ended at the end with its whole process group, also
on an error, and a guard process ends them if we are killed. No folder's
permissions change, and the work folder may be anywhere (under /root, say,
or where "/" has mode 700): what of Dovecot is not root finds its files in
a chroot there (see _dovecot_conf). The work folder keeps each message as
roundcube/sentN.eml and each click as a line of roundcube/chromium/clicks.jsonl.

What Roundcube does to a link, observed (Debian 12's 1.6.5 and Debian 13's
1.6.22 alike):
- The query goes through PHP's parse_str: a "+" arrives as a blank
  ("1+1=2" as "1 1=2"), and of two bodies the last one counts. Blanks in
  a row in the subject go as one.
- A body with a "<" in it makes the message HTML (multipart/alternative,
  so "multipart" is true): "<" and what reads as a tag go, and so do the
  line ends (a blank between lines, nothing at the end).
- Any other body is sent as it came, except that a last line without a
  line feed gets one, blanks and tabs at a line's end go, a lone CR
  arrives as LF (CR LF as LF, as here), one empty line at the very start
  goes, a line of more than 998 bytes is cut there with a line feed, and
  bytes that are not UTF-8, and NUL, arrive as U+FFFD each.
- An address that Roundcube's check_email refuses is refused at Send, and
  the string is Roundcube's message ("Invalid email address: ..."); one in
  which the compose page's own check (app.js) finds no address at all is
  refused before that: "Please enter at least one recipient.".
"""
import contextlib
import email
import email.header
import email.policy
import json
import os
import re
import secrets
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
MAIL_DOMAIN = 'example.org'
MAIL_UID = 65534  # nobody
START_TIMEOUT = 20


def _users(jobs):
    return [('tester%d' % w, 'kuvertpfeil%d' % w) for w in range(jobs)]


def _free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def _wait_for_port(port, proc, what, log):
    deadline = time.monotonic() + START_TIMEOUT
    while True:
        with contextlib.suppress(OSError), socket.create_connection(('127.0.0.1', port), 0.5):
            return
        if proc.poll() is not None:
            raise RuntimeError(f'{what} ended at start (exit {proc.returncode}): {_tail(log)}')
        if time.monotonic() > deadline:
            raise RuntimeError(f'{what} did not listen on port {port} within {START_TIMEOUT} s')
        time.sleep(0.02)


class SmtpSink:
    """An SMTP server on 127.0.0.1 that takes every message and keeps it as
    (MAIL FROM address, the message as sent: dot-stuffing undone, CR LF)."""

    def __init__(self):
        self.messages, self.lock = [], threading.Lock()
        self.server = socket.create_server(('127.0.0.1', 0))
        self.port = self.server.getsockname()[1]
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def close(self):
        self.server.close()
        self.thread.join(5)

    def _serve(self):
        while True:
            try:
                conn, _ = self.server.accept()
            except OSError:  # closed
                return
            threading.Thread(target=self._session, args=(conn,), daemon=True).start()

    def _session(self, conn):
        conn.settimeout(60)
        with conn, conn.makefile('rb') as rfile:
            def reply(*lines):
                last = len(lines) - 1
                conn.sendall(b''.join(b'%d%s%s\r\n' % (code, b' ' if n == last else b'-', text)
                                      for n, (code, text) in enumerate(lines)))
            reply((220, b'127.0.0.1 ESMTP kuvertpfeil sink'))
            sender = None
            for line in rfile:
                verb = line[:4].upper()
                if verb == b'EHLO':
                    reply((250, b'127.0.0.1'), (250, b'8BITMIME'), (250, b'SMTPUTF8'))
                elif verb == b'HELO':
                    reply((250, b'127.0.0.1'))
                elif verb == b'MAIL':
                    found = re.search(rb'<([^>]*)>', line)
                    sender = found[1].decode('utf-8', 'replace') if found else ''
                    reply((250, b'OK'))
                elif verb == b'RCPT':
                    reply((250, b'OK'))
                elif verb == b'DATA':
                    reply((354, b'go on'))
                    data = []
                    for data_line in rfile:
                        if data_line == b'.\r\n':
                            break
                        data.append(data_line[1:] if data_line.startswith(b'.') else data_line)
                    with self.lock:
                        self.messages.append((sender, b''.join(data)))
                    reply((250, b'kept'))
                elif verb in (b'RSET', b'NOOP'):
                    reply((250, b'OK'))
                elif verb == b'QUIT':
                    reply((221, b'bye'))
                    return
                else:
                    reply((502, b'not here'))


def _dovecot_version():
    out = subprocess.run(['dovecot', '--version'], capture_output=True, text=True).stdout
    found = re.match(r'(\d+)\.(\d+)\.(\d+)', out)
    if not found:
        raise RuntimeError(f'no Dovecot version in {out!r}')
    return tuple(int(n) for n in found.groups())


def _dovecot_conf(d, port, version):
    """IMAP on 127.0.0.1 only, plain text logins from a passwd-file,
    maildirs in the work folder; Dovecot 2.4 renamed much of it.

    The users' homes are d/home/./USER: a mail process chroots into d/home
    while it is still root, as Dovecot's login processes do into base_dir,
    and auth, which reads the users file, runs as root. So nothing of
    Dovecot's that is not root needs a way through the folders above d."""
    common = f'''base_dir = {d}/run
state_dir = {d}/state
instance_name = kuvertpfeil-{port}
log_path = {d}/dovecot.log
protocols = imap
listen = 127.0.0.1
ssl = no
auth_mechanisms = plain login
default_internal_user = dovecot
default_login_user = dovenull
valid_chroot_dirs = {d}/home
service auth {{
  user = root
}}
service auth-worker {{
  user = root
}}
service imap-login {{
  inet_listener imap {{
    port = {port}
  }}
  inet_listener imaps {{
    port = 0
  }}
}}
'''
    if version >= (2, 4):
        release = '.'.join(map(str, version))
        return f'''dovecot_config_version = {release}
dovecot_storage_version = {release}
{common}auth_allow_cleartext = yes
passdb passwd-file {{
  passwd_file_path = {d}/users
}}
userdb passwd-file {{
  passwd_file_path = {d}/users
}}
mail_driver = maildir
mail_path = ~/Maildir
'''
    return f'''{common}disable_plaintext_auth = no
passdb {{
  driver = passwd-file
  args = scheme=PLAIN {d}/users
}}
userdb {{
  driver = passwd-file
  args = {d}/users
}}
mail_location = maildir:~/Maildir
'''


def _php(value):
    if isinstance(value, bool):
        return 'true' if value else 'false'
    if isinstance(value, list):
        return '[' + ', '.join(map(_php, value)) + ']'
    if isinstance(value, int):
        return str(value)
    return "'" + value.replace('\\', '\\\\').replace("'", "\\'") + "'"


def _roundcube_conf(d, imap_port, smtp_port):
    values = {
        'db_dsnw': f'sqlite:///{d}/roundcube.db?mode=0600',
        'imap_host': f'127.0.0.1:{imap_port}',
        'smtp_host': f'127.0.0.1:{smtp_port}',
        'smtp_user': '', 'smtp_pass': '',
        'mail_domain': MAIL_DOMAIN,
        'temp_dir': f'{d}/temp/', 'log_dir': f'{d}/logs/',
        'des_key': secrets.token_hex(12),
        'plugins': [], 'skin': 'elastic', 'language': 'en_US',
        'enable_installer': False,
        # No drafts saved behind our back: they are not what a link composes.
        'draft_autosave': 0, 'compose_save_localstorage': False,
    }
    return '<?php\n$config = [];\n' + ''.join(
        f'$config[{_php(k)}] = {_php(v)};\n' for k, v in values.items())


# PHP's web server sends static files with no word on caching, so Chromium
# would fetch them all again for every page. This serves them as Debian's
# Apache configuration of Roundcube does (its htaccess: expires after a
# month) and hands everything else to Roundcube's index.php.
ROUTER = r"""<?php
$path = rawurldecode(parse_url($_SERVER['REQUEST_URI'], PHP_URL_PATH));
$types = ['css' => 'text/css', 'js' => 'text/javascript', 'svg' => 'image/svg+xml',
    'woff2' => 'font/woff2', 'woff' => 'font/woff', 'ttf' => 'font/ttf', 'png' => 'image/png',
    'gif' => 'image/gif', 'jpg' => 'image/jpeg', 'ico' => 'image/x-icon', 'webp' => 'image/webp',
    'tiff' => 'image/tiff', 'html' => 'text/html', 'json' => 'application/json'];
$type = $types[strtolower(pathinfo($path, PATHINFO_EXTENSION))] ?? null;
$file = $_SERVER['DOCUMENT_ROOT'] . $path;
if (!$type || strpos($path, '..') !== false || !is_file($file)) {
    return false;
}
header("Content-Type: $type");
header('Cache-Control: max-age=2592000');
header('Content-Length: ' . filesize($file));
readfile($file);
"""


def _roundcube_paths():
    """Debian's web root for Roundcube, and the folder of its defaults."""
    root = next((r for r in ('/var/lib/roundcube/public_html', '/usr/share/roundcube')
                 if os.path.exists(os.path.join(r, 'index.php'))), None)
    defaults = next((d for d in ('/etc/roundcube', '/usr/share/roundcube/config')
                     if os.path.exists(os.path.join(d, 'defaults.inc.php'))), None)
    if not root or not defaults:
        raise RuntimeError('Roundcube is not installed (tests/install-deps.sh installs it)')
    return root, defaults


# Kills the process groups named on its standard input once that closes
# without "done": so that nothing outlives us when we are killed ourselves
# (PHP's workers, for one, outlive their parent).
GUARD = """import os, signal, sys
groups = []
for line in sys.stdin:
    if line == 'done\\n':
        sys.exit()
    groups.append(int(line))
for pgid in groups:
    try:
        os.killpg(pgid, signal.SIGKILL)
    except ProcessLookupError:
        pass
"""


def _start(argv, log, guard, **kwargs):
    with open(log, 'wb') as f:
        proc = subprocess.Popen(argv, stdout=kwargs.pop('stdout', f), stderr=f,
                                start_new_session=True, **kwargs)
    guard.stdin.write(b'%d\n' % proc.pid)
    guard.stdin.flush()
    return proc


def _said(path):
    """The lines that roundcube_click.mjs wrote so far, a cut-off last one not."""
    with contextlib.suppress(OSError), open(path, 'rb') as f:
        return [json.loads(line) for line in f if line.endswith(b'\n')]
    return []


def _tail(path, lines=5):
    with contextlib.suppress(OSError), open(path, 'rb') as f:
        return ' | '.join(f.read().decode('utf-8', 'replace').strip().splitlines()[-lines:])
    return ''


WORDS = re.compile(r'=\?[^?\s]+\?[BbQq]\?[^?\s]*\?=(?:\s+=\?[^?\s]+\?[BbQq]\?[^?\s]*\?=)*')


def _headers(head):
    """Header values as sent, unfolded, 8-bit bytes read as UTF-8, RFC 2047
    words decoded; in To and Cc a decoded name that needs quotes gets them,
    so that "=?UTF-8?Q?M=C3=BCller=2C_J=C3=BCrgen?=" stays one name."""
    fields = {}
    for line in re.sub(rb'\r?\n(?=[ \t])', b'', head).split(b'\r\n'):
        name, _, value = line.partition(b':')
        name = name.strip().lower().decode('ascii', 'replace')

        def word(found):
            text = str(email.header.make_header(email.header.decode_header(found[0])))
            if name in ('to', 'cc') and re.search(r'[][()<>:;@\\,."]', text):
                text = '"%s"' % re.sub(r'(["\\])', r'\\\1', text)
            return text
        value = value.decode('utf-8', 'replace').strip(' \t')
        fields.setdefault(name, WORDS.sub(word, value))
    return fields


def _unflowed(body, delsp):
    """A format=flowed body (RFC 3676) as the recipient reads it: a line
    that ends in a blank goes on in the next (less that blank with DelSp),
    a leading blank is stuffing."""
    lines = [line[1:] if line.startswith(b' ') else line for line in body.split(b'\r\n')]
    out = []
    for line in lines[:-1]:
        if line.endswith(b' ') and line != b'-- ':
            out.append(line[:-1] if delsp else line)
        else:
            out.append(line + b'\r\n')
    return b''.join(out) + lines[-1]


def _message(raw):
    head = raw.split(b'\r\n\r\n', 1)[0]
    fields = _headers(head)
    msg = email.message_from_bytes(raw, policy=email.policy.compat32)
    part = next((p for p in msg.walk() if p.get_content_type() == 'text/plain'), None)
    body = part.get_payload(decode=True) if part else b''
    if part and (part.get_param('format') or '').lower() == 'flowed':
        body = _unflowed(body, (part.get_param('delsp') or '').lower() == 'yes')
    return {'to': fields.get('to', ''), 'cc': fields.get('cc', ''),
            'subject': fields.get('subject', ''), 'body': body.replace(b'\r\n', b'\n'),
            'multipart': msg.is_multipart()}


def _link_page(urls):
    def attr(url):
        return (url.replace('&', '&amp;').replace('"', '&quot;')
                .replace('<', '&lt;').replace('>', '&gt;'))
    return '<!DOCTYPE html>\n<meta charset="utf-8">\n<title>Links</title>\n' + ''.join(
        f'<p><a id="link{i}" href="{attr(u)}">Schreiben Sie uns</a>\n'
        for i, u in enumerate(urls))


def _lay_out(workdir, urls, users, imap_port):
    """The folders and files of a run under workdir/roundcube: {name: path}."""
    base = os.path.join(workdir, 'roundcube')
    shutil.rmtree(base, ignore_errors=True)
    paths = {name: os.path.join(base, name)
             for name in ('dovecot', 'config', 'roundcube', 'chromium')}
    for d in list(paths.values()) + [os.path.join(paths['roundcube'], d) for d in ('temp', 'logs')]:
        os.makedirs(d)
    # A socket's path has at most 107 bytes; Dovecot's longest adds 25.
    if len(os.fsencode(paths['dovecot'])) > 78:
        raise RuntimeError(f'{workdir} is too long a path for Dovecot\'s sockets in it')
    # The mail users' chroot (see _dovecot_conf) with their homes (there the
    # mail process goes into one before Dovecot would make it: an error in
    # its log) and a /tmp for Dovecot's temporary files (mail_temp_dir).
    home = os.path.join(paths['dovecot'], 'home')
    for d in [home, os.path.join(home, 'tmp')] + [os.path.join(home, u) for u, _ in users]:
        os.mkdir(d, 0o700)
        os.chown(d, MAIL_UID, MAIL_UID)
    paths.update(base=base, dovecot_conf=os.path.join(paths['dovecot'], 'dovecot.conf'),
                 page=os.path.join(paths['chromium'], 'links.html'),
                 router=os.path.join(paths['roundcube'], 'router.php'),
                 clicks=os.path.join(paths['chromium'], 'clicks.jsonl'),
                 node_log=os.path.join(paths['chromium'], 'node.log'))
    with open(paths['dovecot_conf'], 'w') as f:
        f.write(_dovecot_conf(paths['dovecot'], imap_port, _dovecot_version()))
    with open(os.path.join(paths['dovecot'], 'users'), 'w') as f:
        for user, password in users:
            f.write(f'{user}:{{PLAIN}}{password}:{MAIL_UID}:{MAIL_UID}::{home}/./{user}::\n')
    paths['root'], defaults = _roundcube_paths()
    for name in ('defaults.inc.php', 'mimetypes.php'):
        if os.path.exists(os.path.join(defaults, name)):
            os.symlink(os.path.join(defaults, name), os.path.join(paths['config'], name))
    with open(paths['router'], 'w') as f:
        f.write(ROUTER)
    with open(paths['page'], 'w', encoding='utf-8') as f:
        f.write(_link_page(urls))
    return paths


def _failure(paths, said, node):
    why = [s['fatal'] for s in said if 'fatal' in s] or [_tail(paths['node_log'])]
    log = os.path.join(paths['dovecot'], 'dovecot.log')
    with contextlib.suppress(OSError), open(log, 'rb') as f:
        why += [line.decode('utf-8', 'replace').strip() for line in f
                if re.search(rb': (Error|Fatal|Panic): ', line)][-2:]
    return RuntimeError(f'roundcube_click.mjs failed (exit {node.returncode}): ' + ' | '.join(why))


def _results(paths, said, messages, users, count):
    """Each link's message, or what Roundcube said instead. The messages of
    a user arrive in the order of its clicks: one link at a time each."""
    results = [None] * count
    for w, (user, _) in enumerate(users):
        own = iter(raw for sender, raw in messages if sender == f'{user}@{MAIL_DOMAIN}')
        for click in (s for s in said if s.get('worker') == w):
            i = click['i']
            if not click.get('sent'):
                results[i] = click['error']
                continue
            raw = next(own, None)
            if raw is None:
                raise RuntimeError(f'Roundcube said it sent link {i}, but nothing arrived')
            with open(os.path.join(paths['base'], f'sent{i}.eml'), 'wb') as f:
                f.write(raw)
            results[i] = dict(_message(raw), handler=click['handler'])
        if next(own, None) is not None:
            raise RuntimeError(f'{user}: more messages arrived than Roundcube said it sent')
    return results


def compose_all(urls, workdir, jobs=2, timeout=15000):
    """Per URL a dict (to, cc, subject: the headers as sent, RFC 2047 words
    decoded; body: the text/plain part as the recipient reads it, LF line
    ends; multipart: whether Roundcube made the message HTML; handler: the
    URL that Chromium opened for the click) or a string: why Roundcube sent
    nothing. jobs: Roundcube sessions side by side; timeout: ms a link."""
    workdir, users = os.path.abspath(workdir), _users(jobs)
    imap_port, http_port = _free_port(), _free_port()
    paths = _lay_out(workdir, urls, users, imap_port)
    base_url = f'http://127.0.0.1:{http_port}/'
    guard = subprocess.Popen([sys.executable, '-c', GUARD], stdin=subprocess.PIPE,
                             start_new_session=True)
    sink, procs = SmtpSink(), []
    try:
        with open(os.path.join(paths['config'], 'config.inc.php'), 'w') as f:
            f.write(_roundcube_conf(paths['roundcube'], imap_port, sink.port))
        dovecot_log = os.path.join(paths['dovecot'], 'stderr')
        procs.append(_start(['dovecot', '-F', '-c', paths['dovecot_conf']], dovecot_log, guard,
                            stdin=subprocess.DEVNULL))
        php_log = os.path.join(paths['roundcube'], 'php.log')
        env = {'PATH': '/usr/bin:/bin', 'LANG': 'C.UTF-8', 'TZ': 'UTC',
               'ROUNDCUBE_CONFIG_DIR': paths['config'], 'PHP_CLI_SERVER_WORKERS': str(jobs + 1)}
        procs.append(_start(['php', '-d', 'opcache.enable_cli=1', '-S', f'127.0.0.1:{http_port}',
                             '-t', paths['root'], paths['router']], php_log, guard,
                            stdin=subprocess.DEVNULL, env=env))
        _wait_for_port(imap_port, procs[0], 'Dovecot', dovecot_log)
        _wait_for_port(http_port, procs[1], "PHP's web server", php_log)
        # Roundcube makes its database at the first request: one now, not
        # the sessions' first ones racing for it.
        with urllib.request.urlopen(base_url, timeout=START_TIMEOUT) as r:
            r.read()

        with open(paths['clicks'], 'wb') as clicks:
            node = _start(['node', os.path.join(HERE, 'roundcube_click.mjs')], paths['node_log'],
                          guard, stdin=subprocess.PIPE, stdout=clicks)
        procs.append(node)
        node.stdin.write(json.dumps({
            'base': base_url, 'profile': os.path.join(paths['chromium'], 'profile'),
            'page': paths['page'], 'users': users, 'urls': urls, 'timeout': timeout}).encode())
        node.stdin.close()
        # Each link has its timeout in there; this one is for a Chromium that hangs.
        limit = 120 + len(urls) * (timeout / 1000 + 5) / jobs
        try:
            node.wait(limit)
        except subprocess.TimeoutExpired:
            raise RuntimeError(f'roundcube_click.mjs still ran after {limit:.0f} s: '
                               f"{_tail(paths['node_log'])}") from None
        said = _said(paths['clicks'])
        if node.returncode:
            raise _failure(paths, said, node)
        with sink.lock:
            messages = list(sink.messages)
        return _results(paths, said, messages, users, len(urls))
    finally:
        # Chromium runs in a process group of its own (puppeteer starts it so).
        chromium = [s['chromium'] for s in _said(paths['clicks']) if 'chromium' in s]
        for pgid in chromium + [proc.pid for proc in reversed(procs)]:
            with contextlib.suppress(ProcessLookupError):
                os.killpg(pgid, signal.SIGKILL)
        for proc in procs:
            proc.wait()
        guard.communicate(b'done\n')
        sink.close()


if __name__ == '__main__':
    import tempfile
    with tempfile.TemporaryDirectory() as tmp:
        urls = [line.rstrip('\n') for line in sys.stdin if line.strip()]
        results = compose_all(urls, tmp)
    for url, result in zip(urls, results):
        if isinstance(result, dict):
            result = dict(result, body=repr(result['body']))  # exact bytes, readable
        print(json.dumps({'url': url, 'roundcube': result}, ensure_ascii=False))
