"""Hands mailto links to Debian's thunderbird, headless, and reads back what
it composed.

A few Thunderbirds share the links, each with a throwaway profile: offline,
no SMTP server, one POP3 account on a host that does not exist (with no
default identity Thunderbird opens no compose window at all). Each is driven
over Marionette, in the chrome context: a link is opened as Thunderbird's
command line opens it, the compose window is saved as a draft into Local
Folders (the message as it would be sent) and closed. Nothing is sent, and
each Thunderbird's whole process group is killed at the end.
"""
import concurrent.futures
import contextlib
import email
import email.header
import email.policy
import json
import os
import shutil
import signal
import socket
import subprocess
import time

USER_JS = '''\
user_pref("marionette.port", 0);
user_pref("offline.startup_state", 3);
user_pref("mail.smtpservers", "");
user_pref("mail.accountmanager.accounts", "account1,account2");
user_pref("mail.accountmanager.defaultaccount", "account1");
user_pref("mail.accountmanager.localfoldersserver", "server2");
user_pref("mail.account.account1.server", "server1");
user_pref("mail.account.account1.identities", "id1");
user_pref("mail.account.account2.server", "server2");
user_pref("mail.server.server1.type", "pop3");
user_pref("mail.server.server1.hostname", "pop.example.invalid");
user_pref("mail.server.server1.userName", "max");
user_pref("mail.server.server1.check_new_mail", false);
user_pref("mail.server.server2.type", "none");
user_pref("mail.server.server2.hostname", "Local Folders");
user_pref("mail.server.server2.userName", "nobody");
user_pref("mail.identity.id1.fullName", "Tester");
user_pref("mail.identity.id1.useremail", "tester@example.invalid");
user_pref("mail.identity.id1.compose_html", false);
user_pref("mail.identity.id1.fcc", false);
user_pref("mail.identity.id1.draft_folder", "mailbox://nobody@Local%20Folders/Drafts");
user_pref("mail.identity.id1.showSaveMsgDlg", false);
user_pref("app.update.auto", false);
user_pref("toolkit.telemetry.enabled", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("datareporting.healthreport.uploadEnabled", false);
user_pref("mailnews.start_page.enabled", false);
user_pref("mail.shell.checkDefaultClient", false);
user_pref("mail.spellcheck.inline", false);
user_pref("mail.compose.autosave", false);
'''

# Runs in Thunderbird's main window, one link at a time: a dict of what
# the compose window shows, or a string that says why there is none.
COMPOSE = r'''return (async (href, timeout) => {
const sleep = ms => new Promise(r => window.setTimeout(r, ms));
const { openURI } = ChromeUtils.importESModule(
  "resource:///modules/MessengerContentHandler.sys.mjs");
const open = new Set(Services.wm.getEnumerator("msgcompose"));
try {
  openURI(Services.io.newURI(href));
} catch (e) {
  return `Thunderbird refused the link: ${e.message}`;
}
const deadline = Date.now() + timeout;
let win;
while (!win?.composeEditorReady) {
  if (Date.now() > deadline) return "Thunderbird opened no compose window";
  win = [...Services.wm.getEnumerator("msgcompose")].find(w => !open.has(w));
  await sleep(10);
}
try {
  await new Promise((resolve, reject) => {
    const listener = {
      NotifyComposeFieldsReady() {}, NotifyComposeBodyReady() {},
      SaveInFolderDone() {},
      ComposeProcessDone(status) {
        win.gMsgCompose.UnregisterStateListener(listener);
        status ? reject(new Error(`saving the draft failed: ${status}`)) : resolve();
      },
    };
    win.gMsgCompose.RegisterStateListener(listener);
    win.SaveAsDraft();
  });
  return { to: [...win.document.querySelectorAll("#toAddrContainer mail-address-pill")].map(
    p => [p.displayName, p.emailAddress, p.isValidAddress(p.emailAddress)]) };
} finally {
  win.close();
}
})(...arguments);'''


class Marionette:
    """Marionette's protocol: each packet is its length, ':' and JSON."""

    def __init__(self, port):
        self.sock = socket.create_connection(('127.0.0.1', port), timeout=60)
        self.buffer, self.id = b'', 0
        self._packet()  # the server's greeting

    def _packet(self):
        while b':' not in self.buffer:
            self._read()
        length, _, self.buffer = self.buffer.partition(b':')
        while len(self.buffer) < int(length):
            self._read()
        packet, self.buffer = self.buffer[:int(length)], self.buffer[int(length):]
        return json.loads(packet)

    def _read(self):
        data = self.sock.recv(65536)
        if not data:
            raise ConnectionError('Thunderbird closed the Marionette connection')
        self.buffer += data

    def call(self, command, params):
        self.id += 1
        packet = json.dumps([0, self.id, command, params]).encode()
        self.sock.sendall(b'%d:%s' % (len(packet), packet))
        _, _, error, result = self._packet()
        if error:
            raise RuntimeError(f'{command}: {error}')
        return result


