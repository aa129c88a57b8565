"""Hands mailto links to Debian's kmail and reads back what it composed.

One KMail with a throwaway HOME runs under Xvfb, on a D-Bus session bus of
its own, with Akonadi on SQLite. It has no account and no transport:
nothing can be sent. Once it is up, each link goes in as the desktop's
mailto handler passes it, `kmail -qwindowtitle KMail URL`, which hands it
to the running KMail over D-Bus. The composer that opens is saved as a
draft by its "Save as Draft" action (over D-Bus, org.kde.KMainWindow's
activateAction), which also closes it, and the draft that Akonadi's maildir
resource writes to ~/.local/share/local-mail/drafts is read back: the
message as KMail would send it, less what only sending adds.

What KMail does to a link, observed (Debian 12's 22.12):
- It decodes the whole URL once before it splits it, and each value again
  after: "%2541" arrives as "A", and "%25ab" as the byte 0xAB, which is no
  UTF-8 and shows as U+FFFD.
- A name gets a blank after a dot: "Dr.Max Mustermann" arrives as
  "Dr. Max Mustermann".
- Every line end (CR LF, a lone CR) arrives as LF, and a line longer than
  78 characters is broken after the last blank that fits (the blank
  stays at the line's end).
- A query whose last value is empty ("subject=x&body=") gives the subject
  "x&body".

Every process of a run (KMail, Akonadi's server and agents, whatever they
start) carries a tag in its environment, and a guard process kills each
one that carries it at the end, or when we are killed ourselves.
"""
import contextlib
import email
import email.header
import email.policy
import email.utils
import json
import os
import re
import secrets
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

TAG = 'KUVERTPFEIL_KMAIL_RUN'
SERVICE = 'org.kde.kmail2'
WINDOWS = '/kmail2'  # KMail's windows on the bus: /kmail2/kmail_composer_1, ...
COMPOSER = re.compile(r'kmail_composer_\d+$')
START_TIMEOUT = 120  # for each step of a start (the first one after installing took 64 s)
# Now and then Akonadi's maildir resource makes no folders, or never writes
# the start's draft (7 starts in 82 here): such a start is made once more.
START_ATTEMPTS = 2
TIMEOUT = 20

# KMail's and Akonadi's configuration (under ~/.config), {mail} the Local
# Folders' maildir. KMail's first start would look for other mail programs'
# data, and its preview pane would fetch a phishing database from the net.
CONFIG = {
    'akonadi/akonadiserverrc': '[%General]\nDriver={driver}\n',
    'akonadi/agentsrc': '[Instances]\nakonadi_maildir_resource_0\\AgentType=akonadi_maildir_resource\n'
                        '[InstanceCounters]\nakonadi_maildir_resource\\InstanceCounter=1\n',
    'akonadi_maildir_resource_0rc': '[General]\nPath={mail}\nTopLevelIsContainer=true\n',
    'specialmailcollectionsrc': '[SpecialCollections]\nDefaultResourceId=akonadi_maildir_resource_0\n',
    'kmail2rc': '[General]\nfirst-start=false\n[Geometry]\nreaderWindowMode=hide\n',
}

# Kills, once its standard input closes (we are done, or killed), every
# process whose environment carries the run's tag (argv[1]).
GUARD = """import os, signal, sys, time
tag = sys.argv[1].encode()
sys.stdin.buffer.read()
for _ in range(50):
    found = False
    for pid in filter(str.isdigit, os.listdir('/proc')):
        try:
            with open(f'/proc/{pid}/environ', 'rb') as f:
                if tag in f.read().split(b'\\0'):
                    os.kill(int(pid), signal.SIGKILL)
                    found = True
        except OSError:
            pass
    if not found:
        break
    time.sleep(0.1)
"""


def _sqlite_driver():
    """Akonadi's name for its SQLite back end: its own QSQLITE3 plugin up to
    Debian 12, Qt's QSQLITE after."""
    for root, _, files in os.walk('/usr/lib'):
        if root.endswith('/sqldrivers') and 'libqsqlite3.so' in files:
            return 'QSQLITE3'
    return 'QSQLITE'


