#!/usr/bin/env python3
"""Drives the built executable as a user would: exit statuses, the report,
the link on files and standard streams, and which files a run may touch.

The same tests run against the native build and, with --wineprefix, against
the Windows build under Wine, where text streams turn LF into CR LF."""

import argparse
import ctypes
import os
import random
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse

HELP_START = b"\n ************************\n ***   Kuvertpfeil    ***\n"
HELP_END = b" Optionen (durch Leerzeichen getrennt):\n  -h\tHTML-Grundgeruest erzeugen\n  \n"


class Platform:
    """How the executable is started, and what its text streams do."""

    def __init__(self, exe, wineprefix=None):
        self.exe = os.path.abspath(exe)
        self.windows = wineprefix is not None
        self.prefix, self.env, self.shown_path = [], None, self.exe
        if self.windows:
            self.prefix = [shutil.which("wine") or "wine"]
            # Wine reads the arguments' bytes in the locale's character set.
            self.env = dict(os.environ, WINEDEBUG="-all", LC_ALL="C.UTF-8",
                            WINEPREFIX=os.path.abspath(wineprefix))
            # The Windows start-up names the program by its path on Wine's Z: drive.
            self.shown_path = "Z:" + self.exe.replace("/", "\\")

    def command(self, args):
        return [*self.prefix, self.exe, *args]

    def text(self, data):
        """What the program's text output looks like on this platform."""
        return data.replace(b"\n", b"\r\n") if self.windows else data


TOOL = None  # set from the command line

# The note on an argument after the fifth that is not "-h", and its three
# endings: a try at the option, a shifted line (with the target taken), and
# neither.
def unused(position, argument, ending):
    return b' Hinweis: Argument %d "%s" wurde nicht verwendet%s' % (position, argument, ending)


AS_OPTION = (b": die Option fuer eine ganze HTML-Seite wird -h geschrieben, mit Bindestrich und "
             b"kleinem h.\n")
SHIFTED = (b'; als Zieldatei gilt das fuenfte Argument "%s". Wahrscheinlich fehlen '
           b"Anfuehrungszeichen: Argumente mit Leerzeichen muessen in Anfuehrungszeichen "
           b"eingeschlossen werden.\n")
ONLY_THE_OPTION = b": nach den fuenf Argumenten nimmt das Programm nur die Option -h.\n"
KEPT = (b" Fehler 7: Zieldatei %s wurde nicht ueberschrieben, weil die Argumente verschoben "
        b"oder vertauscht aussehen.\n\n")


def link(name, address, subject, body):
    return TOOL.text(b'<a href="mailto:%s <%s>?subject=%s&body=%s">\nNachricht an %s\n</a>\n'
                     % (name, address, subject, body, name))


def body_of(output):
    """The encoded body: it never holds a quote or ">", both being escaped."""
    start = output.index(b"&body=") + len(b"&body=")
    return output[start:output.index(b'">', start)]


class CliTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kuvertpfeil-cli-")
        self.addCleanup(shutil.rmtree, self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def run_tool(self, *args, stdin=b"", stdin_file=None, stdout_file=None, closed=()):
        """Runs in the scratch folder, with the standard descriptors in closed
        closed; returns (status, stdout, stderr)."""
        # os.open, not open(): standard input may be a directory too.
        stdin_stream = os.open(self.path(stdin_file), os.O_RDONLY) if stdin_file else subprocess.PIPE
        stdout_stream = open(self.path(stdout_file), "ab") if stdout_file else subprocess.PIPE
        try:
            proc = subprocess.Popen(TOOL.command(args), cwd=self.dir, env=TOOL.env,
                                    stdin=stdin_stream, stdout=stdout_stream,
                                    stderr=subprocess.PIPE,
                                    preexec_fn=lambda: [os.close(fd) for fd in closed])
            out, err = proc.communicate(None if stdin_file else stdin, timeout=120)
        finally:
            if stdin_file:
                os.close(stdin_stream)
            if stdout_file:
                stdout_stream.close()
        return proc.returncode, out, err

    def require_posix(self, why):
        if TOOL.windows:
            self.skipTest(why)

    def assert_report(self, out, error_line):
        self.assertTrue(out.startswith(TOOL.text(HELP_START)), out[:80])
        self.assertTrue(out.endswith(TOOL.text(HELP_END + error_line)), out[-200:])
        self.assertIn(b" Syntax: " + TOOL.shown_path.encode() + b" <Empfaengername>", out)


class Failures(CliTest):
    def test_argument_counts(self):
        cases = [
            ([], 1, b""),
            (["N"], 2, b" Fehler 1: Bitte mindestens 5 Argumente angeben.\n\n"),
            (["N", "A", "S", "-"], 2, b" Fehler 1: Bitte mindestens 5 Argumente angeben.\n\n"),
            (["-h"], 2, b" Fehler 1: Bitte mindestens 5 Argumente angeben.\n\n"),
        ]
        for args, status, error_line in cases:
            with self.subTest(args=args):
                code, out, _ = self.run_tool(*args)
                self.assertEqual(code, status)
                self.assert_report(out, error_line)
                self.assertEqual(os.listdir(self.dir), [])

    def test_files_that_cannot_be_used(self):
        long_name = "m" * 120 + ".txt"
        name_100 = "n" * 96 + ".txt"  # the first length that no longer fits
        os.mkdir(self.path("folder"))
        for name in ("msg.txt", long_name, long_name[:99], name_100, name_100[:99]):
            self.write(name, b"Nachricht\n")
        os.symlink("msg.txt", self.path("link-to-msg.txt"))
        os.link(self.path("msg.txt"), self.path("hard-msg.txt"))
        too_long = (b" Hinweis: Der Name der %s ist laenger als 99 Bytes; so lange Namen oeffnet das "
                    b"Programm nicht. Geben Sie einen kuerzeren Pfad an.\n")
        folder = b' Hinweis: "folder" ist ein Ordner, keine Datei. Geben Sie als '
        no_folder = b" Pruefen Sie den Pfad.\n"
        cases = [
            # source, target, status, what the report names, the note after it
            ("nix.txt", "out.html", 4, b" Fehler 2: Quelldatei nix.txt existiert nicht.\n\n", b""),
            ("folder", "out.html", 4, b" Fehler 2: Quelldatei folder existiert nicht.\n\n",
             folder + b"Quelldatei die Datei mit der Nachricht an.\n"),
            ("kein/msg.txt", "out.html", 4,
             b" Fehler 2: Quelldatei kein/msg.txt existiert nicht.\n\n",
             b' Hinweis: Den Ordner "kein" im Pfad der Quelldatei gibt es nicht.' + no_folder),
            (long_name, "out.html", 4,
             b" Fehler 2: Quelldatei %s existiert nicht.\n\n" % long_name.encode(),
             too_long % b"Quelldatei"),
            (name_100, "out.html", 4,
             b" Fehler 2: Quelldatei %s existiert nicht.\n\n" % name_100.encode(),
             too_long % b"Quelldatei"),
            # two long names alike in their first 99 bytes: never compared cut
            (long_name, long_name[:-4] + ".htm", 4,
             b" Fehler 2: Quelldatei %s existiert nicht.\n\n" % long_name.encode(),
             too_long % b"Quelldatei"),
            ("msg.txt", "kein/ordner/out.html", 8,
             b" Fehler 3: Zieldatei kein/ordner/out.html konnte nicht geoeffnet werden.\n\n",
             b' Hinweis: Den Ordner "kein" im Pfad der Zieldatei gibt es nicht.' + no_folder),
            ("msg.txt", "msg.txt/out.html", 8,
             b" Fehler 3: Zieldatei msg.txt/out.html konnte nicht geoeffnet werden.\n\n",
             b' Hinweis: "msg.txt" im Pfad der Zieldatei ist kein Ordner.' + no_folder),
            ("msg.txt", "folder", 8,
             b" Fehler 3: Zieldatei folder konnte nicht geoeffnet werden.\n\n",
             folder + b"Zieldatei den Namen einer Datei an.\n"),
            ("msg.txt", long_name, 8,
             b" Fehler 3: Zieldatei %s konnte nicht geoeffnet werden.\n\n" % long_name.encode(),
             too_long % b"Zieldatei"),
            ("msg.txt", name_100, 8,
             b" Fehler 3: Zieldatei %s konnte nicht geoeffnet werden.\n\n" % name_100.encode(),
             too_long % b"Zieldatei"),
            # the names are compared before the source is looked for
            ("nix.txt", "nix.txt", 16,
             b" Fehler 4: Quelldatei nix.txt und Zieldatei sind identisch.\n\n", b""),
            ("msg.txt", "msg.txt", 16,
             b" Fehler 4: Quelldatei msg.txt und Zieldatei sind identisch.\n\n", b""),
            ("msg.txt", "./msg.txt", 16,
             b" Fehler 4: Quelldatei msg.txt und Zieldatei sind identisch.\n\n", b""),
            ("msg.txt", "link-to-msg.txt", 16,
             b" Fehler 4: Quelldatei msg.txt und Zieldatei sind identisch.\n\n", b""),
            ("hard-msg.txt", "msg.txt", 16,
             b" Fehler 4: Quelldatei hard-msg.txt und Zieldatei sind identisch.\n\n", b""),
        ]
        if not TOOL.windows:
            cases.append(("msg.txt", "/dev/null/x.html", 8,
                          b" Fehler 3: Zieldatei /dev/null/x.html konnte nicht geoeffnet werden.\n\n",
                          b' Hinweis: "/dev/null" im Pfad der Zieldatei ist kein Ordner.' + no_folder))
        before = {name: self.read(name) for name in os.listdir(self.dir)
                  if os.path.isfile(self.path(name))}
        for source, target, status, error_line, note in cases:
            with self.subTest(source=source, target=target):
                code, out, err = self.run_tool("N", "A", "S", source, target)
                self.assertEqual(code, status)
                self.assert_report(out, error_line)
                self.assertEqual(err, TOOL.text(note))
                self.assertFalse(os.path.exists(self.path("out.html")))
                after = {name: self.read(name) for name in os.listdir(self.dir)
                         if os.path.isfile(self.path(name))}
                self.assertEqual(after, before)

    def test_files_the_user_may_not_open(self):
        self.require_posix("drops its privileges with setpriv")
        if os.geteuid() != 0 or not shutil.which("setpriv"):
            self.skipTest("needs root and setpriv to run as another user")
        os.chmod(self.dir, 0o755)
        self.write("msg.txt", b"Hallo\n")
        self.write("secret.txt", b"geheim\n")
        os.chmod(self.path("secret.txt"), 0o600)
        # the program's own link, but one the user may write and not read
        own_link = b'<a href="mailto:N <A>?subject=S&body=">\nNachricht an N\n</a>\n'
        self.write("link.html", own_link)
        os.chown(self.path("link.html"), 65534, 65534)
        os.chmod(self.path("link.html"), 0o200)
        nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"]
        # In a chroot whose root only root may enter, no other user can run it.
        probe = subprocess.run([*nobody, TOOL.exe], capture_output=True, timeout=60)
        if probe.returncode == 127:
            self.skipTest(f"another user cannot run the program here: {probe.stderr!r}")
        shifted = (b' Hinweis: Argument 6 "x" wurde nicht verwendet; als Zieldatei gilt das fuenfte '
                   b'Argument "link.html". Wahrscheinlich fehlen Anfuehrungszeichen: Argumente mit '
                   b'Leerzeichen muessen in Anfuehrungszeichen eingeschlossen werden.\n')
        cases = [
            (["secret.txt", "-"], 4, b" Fehler 2: Quelldatei secret.txt existiert nicht.\n\n",
             b" Hinweis: Das Programm darf die Quelldatei nicht lesen (keine Berechtigung). "
             b"Pruefen Sie die Zugriffsrechte.\n"),
            (["msg.txt", "out.html"], 8,
             b" Fehler 3: Zieldatei out.html konnte nicht geoeffnet werden.\n\n",
             b" Hinweis: Das Programm darf die Zieldatei nicht schreiben (keine Berechtigung). "
             b"Pruefen Sie die Zugriffsrechte.\n"),
            # a target that cannot be read counts as none of the program's own
            (["msg.txt", "link.html", "x"], 128,
             b" Fehler 7: Zieldatei link.html wurde nicht ueberschrieben, weil die Argumente "
             b"verschoben oder vertauscht aussehen.\n\n", shifted),
        ]
        for args, status, error_line, note in cases:
            with self.subTest(args=args):
                proc = subprocess.run([*nobody, TOOL.exe, "N", "A", "S", *args], cwd=self.dir,
                                      capture_output=True, timeout=60)
                self.assertEqual((proc.returncode, proc.stderr), (status, note))
                self.assert_report(proc.stdout, error_line)
        self.assertEqual(os.stat(self.path("link.html")).st_size, len(own_link))
        self.assertFalse(os.path.exists(self.path("out.html")))

    def test_standard_stream_that_is_the_named_file(self):
        self.write("msg.txt", b"Nachricht\n")
        code, out, _ = self.run_tool("N", "A", "S", "-", "msg.txt", stdin_file="msg.txt")
        self.assertEqual(code, 16)
        self.assert_report(out, b" Fehler 4: Quelldatei - und Zieldatei sind identisch.\n\n")
        self.assertEqual(self.read("msg.txt"), b"Nachricht\n")

        code, _, _ = self.run_tool("N", "A", "S", "msg.txt", "-", stdout_file="msg.txt")
        self.assertEqual(code, 16)
        kept = self.read("msg.txt")  # the report lands after the message
        self.assertTrue(kept.startswith(b"Nachricht\n") and kept.endswith(TOOL.text(
            b" Fehler 4: Quelldatei msg.txt und Zieldatei sind identisch.\n\n")), kept[-80:])

        # A stream that is no regular file, or another file, is never the named file.
        null = "NUL" if TOOL.windows else "/dev/null"
        self.write("other.txt", b"Anderes\n")
        cases = [(["-", null], "/dev/null", None), ([null, "-"], None, "/dev/null"),
                 (["-", "msg.txt"], None, None), (["other.txt", "-"], None, "msg.txt"),
                 (["-", "other.txt"], "msg.txt", None)]
        for args, stdin_file, stdout_file in cases:
            with self.subTest(args=args):
                code, _, _ = self.run_tool("N", "A", "S", *args, stdin_file=stdin_file,
                                           stdout_file=stdout_file)
                self.assertEqual(code, 0)

    def test_closed_standard_streams(self):
        # As a cron job or a daemon may start it. Under Wine, a closed standard
        # output takes Wine's own pipe to its number, so only input is closed there.
        self.write("msg.txt", b"Hallo\n")
        self.write("keep.html", b"alt\n")
        cases = [(["-", "keep.html"], (0,), 4), (["msg.txt", "out.html"], (0, 1, 2), 0)]
        if not TOOL.windows:
            cases += [(["-", "keep.html"], (0, 1, 2), 4), (["msg.txt", "-"], (1,), 8),
                      (["-", "-"], (0, 1), 4)]
        # "50%" gets a note, which must not land in a target that took the
        # closed standard error's number. Under Wine a closed descriptor
        # takes one of Wine's own pipes, which a note would garble.
        subject = "S" if TOOL.windows else "50%"
        for args, closed, status in cases:
            with self.subTest(args=args, closed=closed):
                code, _, _ = self.run_tool("N", "a@b.de", subject, *args, closed=closed)
                self.assertEqual(code, status)
                self.assertEqual(self.read("keep.html"), b"alt\n")
        self.assertEqual(self.read("out.html"),
                         link(b"N", b"a@b.de", subject.encode(), b"Hallo%0a"))

    def test_target_never_takes_closed_standard_errors_place(self):
        self.require_posix("reads /proc")
        # While the run waits for its message, standard error must be the null
        # device, not the target: a note then would land in the link.
        os.mkfifo(self.path("msg.fifo"))
        proc = subprocess.Popen(TOOL.command(["N", "a@b.de", "50%", "msg.fifo", "out.html"]),
                                cwd=self.dir, stdout=subprocess.DEVNULL,
                                preexec_fn=lambda: os.close(2))
        with open(self.path("msg.fifo"), "wb") as message:
            # The link goes into a new file beside the target first.
            while len(os.listdir(self.dir)) < 2 and proc.poll() is None:
                time.sleep(0.01)
            self.assertEqual(os.readlink(f"/proc/{proc.pid}/fd/2"), "/dev/null")
            message.write(b"Hallo\n")
        self.assertEqual(proc.wait(timeout=60), 0)
        self.assertEqual(self.read("out.html"), link(b"N", b"a@b.de", b"50%", b"Hallo%0a"))

    def test_directory_as_standard_input(self):
        self.require_posix("a directory as standard input")
        os.mkdir(self.path("folder"))
        self.write("out.html", b"alt\n")
        code, out, _ = self.run_tool("N", "A", "S", "-", "out.html", stdin_file="folder")
        self.assertEqual(code, 4)
        self.assert_report(out, b" Fehler 2: Quelldatei - existiert nicht.\n\n")
        self.assertEqual(self.read("out.html"), b"alt\n")

    def test_write_failure(self):
        self.require_posix("needs /dev/full")
        self.write("msg.txt", b"Nachricht\n" * 300)  # long enough for the length note
        code, out, err = self.run_tool("N", "A", "S", "msg.txt", "/dev/full")
        self.assertEqual((code, err), (32, b""))  # no note on a failed run
        self.assert_report(out, b" Fehler 5: Zieldatei /dev/full konnte nicht "
                                b"vollstaendig geschrieben werden.\n\n")

    def test_read_failure_still_closes_the_link(self):
        self.require_posix("needs /proc/self/mem")
        code, out, _ = self.run_tool("N", "A", "S", "/proc/self/mem", "-")
        self.assertEqual(code, 64)
        closed = link(b"N", b"A", b"S", b"")
        self.assertEqual(out[:len(closed)], closed)
        self.assert_report(out[len(closed):], b" Fehler 6: Quelldatei /proc/self/mem konnte nicht "
                                              b"vollstaendig gelesen werden.\n\n")

    def test_empty_argument_vector(self):
        self.require_posix("execs without a program path")
        read_end, write_end = os.pipe()
        pid = os.fork()
        if pid == 0:  # child: exec with no program path at all
            os.dup2(write_end, 1)
            libc = ctypes.CDLL(None, use_errno=True)
            libc.execv(TOOL.exe.encode(), (ctypes.c_char_p * 1)(None))
            os._exit(127)
        os.close(write_end)
        with os.fdopen(read_end, "rb") as pipe:
            out = pipe.read()
        _, wait_status = os.waitpid(pid, 0)
        self.assertEqual(os.waitstatus_to_exitcode(wait_status), 1)
        self.assertIn(b" Syntax: kuvertpfeil <Empfaengername>", out)
        self.assertNotIn(b"Fehler", out)


class Links(CliTest):
    def test_message_from_file_to_file(self):
        self.write("msg.txt", b"Hallo\nWelt\n" * 150)
        self.write("out.html", b"old content " * 100)
        code, out, err = self.run_tool('Max "M" <m>', "max@example.com", "50% & mehr",
                                       "msg.txt", "out.html")
        self.assertEqual((code, out), (0, b""))
        self.assertEqual(self.read("out.html"),
                         link(b'Max "M" <m>', b"max@example.com", b"50% & mehr",
                              b"Hallo%0aWelt%0a" * 150))
        # Notes on what breaks the link: name, then subject and its rewrite; the
        # length last.
        starts = [b' Hinweis: Empfaengername enthaelt """', b' Hinweis: Betreffzeile enthaelt "%"',
                  b' Hinweis: Betreffzeile enthaelt "&"',
                  b' Hinweis: Vorschlag fuer Betreffzeile: "50%25 %26 mehr"',
                  b" Hinweis: Der Verweis ist "]
        notes = err.splitlines()
        self.assertEqual(len(notes), len(starts), err)
        for note, start in zip(notes, starts):
            self.assertTrue(note.startswith(start), note)

    def test_message_notes_name_the_byte_at_fault(self):
        # Counted in the bytes as read: on Windows CR LF arrives as one LF.
        nul = b" Hinweis: Nachricht enthaelt an Byte %d ein Nullbyte"
        not_utf8 = b" Hinweis: Nachricht ist ab Byte %d kein gueltiges UTF-8"
        less_than = b' Hinweis: Nachricht enthaelt an Byte %d ein "<"'
        percent = b" Hinweis: Nachricht enthaelt an Byte %d ein %% mit zwei Hexadezimalziffern"
        split = b' Hinweis: Nachricht enthaelt an Byte %d ein "&" mit einem "=" danach'
        cases = [
            # source, message, subject, the notes as they begin, in order
            ("msg.txt", b"Zeile 1\r\nZeile\x002\n", "S", [nul % (14 if TOOL.windows else 15)]),
            ("-", b"Gr\xfc\xdfe aus K\xf6ln\n", "S", [not_utf8 % 3]),
            ("-", b"a\xf0\x8f\xbf\xbf", "S", [not_utf8 % 2]),  # overlong
            ("-", b"Gr\xc3x\xbc", "S", [not_utf8 % 3]),  # cut short by a byte sent as itself
            ("-", b"\xe2\x82a", "S", [not_utf8 % 1]),
            ("-", b"Preis < 10 EUR\n", "S", [less_than % 7]),
            ("-", b"Preis<10 EUR", "S", [less_than % 6]),
            ("-", b"x" * 998, "S", []),  # the longest word Roundcube keeps whole
            ("-", b"Wort " * 1200, "S", [b" Hinweis: Der Verweis ist "]),  # long, no long word
            ("-", b"a\xc3<b <c", "S", [not_utf8 % 2, less_than % 3]),  # the first "<" only
            ("-", b"a > b, 5 >= 3\n", "S", []),
            ("-", b"100%ab Rabatt\n", "S", [percent % 4]),  # KMail decodes it once more
            ("msg.txt", b"a%%41 b%42", "S", [percent % 3]),  # the first only
            ("-", b"x " * 3000 + b"%7e", "S", [percent % 6001, b" Hinweis: Der Verweis ist "]),
            ("-", b"20% Rabatt, 50%\n%4", "S", []),  # a blank, a line feed, the end after it
            ("-", b"&x %41", "S", [b' Hinweis: Nachricht beginnt mit "&": KMail']),  # it only
            ("-", b" &x", "S", []),
            ("-", b"x=1&y & z %41", "S", [percent % 11]),  # no "=" after a "&"
            ("-", b"a & b & c=d & e=f %41", "S", [percent % 19, split % 7]),  # the first split
            ("-", b"ab\x00c", "50% Rabatt",
             [b" Hinweis: Betreffzeile enthaelt", b" Hinweis: Vorschlag fuer", nul % 3]),
        ]
        for source, message, subject, notes in cases:
            with self.subTest(message=message):
                self.write("msg.txt", message)
                code, out, err = self.run_tool("N", "a@b.de", subject, source, "-", stdin=message)
                self.assertEqual(code, 0)
                lines = err.splitlines()
                self.assertEqual([line[:len(note)] for line, note in zip(lines, notes)], notes)
                self.assertEqual(len(lines), len(notes), err)
                self.assertEqual(urllib.parse.unquote_to_bytes(body_of(out)),
                                 message.replace(b"\r\n", b"\n") if TOOL.windows else message)

    def test_message_check_agrees_with_a_strict_decoder(self):
        # Valid pieces, bytes sent as themselves, and faults, shuffled: the
        # notes name where Python's strict UTF-8 decoder stops, and the first NUL.
        pieces = [b"a", b" ", b"\xc3\xa4", b"\xe2\x82\xac", b"\xf0\x9f\x93\xa7", b"\n", b"\xc3",
                  b"\x80", b"\xed\xa0\x80", b"\xf4\x90\x80\x80", b"\xe0\x80\x80", b"\x00"]
        rng = random.Random(11)
        for _ in range(60):
            message = b"".join(rng.choice(pieces[:6] * 8 + pieces[6:]) for _ in range(12))
            with self.subTest(message=message):
                expected = []
                if b"\0" in message:
                    expected.append(b"an Byte %d ein Nullbyte" % (message.index(b"\0") + 1))
                try:
                    message.decode("utf-8")
                except UnicodeDecodeError as error:
                    expected.append(b"ab Byte %d kein gueltiges UTF-8" % (error.start + 1))
                _, _, err = self.run_tool("N", "a@b.de", "S", "-", "-", stdin=message)
                self.assertEqual(re.findall(rb"(an Byte \d+ ein Nullbyte|ab Byte \d+ kein gueltiges UTF-8)",
                                            err), expected)

    def test_standard_streams_and_ignored_arguments(self):
        empty = (b' Hinweis: Empfaengername ist leer: der Verweis (mit -h die Schaltflaeche) zeigt '
                 b'nur "Nachricht an". Geben Sie einen Namen an.\n')
        mark = (b' Hinweis: Nachricht beginnt mit einer unsichtbaren Byte-Order-Mark ("%ef%bb%bf"), '
                b'die das Mailprogramm behaelt. Speichern Sie die Nachricht als UTF-8 ohne BOM.\n')
        cases = [
            # name, further arguments, message, body, notes
            ("N", ["-", "-"], b"Hallo Welt\n", b"Hallo%20Welt%0a", b""),
            ("N", ["-", "-", "x", "-H", "--h", "-h1"], b"\xc3\xa4&#", b"%c3%a4%26%23",
             unused(6, b"x", SHIFTED % b"-") + unused(7, b"-H", AS_OPTION)
             + unused(8, b"--h", AS_OPTION) + unused(9, b"-h1", SHIFTED % b"-")),
            ("N", ["-", "-"], b"", b"", b""),
            ("", ["-", "-"], b"Hallo", b"Hallo", empty),
            (" &#32;\t", ["-", "-"], b"Hallo", b"Hallo", empty),
            ("&nbsp;", ["-", "-"], b"Hallo", b"Hallo", b""),
            ("N", ["-", "-"], b"\xef\xbb\xbfHallo", b"%ef%bb%bfHallo", mark),
            ("N", ["-", "-"], b"Hallo \xef\xbb\xbf", b"Hallo%20%ef%bb%bf", b""),
            ("N", ["-", "-"], b"\xef\xbb\x80Hallo", b"%ef%bb%80Hallo", b""),
            ("N", ["-", "-"], b"\xef\xbb\xbfHallo\xff", b"%ef%bb%bfHallo%ff",
             b" Hinweis: Nachricht ist ab Byte 9 kein gueltiges UTF-8: Mailprogramme zeigen dafuer "
             b"Fragezeichen oder Ersatzzeichen, manche lassen die ganze Nachricht weg. Speichern "
             b"Sie die Nachricht als UTF-8.\n" + mark),
            # a form feed is white space to the page
            ("\f", ["-", "-"], b"Hallo", b"Hallo",
             b' Hinweis: Empfaengername enthaelt "%0c": Mailprogramme zeigen es nicht oder falsch '
             b'an. Lassen Sie es weg.\n' + empty),
        ]
        for name, extra, message, body, notes in cases:
            with self.subTest(name=name, message=message):
                code, out, err = self.run_tool(name, "a@b.de", "S", *extra, stdin=message)
                self.assertEqual((code, err), (0, TOOL.text(notes)))
                self.assertEqual(out, link(name.encode(), b"a@b.de", b"S", body))

    def test_random_binary_message_decodes_back(self):
        message = random.Random(20191121).randbytes(3 * 1024 * 1024)
        expected = message
        if TOOL.windows:  # a text stream: Ctrl-Z would end it, CR LF arrives as LF
            message = message.replace(b"\x1a", b"")
            expected = message.replace(b"\r\n", b"\n")
        self.write("msg.bin", message)
        code, _, _ = self.run_tool("N", "A", "S", "msg.bin", "out.html")
        self.assertEqual(code, 0)
        body = body_of(self.read("out.html"))
        self.assertEqual(urllib.parse.unquote_to_bytes(body), expected)
        self.assertNotIn(b"\n", body)
        self.assertIsNone(re.search(rb"%(?![0-9a-f]{2})", body))  # lower-case escapes only


class PageMode(CliTest):
    MESSAGE = 'Grüße & #1: 100% "zitiert" <b>\nZeile 2\n'.encode() + b"\x00\xff\n"

    def page(self, *args, message=MESSAGE):
        code, out, err = self.run_tool(*args, stdin=message)
        self.assertEqual(code, 0)
        # The message's NUL, 0xFF and "<" get their notes, nothing else does.
        self.assertEqual([n[:20] for n in err.splitlines()], [b" Hinweis: Nachricht "] * (3 if message else 0))
        return out

    def test_which_arguments_switch_page_mode_on(self):
        target_note = (b' Hinweis: Die Seite steht in einer Datei namens "-h": das fuenfte Argument '
                       b'ist immer die Zieldatei. Die Option -h gehoert hinter die fuenf Argumente')
        meant = b'; war "page.html" als Zieldatei gemeint, schreiben Sie: page.html -h\n'
        upper = b'; war "Zeile.html" als Zieldatei gemeint, schreiben Sie: Zeile.html -h\n'
        in_words = (b'; war "mein page.html" als Zieldatei gemeint, schreiben Sie es als fuenftes '
                    b'Argument und -h dahinter.\n')
        cases = [
            # arguments, page mode, the "-h"-target note (None: none)
            (["N", "a@b.de", "S", "-", "-", "-h"], True, None),
            (["N", "a@b.de", "S", "-", "-", "x", "y", "-h"], True, None),
            # a name, address or subject "-h" counts, and stays what it is
            (["-h", "a@b.de", "S", "-", "-"], True, None),
            (["N", "-h", "S", "-", "-"], True, None),
            (["N", "a@b.de", "-h", "-", "-"], True, None),
            (["N", "a@b.de", "S", "-", "-", "-H", "--h", "-h1"], False, None),
            # a target "-h" is a file of that name, with a note naming the
            # first later argument that is not "-h"
            (["N", "a@b.de", "S", "-", "-h"], True, target_note + b".\n"),
            (["N", "a@b.de", "S", "-", "-h", "page.html"], True, target_note + meant),
            (["N", "a@b.de", "S", "-", "-h", "-h", "page.html"], True, target_note + meant),
            (["N", "a@b.de", "S", "-", "-h", "page.html", "x.html"], True, target_note + meant),
            (["N", "a@b.de", "S", "-", "-h", "Zeile.html"], True, target_note + upper),
            # advice to paste only where a shell takes it as it stands
            (["N", "a@b.de", "S", "-", "-h", "mein page.html"], True, target_note + in_words),
            (["N", "a@b.de", "S", "-", "-hx"], False, None),
        ]
        for args, is_page, note in cases:
            with self.subTest(args=args):
                code, out, err = self.run_tool(*args, stdin=self.MESSAGE)  # "-h" is no address
                self.assertEqual(code, 0)
                notes = [line for line in err.splitlines(keepends=True) if b'namens "-h"' in line]
                self.assertEqual(notes, [] if note is None else [TOOL.text(note)])
                if args[4] != "-":
                    out = self.read(args[4])
                    self.assertFalse(os.path.exists(self.path("page.html")))
                    self.assertFalse(os.path.exists(self.path("mein page.html")))
                self.assertEqual(out.startswith(b"<!doctype html public "), is_page)
                self.assertEqual(out.endswith(TOOL.text(b"</div>\n</div>\n\n</body>\n</html>\n")),
                                 is_page)
                self.assertIn(b"mailto:%s <%s>?subject=%s&body=" % tuple(a.encode() for a in args[:3]),
                              out)

    def test_page_carries_the_plain_link_body_and_the_program_path(self):
        plain = self.page("N", "a@b.de", "S", "-", "-")
        page = self.page("N", "a@b.de", "S", "-", "-", "-h")
        self.assertEqual(body_of(page), body_of(plain))
        self.assertIn(TOOL.text(b'<meta name="generator" content="%s 2.3">\n'
                                % TOOL.shown_path.encode()), page)
        self.assertIn(TOOL.text(b"\nKuvertpfeil f&uuml;r Nachricht an N\n"), page)
        empty = self.page("N", "a@b.de", "S", "-", "-", "-h", message=b"")
        self.assertIn(TOOL.text(b'?subject=S&body=">\nNachricht an N\n</a>\n</div>\n</div>\n'),
                      empty)

    def test_program_path_that_breaks_the_head(self):
        folder = os.path.join(self.dir, "Tools & Co")
        os.mkdir(folder)
        program = os.path.join(folder, os.path.basename(TOOL.exe))
        shutil.copy(TOOL.exe, program)
        shown = ("Z:" + program.replace("/", "\\") if TOOL.windows else program).encode()
        note = (b' Hinweis: Das generator-Element im Kopf der Seite zeigt den Programmpfad "%s", '
                b'wie er aufgerufen wurde; dessen "&" zerbricht oder veraendert den Kopf der Seite. '
                b"Rufen Sie das Programm mit seinem Namen auf (installiert) oder aus seinem "
                b"Ordner.\n" % shown)
        for options, notes in (([], b""), (["-h"], note)):
            with self.subTest(options=options):
                proc = subprocess.run([*TOOL.prefix, program, "N", "a@b.de", "S", "-", "-", *options],
                                      input=b"Hallo", capture_output=True, env=TOOL.env, timeout=120)
                self.assertEqual((proc.returncode, proc.stderr), (0, TOOL.text(notes)))
                self.assertEqual(b'<meta name="generator" content="%s 2.3">' % shown in proc.stdout,
                                 options == ["-h"])

    def test_page_passes_tidy_without_errors(self):
        tidy = shutil.which("tidy")
        self.assertIsNotNone(tidy, "tidy is needed (Debian package tidy)")
        self.write("msg.txt", self.MESSAGE)
        code, _, _ = self.run_tool("Jürgen Ärger", "j@example.org", "Über", "msg.txt",
                                   "page.html", "-h")
        self.assertEqual(code, 0)
        result = subprocess.run([tidy, "-q", "-e", self.path("page.html")],
                                capture_output=True)
        report = result.stdout + result.stderr
        self.assertLess(result.returncode, 2, report)
        self.assertNotIn(b"Error:", report)

    def test_arguments_and_file_names_arrive_as_utf8(self):
        # The page declares UTF-8; on Windows the program's manifest makes it
        # its code page, where the runtime would hand over code page 1252.
        self.write("Nachricht für Jürgen.txt", b"Hallo\n")
        code, _, _ = self.run_tool("Łukasz Müller", "l@example.pl", "Größe",
                                   "Nachricht für Jürgen.txt", "page.html", "-h")
        self.assertEqual(code, 0)
        page = self.read("page.html")
        name = "Łukasz Müller".encode()
        for piece in (b"\nKuvertpfeil f&uuml;r Nachricht an %s\n" % name,
                      b'href="mailto:%s <l@example.pl>?subject=%s&body=Hallo%%0a">\n'
                      % (name, "Größe".encode()),
                      b"\nNachricht an %s\n</a>\n" % name):
            self.assertIn(TOOL.text(piece), page)

    def test_failures_in_page_mode(self):
        self.write("msg.txt", b"Nachricht\n")
        cases = [("msg.txt", "./msg.txt", 16), ("nix.txt", "out.html", 4)]
        if not TOOL.windows:
            cases.append(("msg.txt", "/dev/full", 32))
        for source, target, status in cases:
            with self.subTest(target=target):
                code, out, _ = self.run_tool("N", "A", "S", source, target, "-h")
                self.assertEqual(code, status)
                self.assertNotIn(b"<!doctype", out)
        self.assertEqual(self.read("msg.txt"), b"Nachricht\n")
        self.assertFalse(os.path.exists(self.path("out.html")))

class MistypedCommandLines(CliTest):
    OWN_LINK = b'<a href="mailto:N <a@b.de>?subject=S&body=Alt">\nNachricht an N\n</a>\n'
    OWN_PAGE = (b'<!doctype html public "-//w3c//dtd html 4.01 Transitional//en" '
                b'"http://www.w3.org/TR/html4/loose.dtd">\n<html lang="de">\n')
    MESSAGE = b"Guten Tag,\nich haette gern eine Torte.\n"
    # What "N A S" writes with an empty message: shorter than the page's start.
    SHORT_LINK = b'<a href="mailto:N <A>?subject=S&body=">\nNachricht an N\n</a>\n'

    def test_arguments_the_program_does_not_use(self):
        cases = [
            # the arguments after the fifth; the notes
            (["--html"], unused(6, b"--html", AS_OPTION)),
            (["-H"], unused(6, b"-H", AS_OPTION)),
            (["/h"], unused(6, b"/h", AS_OPTION)),
            ([" -h "], unused(6, b" -h ", AS_OPTION)),
            (["\u2013h"], unused(6, b"%e2%80%93h", AS_OPTION)),  # an en dash
            (["\u2014h"], unused(6, b"%e2%80%94h", AS_OPTION)),  # an em dash
            (["\u2015h"], unused(6, b"%e2%80%95h", AS_OPTION)),  # a horizontal bar
            (["-h", "Torte"], unused(7, b"Torte", SHIFTED % b"out.html")),
            (["-h", "-h"], b""),
        ]
        for extra, notes in cases:
            with self.subTest(extra=extra):
                code, out, err = self.run_tool("N", "a@b.de", "S", "-", "out.html", *extra,
                                               stdin=b"Hallo")
                self.assertEqual((code, out, err), (0, b"", TOOL.text(notes)))
        # With the fifth "-h", a later argument is the target meant or unused.
        code, _, err = self.run_tool("N", "a@b.de", "S", "-", "-h", "seite.html", "x y", "-h")
        self.assertEqual(code, 0)
        self.assertTrue(err.endswith(TOOL.text(b"schreiben Sie: seite.html -h\n"
                                               + unused(7, b"x y", ONLY_THE_OPTION))), err)

    def test_notes_on_name_and_address(self):
        swapped = (b" Hinweis: Empfaengername und Empfaengeradresse sehen vertauscht aus: der Name "
                   b"ist eine Adresse, die Adresse enthaelt kein @. Geben Sie zuerst den Namen, "
                   b'dann die Adresse an, z. B. "Max Mustermann" max.mustermann@example.com.\n')
        name_note = b' Hinweis: Empfaengername enthaelt "@"'
        one_address = b"Geben Sie eine einzige Adresse an.\n"
        roundcube = (b": Roundcube nimmt die Adresse so nicht an, und kein Mailserver stellt an sie "
                     b"zu. Pruefen Sie die Adresse: vor dem @ ")
        cases = [
            # name, address, the notes as they begin
            ("info@baeckerei.de", "Bäckerei Müller", [swapped]),
            ("info@baeckerei.de", "info", [swapped]),
            ("a#b@example.com", "Kasse", [swapped]),
            # an address holding an '@', or a name that is no plain address
            ("info@baeckerei.de", "info@baeckerei.de",
             [name_note, b' Hinweis: Vorschlag fuer Empfaengername: "&quot;info@baeckerei.de&quot;"']),
            ("info@baeckerei.de Kasse", "Kasse",
             [name_note, b" Hinweis: Vorschlag fuer Empfaengername:",
              b' Hinweis: Empfaengeradresse enthaelt kein @']),
            # whole notes
            ("N", "max%7f@example.com",
             [b' Hinweis: Empfaengeradresse enthaelt "%7f": Mailprogramme zeigen es nicht oder '
              b'falsch an. Lassen Sie es weg.\n',
              b' Hinweis: Vorschlag fuer Empfaengeradresse: "max@example.com"\n']),
            ("N", "max;moritz@example.com",
             [b' Hinweis: Empfaengeradresse enthaelt ";": ein Verweis dieser Form traegt nur einen '
              b'Empfaenger. ' + one_address]),
            ("N", "a@@b.de",
             [b' Hinweis: Empfaengeradresse enthaelt mehr als ein "@": das Mailprogramm erkennt '
              b'darin keine Adresse. ' + one_address]),
            ("N", "max@ex&frac12;ample.de",
             [b' Hinweis: Empfaengeradresse enthaelt "%c2%bd"' + roundcube]),
            ('Max M"', "a@b.de",
             [b' Hinweis: Empfaengername enthaelt """: dort endet der Verweis im HTML-Code, der Rest '
              b'geht verloren. Setzen Sie den ganzen Namen zwischen &quot; und &quot; und schreiben '
              b'Sie darin < als &lt; und > als &gt;, z. B. "&quot;Max &lt;Chef&gt; '
              b'Mustermann&quot;".\n']),
        ]
        for name, address, notes in cases:
            with self.subTest(name=name, address=address):
                code, _, err = self.run_tool(name, address, "S", "-", "-", stdin=b"Hallo")
                lines = err.splitlines(keepends=True)
                starts = [TOOL.text(note) for note in notes]
                self.assertEqual(code, 0)
                self.assertEqual([line[:len(start)] for line, start in zip(lines, starts)], starts)
                self.assertEqual(len(lines), len(notes), err)

    def set_up_files(self):
        """The files of a small web site's folder, each with an old time stamp."""
        files = {"msg.txt": self.MESSAGE, "Torte": b"Sahne\n", "link.html": self.OWN_LINK,
                 "seite.html": self.OWN_PAGE, "leer.html": b"", "kurz.html": b"<a h",
                 "-": b"Notizen\n", "kurzlink.html": self.SHORT_LINK}
        for name, data in files.items():
            self.write(name, data)
            os.utime(self.path(name), ns=(10**18, 10**18))
        return self.snapshot()

    def snapshot(self):
        return {name: (self.read(name), os.stat(self.path(name)).st_mtime_ns)
                for name in sorted(os.listdir(self.dir)) if os.path.isfile(self.path(name))}

    def test_a_shifted_or_swapped_line_loses_no_file(self):
        after_torte = unused(6, b"seite.html", SHIFTED % b"msg.txt")
        cases = [
            # subject and the further arguments, the target that must be kept, the notes
            (["Anfrage", "Torte", "msg.txt", "seite.html", "-h"], "msg.txt", after_torte),
            (["Anfrage", "msg.txt", "Torte", "--html"], "Torte", unused(6, b"--html", AS_OPTION)),
            (["Anfrage", "msg.txt", "kurz.html", "x"], "kurz.html",
             unused(6, b"x", SHIFTED % b"kurz.html")),
            # source and target swapped: the source is the program's own output
            (["Anfrage", "seite.html", "msg.txt"], "msg.txt", b""),
            (["Anfrage", "link.html", "msg.txt", "-h"], "msg.txt", b""),
        ]
        for args, target, notes in cases:
            with self.subTest(args=args):
                before = self.set_up_files()
                code, out, err = self.run_tool("N", "a@b.de", *args)
                self.assertEqual((code, err), (128, TOOL.text(notes)))
                self.assert_report(out, KEPT % target.encode())
                self.assertEqual(self.snapshot(), before)

    def test_lines_that_still_run(self):
        cases = [
            # subject and the further arguments, the target written; all shifted but the last two
            (["Anfrage", "msg.txt", "neu.html", "x"], "neu.html"),  # missing
            (["Anfrage", "msg.txt", "leer.html", "x"], "leer.html"),  # empty
            (["Anfrage", "msg.txt", "-", "x"], "-"),  # never the file named "-"
            (["Anfrage", "msg.txt", "link.html", "x"], "link.html"),  # the program's own
            (["Anfrage", "msg.txt", "seite.html", "x", "-h"], "seite.html"),
            (["Anfrage", "msg.txt", "kurzlink.html", "x"], "kurzlink.html"),
            # not shifted, and a source that is no output of the program's
            (["Anfrage", "msg.txt", "Torte"], "Torte"),
            # standard input is never looked at
            (["Anfrage", "-", "Torte"], "Torte"),
        ]
        for args, target in cases:
            with self.subTest(args=args):
                self.set_up_files()
                for _ in range(2):  # the same command twice
                    code, out, _ = self.run_tool("N", "a@b.de", *args, stdin=self.OWN_PAGE)
                    self.assertEqual(code, 0)
                    written = out if target == "-" else self.read(target)
                    self.assertIn(b"?subject=Anfrage&body=", written)

    def test_fifo_is_never_looked_at(self):
        self.require_posix("a FIFO")
        self.set_up_files()
        os.mkfifo(self.path("m.fifo"))
        cases = [
            # the arguments after the subject, the FIFO's end the test holds, what
            # it sends, the link; a shifted line with a FIFO as the target
            (["msg.txt", "m.fifo", "x"], "rb", None,
             link(b"N", b"a@b.de", b"Anfrage",
                  b"Guten%20Tag,%0aich%20haette%20gern%20eine%20Torte.%0a")),
            (["m.fifo", "Torte"], "wb", b"Hallo\n", link(b"N", b"a@b.de", b"Anfrage", b"Hallo%0a")),
        ]
        for args, mode, sent, expected in cases:
            with self.subTest(args=args):
                received = []

                def other_end():
                    with open(self.path("m.fifo"), mode) as fifo:
                        received.append(fifo.write(sent) if sent else fifo.read())

                peer = threading.Thread(target=other_end)
                peer.start()
                code, _, _ = self.run_tool("N", "a@b.de", "Anfrage", *args)
                peer.join(timeout=60)
                self.assertEqual(code, 0)
                written = received[0] if args[1] == "m.fifo" else self.read(args[1])
                self.assertEqual(written, expected)


class TargetReplacement(CliTest):
    """A named target is written beside itself and moved into place once
    complete: a failed or interrupted run leaves it as it was."""
    OLD = b"<p>Die Seite von gestern</p>\n"
    MESSAGE = b"Hallo\n" * 500

    def snapshot(self):
        """Every name in the folder: its bytes (or link), mode, owner and time."""
        def entry(name):
            status = os.lstat(self.path(name))
            data = os.readlink(self.path(name)) if os.path.islink(self.path(name)) else self.read(name)
            return data, status.st_mode, status.st_uid, status.st_gid, status.st_mtime_ns
        return {name: entry(name) for name in sorted(os.listdir(self.dir))}

    def set_up_target(self):
        self.write("seite.html", self.OLD)
        self.write("msg.txt", self.MESSAGE)
        os.chmod(self.path("seite.html"), 0o640)
        os.utime(self.path("seite.html"), ns=(10**18, 10**18))
        return self.snapshot()

    def interrupted(self, signal_number):
        proc = subprocess.Popen(TOOL.command(["N", "a@b.de", "S", "-", "seite.html", "-h"]),
                                cwd=self.dir, env=TOOL.env, stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        proc.stdin.write(b"Hallo,\n")
        proc.stdin.flush()
        deadline = time.monotonic() + 60
        while len(os.listdir(self.dir)) < 3 and time.monotonic() < deadline:
            time.sleep(0.01)  # until the new file is there
        proc.send_signal(signal_number)
        proc.communicate(timeout=60)
        return proc.returncode, b"", b""

    def limited(self):
        def limit():  # a full disk, as a file-size limit shows it
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (1000, 1000))
        proc = subprocess.run(TOOL.command(["N", "a@b.de", "S", "msg.txt", "seite.html"]),
                              cwd=self.dir, env=TOOL.env, capture_output=True, timeout=120,
                              preexec_fn=limit)
        return proc.returncode, proc.stdout, proc.stderr

    def test_failed_or_interrupted_run_keeps_the_target(self):
        kept = b" Hinweis: Die Zieldatei seite.html wurde nicht veraendert.\n"
        cases = [
            # how the run ends, its status, the report's error line, the note
            ("error 5", self.limited, 32,
             b" Fehler 5: Zieldatei seite.html konnte nicht vollstaendig geschrieben werden.\n\n",
             kept),
        ]
        if not TOOL.windows:
            cases += [
                (name, lambda number=number: self.interrupted(number), -number, None, b"")
                for name, number in (("SIGINT", signal.SIGINT), ("SIGTERM", signal.SIGTERM),
                                     ("SIGHUP", signal.SIGHUP))]
            cases.append(("error 6", lambda: self.run_tool("N", "a@b.de", "S", "/proc/self/mem",
                                                           "seite.html"), 64,
                          b" Fehler 6: Quelldatei /proc/self/mem konnte nicht vollstaendig "
                          b"gelesen werden.\n\n", kept))
        for name, run, status, error_line, note in cases:
            with self.subTest(name):
                before = self.set_up_target()
                code, out, err = run()
                self.assertEqual((code, err), (status, TOOL.text(note)))
                if error_line:
                    self.assert_report(out, error_line)
                self.assertEqual(self.snapshot(), before)

    def test_replacement_keeps_the_targets_form(self):
        def symbolic_link():
            os.symlink("seite.html", self.path("link.html"))
            return "link.html", {"link.html": "seite.html", "seite.html": None}

        def hard_link():
            os.link(self.path("seite.html"), self.path("zweit.html"))
            return "seite.html", {"seite.html": None, "zweit.html": None}

        def other_owner():
            os.chown(self.path("seite.html"), 65534, 65534)
            return "seite.html", {"seite.html": None}

        cases = [("a plain target", lambda: ("seite.html", {"seite.html": None}))]
        if not TOOL.windows:
            cases += [("a symbolic link", symbolic_link), ("two hard links", hard_link)]
            if os.geteuid() == 0:
                cases.append(("another owner", other_owner))
        for name, make in cases:
            with self.subTest(name):
                shutil.rmtree(self.dir)
                os.mkdir(self.dir)
                self.set_up_target()
                target, expected = make()
                before = os.stat(self.path("seite.html"))
                code, _, _ = self.run_tool("N", "a@b.de", "S", "msg.txt", target)
                self.assertEqual(code, 0)
                after = self.snapshot()
                self.assertEqual(sorted(after), sorted([*expected, "msg.txt"]))
                for entry, link_to in expected.items():
                    data, mode, uid, gid, _ = after[entry]
                    if link_to:  # still a link, to the file replaced
                        self.assertEqual(data, link_to)
                        continue
                    self.assertEqual(data, link(b"N", b"a@b.de", b"S", b"Hallo%0a" * 500))
                    if not TOOL.windows:
                        self.assertEqual((oct(mode), uid, gid),
                                         (oct(before.st_mode), before.st_uid, before.st_gid))

    def test_targets_that_another_user_may_write_in_place_or_not_at_all(self):
        self.require_posix("drops its privileges with setpriv")
        if os.geteuid() != 0 or not shutil.which("setpriv"):
            self.skipTest("needs root and setpriv to run as another user")
        nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"]
        if subprocess.run([*nobody, TOOL.exe], capture_output=True, timeout=60).returncode == 127:
            self.skipTest("another user cannot run the program here")
        os.chmod(self.dir, 0o755)
        self.write("msg.txt", b"Hallo\n")
        os.mkdir(self.path("offen"), 0o777)
        os.chmod(self.path("offen"), 0o777)
        for name, owner, mode in (("eigen.html", 65534, 0o644), ("offen/fremd.html", 0, 0o644),
                                  ("offen/lesbar.html", 65534, 0o444)):
            self.write(name, self.OLD)
            os.chown(self.path(name), owner, owner)
            os.chmod(self.path(name), mode)
        cases = [
            # target, status, what it holds then; the folder allows no new file, so in place
            ("eigen.html", 0, link(b"N", b"a@b.de", b"S", b"Hallo%0a")),
            # the user may make a new file beside it, but not write the target
            ("offen/fremd.html", 8, self.OLD),
            ("offen/lesbar.html", 8, self.OLD),
        ]
        for target, status, held in cases:
            with self.subTest(target=target):
                proc = subprocess.run([*nobody, TOOL.exe, "N", "a@b.de", "S", "msg.txt", target],
                                      cwd=self.dir, capture_output=True, timeout=60)
                self.assertEqual(proc.returncode, status, proc.stderr)
                self.assertEqual(self.read(target), held)
        self.assertEqual(sorted(os.listdir(self.path("offen"))), ["fremd.html", "lesbar.html"])
        self.assertEqual(sorted(os.listdir(self.dir)), ["eigen.html", "msg.txt", "offen"])


class Wildcards(CliTest):
    def test_wildcard_source(self):
        self.write("nachricht.txt", b"Hallo\n")
        code, out, _ = self.run_tool("N", "A", "S", "nach*.txt", "-")
        if TOOL.windows:  # the start-up expands it, as a shell would elsewhere
            self.assertEqual((code, out), (0, link(b"N", b"A", b"S", b"Hallo%0a")))
        else:  # no shell here, and the program itself expands nothing
            self.assertEqual(code, 4)


class WindowsTextStreams(CliTest):
    def setUp(self):
        super().setUp()
        if not TOOL.windows:
            self.skipTest("Windows text streams")

    def test_crlf_and_ctrl_z_from_file_and_pipe(self):
        cases = [(b"Hallo\r\nWelt\r\n", b"Hallo%0aWelt%0a"),
                 (b"Hallo\x1aWelt\r\n", b"Hallo"),
                 (b"a\rb\n", b"a%0db%0a")]
        for message, body in cases:
            with self.subTest(message=message):
                self.write("msg.txt", message)
                from_file = self.run_tool("N", "A", "S", "msg.txt", "-")
                from_pipe = self.run_tool("N", "A", "S", "-", "-", stdin=message)
                for code, out, _ in (from_file, from_pipe):
                    self.assertEqual((code, out), (0, link(b"N", b"A", b"S", body)))

    def test_every_line_feed_written_is_crlf(self):
        self.write("msg.txt", b"Hallo\n")
        outputs = [self.run_tool("N", "A", "S", "msg.txt", "-", "-h")[1],
                   self.run_tool("N", "A", "S", "msg.txt", "-")[1],
                   self.run_tool("N")[1]]
        self.run_tool("N", "A", "S", "msg.txt", "page.html", "-h")
        outputs.append(self.read("page.html"))
        for out in outputs:
            self.assertGreater(out.count(b"\r\n"), 2)
            self.assertEqual(out.count(b"\n"), out.count(b"\r\n"))

    def test_same_file_guard_both_ways(self):
        self.write("a.txt", b"A\n")
        self.write("b.txt", b"B\n")
        for other_name in (".\\a.txt", "A.TXT"):
            code, out, _ = self.run_tool("N", "A", "S", "a.txt", other_name)
            self.assertEqual(code, 16)
            self.assert_report(out, b" Fehler 4: Quelldatei a.txt und Zieldatei sind identisch.\n\n")
            self.assertEqual(self.read("a.txt"), b"A\n")
        code, _, _ = self.run_tool("N", "A", "S", "a.txt", "b.txt")
        self.assertEqual(code, 0)
        self.assertEqual(self.read("b.txt"), link(b"N", b"A", b"S", b"A%0a"))

def run_tests(argv):
    program = unittest.main(argv=argv, verbosity=2, exit=False)
    return 0 if program.result.wasSuccessful() else 1


def main():
    global TOOL
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--wineprefix", help="run a Windows build under Wine with this prefix")
    options, rest = parser.parse_known_args()
    TOOL = Platform(options.exe, options.wineprefix)
    argv = [sys.argv[0], *rest]
    if not TOOL.windows:
        sys.exit(run_tests(argv))
    # One wineserver for all calls, rather than one started and stopped per call.
    wineserver = shutil.which("wineserver") or "/usr/lib/wine/wineserver64"
    os.makedirs(TOOL.env["WINEPREFIX"], exist_ok=True)
    subprocess.run([wineserver, "-p"], env=TOOL.env, check=True)
    # The first call creates the prefix and starts Wine's background services;
    # with null streams, so that they hold no test's pipes open later.
    subprocess.run(TOOL.command([]), env=TOOL.env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
    try:
        sys.exit(run_tests(argv))
    finally:
        subprocess.run([wineserver, "-k"], env=TOOL.env, check=False)


if __name__ == "__main__":
    main()
