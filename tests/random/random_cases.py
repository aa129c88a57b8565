"""A seeded generator of unusual fields and messages for the random reader
test, built from the material of tests/link_fields.tsv: words with umlauts,
the characters the checks look for, character references named, numeric
and legacy without ';', escapes, quotes and enclosed names, white space raw
and escaped, and addresses with spice inside and at the ends.

Each case changes one field; the other two stay the plain ones that
tests/browser/resolve_links.mjs uses."""

import random

WORDS = ["Max", "Mustermann", "Jürgen", "Müller", "Größe", "Anfrage", "Köln", "Straße",
         "Äpfel", "Öl", "Übermaß", "Rechnung", "4711", "Team", "Dr.", "O'Neill", "Łukasz",
         "Café", "Angebot", "Bäckerei", "Torte", "Kurs", "Vertrieb", "Chef", "Home", "Firma"]
# Characters the checks look for, and some that none does.
SPICE = ['"', "#", "%", "?", "&", "+", ",", ";", ":", "<", ">", "(", ")", "[", "]", "@",
         "\\", "/", "!", "$", "`", "=", "'", "*", "~", "|", "^", "{", "}", "-", ".", "_",
         "\t", "\n", "\r", "\x7f", "\x01", "\u00a0", "\u0085", "€", "–", "½", "├ñ", "Ã¤",
         "³", "õ"]
NAMED = ["&amp;", "&lt;", "&gt;", "&quot;", "&num;", "&quest;", "&commat;", "&comma;",
         "&semi;", "&colon;", "&Tab;", "&NewLine;", "&nbsp;", "&uuml;", "&Auml;", "&szlig;",
         "&euro;", "&plus;", "&percnt;", "&lpar;", "&bsol;", "&apos;", "&lowbar;"]
LEGACY = ["&amp", "&lt", "&gt", "&quot", "&uuml", "&copy", "&nbsp", "&auml"]
NUMERIC = ["&#35;", "&#x23;", "&#64;", "&#44;", "&#9;", "&#10;", "&#43;", "&#x3f;", "&#252;",
           "&#38;", "&#37;", "&#59;", "&#x22;", "&#60;", "&#x7f;", "&#133;", "&#0;", "&#65"]
ESCAPES = ["%20", "%09", "%0a", "%0d", "%22", "%23", "%25", "%26", "%2b", "%2B", "%2c",
           "%3b", "%3c", "%3e", "%3f", "%40", "%c3%bc", "%C3%BC", "%fc", "%7f", "%c2%a0",
           "%c2%85", "%e2%82%ac", "%2", "%g1", "%5c", "%01"]
WHITE = [" ", "  ", "\t", "\n", "\r\n", "%20", "%09", "%0a", "%0d%0a"]
LOCAL_PARTS = ["max", "max.mustermann", "info", "j.mueller", "max+news", "m_x", "o'neill"]
DOMAINS = ["example.com", "beispiel.de", "example.org", "münchen.de", "mail.example.co.uk"]
MESSAGE_PIECES = ["Hallo,\n", "bis bald!\n", "Grüße aus Köln\n", "Preis < 10 EUR\n",
                  "a > b\n", "\t1\t9,99 EUR\n", "Zeile\r\n", "\n", "€ 5\n", "&uuml; &amp;\n",
                  "100% sicher? #1\n", "ok"]


def spice(rng):
    """One unusual piece of text."""
    kind = rng.randrange(6)
    if kind == 0:
        return rng.choice(SPICE)
    if kind == 1:
        return rng.choice(NAMED)
    if kind == 2:
        # A legacy name without ';', before a letter, a digit, '=' or a blank.
        return rng.choice(LEGACY) + rng.choice(["", "x", "1", "=", " ", ";"])
    if kind == 3:
        return rng.choice(NUMERIC)
    if kind == 4:
        return rng.choice(ESCAPES)
    return rng.choice(WHITE)


def words(rng, count):
    return [rng.choice(WORDS) for _ in range(count)]


def with_spice(rng, text, pieces):
    """text with pieces of spice put in at random places, its ends among them."""
    for _ in range(pieces):
        at = rng.choice([0, len(text), rng.randrange(len(text) + 1)])
        text = text[:at] + spice(rng) + text[at:]
    return text


def name(rng):
    text = with_spice(rng, " ".join(words(rng, rng.randint(1, 3))), rng.randint(1, 2))
    enclosing = rng.choice([None, None, ("&quot;", "&quot;"), ("%22", "%22"), ('"', '"')])
    return text if enclosing is None else enclosing[0] + text + enclosing[1]


def address(rng):
    local, domain = rng.choice(LOCAL_PARTS), rng.choice(DOMAINS)
    where = rng.randrange(4)
    piece = spice(rng)
    if where == 0:
        local = local[:1] + piece + local[1:]
    elif where == 1:
        domain = domain[:2] + piece + domain[2:]
    elif where == 2:
        return piece + local + "@" + domain
    else:
        return local + "@" + domain + piece
    return local + "@" + domain


def subject(rng):
    return with_spice(rng, " ".join(words(rng, rng.randint(1, 4))), rng.randint(1, 3))


def generate(seed, count):
    """count cases (field, typed bytes) and a few messages (label, bytes)."""
    rng = random.Random(seed)
    makers = {"name": name, "address": address, "subject": subject}
    cases = []
    while len(cases) < count:
        field = rng.choice(list(makers))
        typed = makers[field](rng).encode()
        if rng.randrange(15) == 0:
            typed = typed.replace("ü".encode(), b"\xfc", 1)  # as Latin-1 would type it
        # An argument holds no NUL byte; over 99 bytes it would be cut.
        if b"\0" not in typed and len(typed) < 90:
            cases.append((field, typed))
    messages = []
    for i in range(max(2, count // 25)):
        text = "".join(rng.choice(MESSAGE_PIECES) for _ in range(rng.randint(1, 5)))
        messages.append((f"random message {i + 1}", text.encode()))
    return cases, messages


def table_notation(typed):
    """The bytes as tests/link_fields.tsv writes them: UTF-8 as it stands,
    \\t \\n \\r \\\\ and \\xHH for a byte that is no UTF-8 or a control."""
    out = []
    for char in typed.decode("utf-8", "surrogateescape"):
        code = ord(char)
        if 0xDC80 <= code <= 0xDCFF:
            out.append(f"\\x{code - 0xDC00:02x}")
        elif char in "\t\n\r\\":
            out.append({"\t": "\\t", "\n": "\\n", "\r": "\\r", "\\": "\\\\"}[char])
        elif code < 0x20 or code == 0x7F:
            out.append(f"\\x{code:02x}")
        else:
            out.append(char)
    return "".join(out)