def _read_line(fd, timeout):
    """A line that a starting server writes to fd (its display, its address)."""
    data, deadline = b'', time.monotonic() + timeout
    with open(fd, 'rb', buffering=0) as f:
        while not data.endswith(b'\n'):
            if not select.select([f], [], [], max(0, deadline - time.monotonic()))[0]:
                raise RuntimeError(f'nothing came within {timeout} s')
            chunk = f.read(256)
            if not chunk:
                raise RuntimeError(f'it ended before it said where it is: {data!r}')
            data += chunk
    return data.decode().strip()


def _addresses(value):
    """An address header with each name decoded, and each address as it
    stands: an encoded word in an address ("=?utf-8?B?...?=@example.de", as
    KMail writes one beyond ASCII) is no address that a server delivers to,
    so it is not decoded as a name is."""
    value = re.sub(r'\r?\n(?=[ \t])', '', str(value))
    written = []
    for name, address in email.utils.getaddresses([value]):
        name = str(email.header.make_header(email.header.decode_header(name))) if name else ''
        if re.search(r'[()<>@,;:\\".\[\]]', name):
            name = '"' + name.replace('\\', '\\\\').replace('"', '\\"') + '"'
        written.append(f'{name} <{address}>' if name else address)
    return ', '.join(written)


def _draft(raw):
    """To, Cc, Subject and body of a draft. To and Cc as their addresses,
    written out again: a decoded name that needs quotes gets them, so that
    "=?UTF-8?Q?M=C3=BCller=2C_Max?=" stays one name: "Müller, Max". The body
    is the first text/plain part in UTF-8, as its recipient reads it (KMail
    sends a text in the first of us-ascii, iso-8859-1 and utf-8 that holds it)."""
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    fields = {name: _addresses(email.message_from_bytes(raw).get(name, ''))
              for name in ('to', 'cc')}
    fields['subject'] = str(msg.get('subject', ''))
    part = next((p for p in msg.walk() if p.get_content_type() == 'text/plain'), None)
    body = part.get_payload(decode=True) if part else b''
    charset = part.get_content_charset('us-ascii') if part else 'us-ascii'
    if charset not in ('us-ascii', 'utf-8'):
        with contextlib.suppress(LookupError):
            body = body.decode(charset, 'replace').encode()
    return dict(fields, body=body)