def _start(profile):
    os.makedirs(profile)
    with open(os.path.join(profile, 'user.js'), 'w') as f:
        f.write(USER_JS)
    home = os.path.dirname(profile)
    env = {'HOME': home, 'TMPDIR': home, 'LANG': 'C.UTF-8', 'PATH': '/usr/bin:/bin',
           'TZ': 'UTC', 'MOZ_CRASHREPORTER_DISABLE': '1'}
    with open(os.path.join(home, 'thunderbird.log'), 'wb') as log:
        return subprocess.Popen(
            ['thunderbird', '--headless', '--marionette', '-remote-allow-system-access',
             '-no-remote', '-profile', profile],
            stdin=subprocess.DEVNULL, stdout=log, stderr=log, env=env, cwd=home,
            start_new_session=True)


def _connect(profile, proc, timeout=60):
    """Marionette, once Thunderbird has written its port into the profile."""
    path, deadline = os.path.join(profile, 'MarionetteActivePort'), time.monotonic() + timeout
    while not os.path.exists(path) or not open(path).read().strip():
        if proc.poll() is not None or time.monotonic() > deadline:
            raise RuntimeError(f'Thunderbird started no Marionette (exit {proc.poll()})')
        time.sleep(0.05)
    client = Marionette(int(open(path).read()))
    client.call('WebDriver:NewSession', {'capabilities': {}})
    client.call('Marionette:SetContext', {'value': 'chrome'})
    client.call('WebDriver:SetTimeouts', {'script': 60000})
    return client


def _unflowed(body):
    """A format=flowed body (RFC 3676) as the recipient reads it: a line
    that ends in a blank goes on in the next, a leading blank is stuffing."""
    lines = [line[1:] if line.startswith(b' ') else line for line in body.split(b'\r\n')]
    return b''.join(line if line.endswith(b' ') and line != b'-- ' else line + b'\r\n'
                    for line in lines[:-1]) + lines[-1]


def _draft(raw):
    """Cc, Subject and body of the draft that Thunderbird appended to the
    mbox file: its From_ line first, and an empty line after it."""
    raw = raw.split(b'\n', 1)[1].removesuffix(b'\r\n')
    msg = email.message_from_bytes(raw, policy=email.policy.compat32)
    header = lambda name: str(email.header.make_header(
        email.header.decode_header(msg.get(name, ''))))
    part = next((p for p in msg.walk() if p.get_content_type() == 'text/plain'), None)
    body = part.get_payload(decode=True) if part else b''
    if part and part.get_param('format') == 'flowed':
        body = _unflowed(body)
    return {'cc': header('Cc'), 'subject': header('Subject'), 'body': body}


def _compose_each(urls, home, timeout):
    """Every URL in turn, in one Thunderbird with its profile under home."""
    profile = os.path.join(home, 'profile')
    shutil.rmtree(home, ignore_errors=True)
    proc = _start(profile)
    try:
        client = _connect(profile, proc)
        drafts = os.path.join(profile, 'Mail', 'Local Folders', 'Drafts')
        results = []
        for url in urls:
            start = os.path.getsize(drafts) if os.path.exists(drafts) else 0
            try:
                shown = client.call('WebDriver:ExecuteScript',
                                    {'script': COMPOSE, 'args': [url, timeout]})['value']
            except RuntimeError as e:
                shown = str(e)
            if isinstance(shown, dict):
                with open(drafts, 'rb') as f:
                    f.seek(start)
                    shown.update(_draft(f.read()))
            results.append(shown)
        return results
    finally:  # Thunderbird and whatever it started
        with contextlib.suppress(ProcessLookupError):
            os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()


def compose_all(urls, workdir, jobs=min(os.cpu_count() or 2, 4), timeout=20000):
    """Per URL a dict (to: the address pills as [name, address, valid];
    cc, subject and body: as in the saved draft) or a string: why
    Thunderbird composed nothing. A Thunderbird per core, four at most."""
    workdir = os.path.abspath(workdir)
    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        shares = list(pool.map(
            lambda i: _compose_each(urls[i::jobs], os.path.join(workdir, f'thunderbird{i}'),
                                    timeout), range(jobs)))
    results = [None] * len(urls)
    for i, share in enumerate(shares):
        results[i::jobs] = share
    return results

