"""What a field and a message are meant to be, and whether a mail program
composed that: shared by the table's reader tests and the random test.

"As meant" is a field as the page reads it (the browser's reading of the
attribute value), with each %xx decoded once (UTF-8, or Latin-1 where the
bytes are none), blanks, tabs and line breaks at its ends dropped, and a
name's enclosing quotes taken off. Each reader may change a few things on
its own, which are allowed: those are written out here, as observed."""

import contextlib
import email.utils
import re
import urllib.parse

# Messages that arrive wrong, and where ("thunderbird@firefox": through
# that browser only). Each gets a note.
MESSAGE_BREAKS = {
    # Mutt keeps the bytes, but sends them labelled UTF-8; Thunderbird,
    # KMail and Roundcube send U+FFFD for each (observed).
    "Latin-1": ["alpine", "thunderbird", "kmail", "roundcube"],
    # Firefox opens nothing for a "%00"; through Chromium, Mutt refuses the
    # link, NeoMutt and Alpine end the message there, Thunderbird keeps the
    # NUL and sends the message in base64, KMail keeps it, Roundcube sends
    # U+FFFD (observed).
    "a NUL byte": ["mutt", "neomutt", "alpine", "thunderbird@firefox", "kmail@firefox",
                   "roundcube"],
    # Roundcube takes a message with a "<" for HTML, and cuts a word of more
    # than 998 bytes (observed).
    'a "<"': ["roundcube"],
    # KMail 22.12 ends its long line after the "?" (Qt's line breaking,
    # which arrival.kmail_wrapped does not follow); 24.12 loses all from the
    # "&" on, as below.
    "every ASCII byte 0x01-0x7F": ["kmail", "roundcube"],
    "a 1,500-byte line": ["roundcube"],
    # KMail decodes the link twice: "%ab" arrives as the byte 0xAB, "%41"
    # as "A" (observed).
    '"%" and two hex digits': ["kmail"],
    # KMail's first decoding ends the body's value at a "%26" first: the
    # message is lost, the subject gets "&body" (observed).
    '"&" first': ["kmail"],
    # Its second split at each "&": KMail 24.12 loses the message from the
    # last "&" before a "=" on, 22.12 writes the part before the "=" in
    # lower case, so "Q&A: x=1" arrives as "Q" or "Q&a: x=1" (observed).
    '"&" before "="': ["kmail"],
    '"#", "&", "=" and a lone "%"': ["kmail?"],
}
# Messages that arrive wrong where the program can mend nothing, so they get
# no note: the link always ends in "body=", and NeoMutt opens no link whose
# last value is empty ("Failed to parse mailto: link"), and KMail makes the
# subject "Anfrage&body" of it (observed).
UNNOTED_MESSAGE_BREAKS = {"empty": ["neomutt", "kmail"]}


# Notes that fire on purpose for a field or message that every reader
# tested gets as meant, each with words of its own: where a table row's
# "breaks" value is one of these names, its note must be of that kind.
ON_PURPOSE = {
    # check 2: a program that splits the link by the URL standard
    "url": "dort beginnt nach der URL-Norm ein Fragment",
    # check 13: only the page's button
    "page": "die Seite haelt es fuer den Beginn eines HTML-Tags",
    # a no-break space in an address: the mail server
    "server": "kein Mailserver stellt an eine Adresse damit zu",
    # check 14: as typed, which is not what was meant
    "typed": "gelesen wurde; gemeint war wohl",
    # the cut to 99 bytes, and a link too long for some mail programs
    "cut": "ist laenger als 99 Bytes und wurde gekuerzt",
    "long": "Zeichen lang; manche Mailprogramme oeffnen Verweise",
    # the command line's notes, the empty name's, and a byte-order mark,
    # which the mail program keeps
    "command line": " Hinweis: Argument ",
    "empty": "ist leer: der Verweis",
    "mark": "Byte-Order-Mark",
}


def noted_on_purpose(notes):
    """Whether every note, Vorschlag lines aside, is one that fires on purpose."""
    lines = [line for line in notes.splitlines() if " Hinweis: Vorschlag fuer " not in line]
    return all(any(words in line for words in ON_PURPOSE.values()) for line in lines)


def expected_body(reader, message, arrived):
    """The message as this mail program may show it, the allowed changes only."""
    if reader == "alpine":
        # Observed: Alpine drops every carriage return (so CR LF arrives as
        # LF), and ends a message that is not multipart with one line feed.
        message = message.replace(b"\r", b"")
        if not arrived.get("multipart"):
            message += b"\n"
    if reader == "thunderbird":
        # Observed: every line end (LF, CR or CR LF) goes as CR LF, and a
        # last line without one gets it.
        message = re.sub(rb"\r\n|\r|\n", b"\r\n", message)
        if message and not message.endswith(b"\r\n"):
            message += b"\r\n"
    if reader == "roundcube":
        # Observed: every line end (CR or CR LF) goes as LF, blanks and tabs
        # at a line's end and one empty line at the start go, and a last
        # line without a line feed gets one. (Its driver undoes
        # format=flowed and CR LF.)
        message = re.sub(rb"\r\n|\r", b"\n", message)
        message = re.sub(rb"[ \t]+(?=\n|$)", b"", message)
        message = message[1:] if message.startswith(b"\n") else message
        if message and not message.endswith(b"\n"):
            message += b"\n"
    if reader == "kmail":
        # Observed: every line end (CR LF, a lone CR) arrives as LF, a
        # no-break space as a blank, and a line wider than 78 columns is
        # wrapped (kmail_wrapped). KMail counts characters, so only a
        # message in UTF-8 is wrapped here: other bytes arrive wrong anyway.
        message = re.sub(rb"\r\n|\r", b"\n", message)
        # One line feed at the very start goes, as in Roundcube (observed).
        message = message[1:] if message.startswith(b"\n") else message
        with contextlib.suppress(UnicodeDecodeError):
            text = message.decode().replace("\xa0", " ")
            message = "\n".join(map(kmail_wrapped, text.split("\n"))).encode()
    return message  # Mutt's draft holds the body byte for byte (observed)