class KMail:
    """A KMail of its own under home (made anew), started by start() and
    ended by stop(); compose() hands it one link at a time."""

    def __init__(self, home, timeout=TIMEOUT):
        self.home, self.timeout = os.path.abspath(home), timeout
        self.procs, self.guard, self.run_dir, self.kmail = [], None, None, None
        self.needs_start = True  # before the first link, and after one that went wrong

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        for attempt in range(START_ATTEMPTS):
            try:
                self._start()
                self.needs_start = False
                return
            except (RuntimeError, TimeoutError):
                self.stop()
                if attempt == START_ATTEMPTS - 1:
                    raise
            except BaseException:
                self.stop()
                raise

    def _start(self):
        shutil.rmtree(self.home, ignore_errors=True)
        self.mail = os.path.join(self.home, '.local', 'share', 'local-mail')
        self.drafts = os.path.join(self.mail, 'drafts')
        config = os.path.join(self.home, '.config')
        os.makedirs(os.path.join(config, 'akonadi'))
        for name, text in CONFIG.items():
            with open(os.path.join(config, name), 'w') as f:
                f.write(text.format(driver=_sqlite_driver(), mail=self.mail))
        # Unix sockets (the bus, Akonadi's) go here: a short path.
        self.run_dir = tempfile.mkdtemp(prefix='kmail-')
        token = secrets.token_hex(8)
        self.guard = subprocess.Popen(
            [sys.executable, '-c', GUARD, f'{TAG}={token}'], stdin=subprocess.PIPE,
            start_new_session=True)
        self.env = {'HOME': self.home, 'PATH': '/usr/bin:/bin', 'LANG': 'C.UTF-8', 'TZ': 'UTC',
                    'TMPDIR': self.run_dir, 'XDG_RUNTIME_DIR': self.run_dir, TAG: token}
        if os.geteuid() == 0:
            self.env['QTWEBENGINE_DISABLE_SANDBOX'] = '1'  # Chromium's sandbox refuses root

        display = self._server(['Xvfb', '-screen', '0', '1280x1024x24', '-nolisten', 'tcp',
                                '-displayfd', '{fd}'], 'xvfb.log')
        self.env['DISPLAY'] = ':' + display
        self.env['DBUS_SESSION_BUS_ADDRESS'] = self._server(
            ['dbus-daemon', '--session', '--nofork',
             f'--address=unix:path={self.run_dir}/bus', '--print-address={fd}'], 'dbus.log')
        # Akonadi first, with the Local Folders' maildir resource set up
        # beforehand. Where KMail's first start has Akonadi make it, Akonadi
        # configures it too late now and then, and the folders land
        # elsewhere; or the drafts folder never comes, or the first draft is
        # never saved (8 starts in 20 here). Akonadi's mail dispatcher
        # makes the outbox once the resource is up; KMail then makes the
        # drafts folder beside it.
        self._spawn(['akonadictl', 'start'], 'akonadi.log')
        self._wait(lambda: os.path.isdir(os.path.join(self.mail, 'outbox', 'cur')),
                   START_TIMEOUT, "Akonadi's outbox")
        self.kmail = self._spawn(['kmail'], 'kmail.log')
        self._wait(lambda: os.path.isdir(os.path.join(self.drafts, 'cur')) and self._call(
            'org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus.NameHasOwner',
            f'string:{SERVICE}').endswith('true'), START_TIMEOUT, 'KMail and its drafts folder')
        # A draft that is no link's first: a KMail that saves none fails
        # here, as a start, not as some link's result.
        self._compose('mailto:start@example.invalid?subject=start', START_TIMEOUT)

    def _spawn(self, argv, log, **kwargs):
        with open(os.path.join(self.home, log), 'ab') as f:
            proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=f, stderr=f,
                                    env=self.env, cwd=self.home, start_new_session=True,
                                    **kwargs)
        self.procs.append(proc)
        return proc

    def _server(self, argv, log):
        """Starts a server that writes where it is to the descriptor that
        stands as {fd} in argv, and returns what it wrote."""
        read, write = os.pipe()
        try:
            self._spawn([arg.format(fd=write) for arg in argv], log, pass_fds=(write,))
        finally:
            os.close(write)
        try:
            return _read_line(read, 30)
        except RuntimeError as e:
            raise RuntimeError(f'{argv[0]}: {e}') from None

    def stop(self):
        for proc in self.procs:
            with contextlib.suppress(ProcessLookupError):
                os.killpg(proc.pid, signal.SIGKILL)
        if self.guard:
            self.guard.communicate()  # it kills what the groups left (Akonadi detaches)
        for proc in self.procs:
            proc.wait()
        self.procs, self.guard, self.kmail = [], None, None
        if self.run_dir:
            shutil.rmtree(self.run_dir, ignore_errors=True)
            self.run_dir = None

    def _call(self, dest, path, method, *args):
        """A D-Bus method's reply as dbus-send prints it; '' for an error."""
        try:
            done = subprocess.run(['dbus-send', '--session', '--print-reply', f'--dest={dest}',
                                   path, method, *args], env=self.env, capture_output=True,
                                  timeout=10)
        except subprocess.TimeoutExpired:
            return ''
        return done.stdout.decode('utf-8', 'replace').strip() if done.returncode == 0 else ''

    def _composers(self):
        xml = self._call(SERVICE, WINDOWS, 'org.freedesktop.DBus.Introspectable.Introspect')
        return [f'{WINDOWS}/{name}' for name in re.findall(r'<node name="([^"]+)"', xml)
                if COMPOSER.match(name)]

    def _wait(self, ready, timeout, what):
        deadline = time.monotonic() + timeout
        while not (result := ready()):
            if self.kmail and self.kmail.poll() is not None:
                raise RuntimeError(f'KMail ended (exit {self.kmail.returncode}) '
                                   f'while waiting for {what}')
            if time.monotonic() > deadline:
                raise TimeoutError(f'no {what} within {timeout} s')
            time.sleep(0.05)
        return result

    def _messages(self):
        """The drafts, by their maildir names (which a change of flags does
        not change)."""
        found = {}
        for sub in ('new', 'cur'):
            folder = os.path.join(self.drafts, sub)
            found.update((name.split(':')[0], os.path.join(folder, name))
                         for name in os.listdir(folder))
        return found

    def compose(self, url):
        """A dict of what KMail composed for url, or a string: why nothing.
        KMail is started first where it has not run yet, and anew after a
        link that went wrong (it may still save that draft, late). Raises
        RuntimeError or TimeoutError where it does not start."""
        if self.needs_start:
            self.stop()
            self.start()
        try:
            return self._compose(url, self.timeout)
        except (RuntimeError, TimeoutError) as e:
            self.needs_start = True
            return f'KMail: {e}'

    def _compose(self, url, timeout):
        if self._composers():
            raise RuntimeError('a composer was open before the link')
        before = self._messages()
        launcher = self._spawn(['kmail', '-qwindowtitle', 'KMail', url], 'launcher.log')
        composers = self._wait(self._composers, timeout, 'composer')
        if len(composers) > 1:
            raise RuntimeError(f'KMail opened {len(composers)} composers')
        # A composer may come on the bus before its actions do: until then
        # activateAction answers false, so it is asked again.
        self._wait(lambda: self._call(SERVICE, composers[0], 'org.kde.KMainWindow.activateAction',
                                      'string:save_in_drafts').endswith('true'),
                   timeout, '"Save as Draft" in the composer')
        new = self._wait(lambda: set(self._messages()) - set(before), timeout, 'draft')
        self._wait(lambda: not self._composers(), timeout, 'closing of the composer')
        self._wait(lambda: launcher.poll() is not None, timeout, 'end of kmail URL')
        self.procs.remove(launcher)  # reaped: its group id may come again
        if len(new) > 1:
            raise RuntimeError(f'KMail saved {len(new)} messages')
        with open(self._messages()[new.pop()], 'rb') as f:
            return _draft(f.read())


def compose_all(urls, workdir, timeout=TIMEOUT):
    """Per URL a dict (to, cc, subject: the draft's header fields, decoded;
    body: bytes) or a string: why KMail composed nothing. One KMail for all
    links, started anew after one that went wrong, which is tried once more."""
    results = []
    with KMail(os.path.join(os.path.abspath(workdir), 'kmail'), timeout) as kmail:
        for url in urls:
            try:
                result = kmail.compose(url)
                if isinstance(result, str):
                    # Once more in a KMail started anew: a draft may get
                    # lost soon after a start (the first link after 2
                    # starts in 45 here).
                    result = kmail.compose(url)
                results.append(result)
            except (RuntimeError, TimeoutError) as e:
                return results + [f'KMail did not start: {e}'] * (len(urls) - len(results))
    return results


def main():
    """URLs as arguments (or from standard input, one a line): a line of
    JSON for each, and the seconds each took on standard error."""
    urls = sys.argv[1:] or [line.rstrip('\n') for line in sys.stdin if line.strip()]
    with tempfile.TemporaryDirectory() as tmp, KMail(os.path.join(tmp, 'kmail')) as kmail:
        for url in urls:
            if kmail.needs_start:
                start = time.monotonic()
                kmail.start()
                print(f'{time.monotonic() - start:.2f} s: KMail started', file=sys.stderr)
            start = time.monotonic()
            result = kmail.compose(url)
            print(f'{time.monotonic() - start:.2f} s: {url}', file=sys.stderr, flush=True)
            if isinstance(result, dict):
                result = dict(result, body=repr(result['body']))  # exact bytes, readable
            print(json.dumps({'url': url, 'kmail': result}, ensure_ascii=False), flush=True)


if __name__ == '__main__':
    main()