def kmail_width(text):
    """Columns, as KMail's composer counts them: a tab goes on to the next
    multiple of 12 (observed)."""
    width = 0
    for char in text:
        width = (width // 12 + 1) * 12 if char == "\t" else width + 1
    return width


def kmail_wrapped(line):
    """A line as KMail sends it, observed (lines of blanks, tabs, words, a
    1,500-character word): a line wider than 78 columns ends after the last
    run of blanks or tabs that has at most 78 columns before it, or where
    none has, after the first; the blanks stay at the line's end. A line's
    leading blanks are no place to end it, a tab is. KMail (Qt's line
    breaking) ends a line after some other characters too ("?" before a
    letter), which this leaves out."""
    lines = []
    while kmail_width(line) > 78:
        ends = [m.end() for m in re.finditer(r"[ \t]+(?=[^ \t])", line)
                if m.end() and (line[:m.start()] or "\t" in m.group())]
        if not ends:
            break
        fitting = [end for end in ends if kmail_width(line[:end].rstrip(" \t")) <= 78]
        cut = fitting[-1] if fitting else ends[0]
        lines.append(line[:cut])
        line = line[cut:]
    return "\n".join(lines + [line])


def percent_decoded(text):
    raw = urllib.parse.unquote_to_bytes(text)
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw.decode("latin-1")


def trimmed(text):
    return text.strip(" \t\r\n")


def as_sent(reader, text):
    """Thunderbird trims each field and sends every run of white space in
    it (a tab, a no-break space) as one blank; Roundcube sends a run of
    blanks and tabs as one blank, and a no-break space at the ends kept on
    one run and dropped on another (observed): it is no fault either way.
    KMail sends a no-break space, a tab or a NEL in a field as a blank, and
    drops white space at a field's ends (observed), as Thunderbird."""
    if reader in ("thunderbird", "kmail"):
        return re.sub(r"\s+", " ", text).strip()
    if reader == "roundcube":
        return re.sub(r"[ \t]+", " ", text).strip(" \t\xa0")
    return text


def same_address(first, second):
    """Two addresses alike, written differently: an internationalised
    domain in either form (Roundcube sends max@münchen.de as
    max@xn--mnchen-3ya.de, as IDNA 2008 writes it, and Mutt shows the latter
    as the former), and a local part quoted or not (Thunderbird writes
    j!.mueller@ as "j!.mueller"@) (observed)."""
    def plain_form(address):
        local, at, domain = address.rpartition("@")
        if len(local) >= 2 and local[0] == local[-1] == '"' and '"' not in local[1:-1]:
            local = local[1:-1]
        labels = [label if label.isascii() else "xn--" + label.lower().encode("punycode").decode()
                  for label in domain.split(".")]
        return local + at + ".".join(labels).lower()
    return plain_form(first) == plain_form(second)


def folded_name(name):
    """A name as every reader's address parser shows it: a run of blanks as
    one (Mutt and Roundcube send it so), and no white space at its ends,
    which no reader shows: Alpine keeps a tab inside the quotes, Roundcube
    drops a no-break space."""
    return re.sub(r" {2,}", " ", name.strip())


def same_name(reader, arrived, meant):
    """Whether a recipient's name arrived as meant. Debian 13's KMail keeps
    a no-break space in a name that Debian 12's sends as a blank (observed):
    both are as meant."""
    if reader == "kmail":
        arrived = as_sent(reader, arrived)
    return folded_name(arrived) == folded_name(as_sent(reader, meant))


def recipients(to):
    """(name, address, valid) for each recipient: Thunderbird's address
    pills, which it marks valid or not, or the To header that the others
    wrote (they mark none)."""
    if isinstance(to, str):
        return [(folded_name(name), address, True)
                for name, address in email.utils.getaddresses([to])]
    return [(folded_name(name), address, valid) for name, address, valid in to]


def as_meant(fields):
    """Each field as meant, from the fields as the page reads them."""
    name = trimmed(percent_decoded(fields["name"]))
    if len(name) >= 2 and name[0] == name[-1] == '"':
        name = trimmed(name[1:-1])
    return {"name": name, "address": trimmed(percent_decoded(fields["address"])),
            "subject": trimmed(percent_decoded(fields["subject"]))}


def what_went_wrong(reader, arrived, meant, message):
    """None if the mail program composed what was meant, else what it did."""
    if isinstance(arrived, str):
        return arrived  # it composed nothing, and says why
    to = recipients(arrived["to"])
    if (len(to) != 1 or not same_name(reader, to[0][0], meant["name"]) or not to[0][2]
            or not same_address(to[0][1], as_sent(reader, meant["address"]))):
        return f"To {arrived['to']!r} read as {to}"
    if trimmed(arrived["cc"]):
        return f"Cc {arrived['cc']!r}"
    if as_sent(reader, trimmed(arrived["subject"])) != as_sent(reader, meant["subject"]):
        return f"Subject {arrived['subject']!r}"
    if arrived["body"] != expected_body(reader, message, arrived):
        return f"body {arrived['body']!r}"
    return None
