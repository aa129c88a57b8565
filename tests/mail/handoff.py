"""What a click on a mailto link hands on to the desktop: the URL that
Chromium and Firefox give the mail program, for the URL of the link as the
page's a.href gives it (each browser's own). None where the browser starts
nothing. Measured with a real click on Linux (tests/mail/click_path.py, which
fails where a browser does otherwise):

- Chromium escapes the URL (EscapeExternalHandlerValue) and runs xdg-email,
  which runs xdg-open, which runs the handler.
- Firefox escapes the URL as Chromium does, but keeps every "%", and starts
  nothing for a URL that holds "%00"; GIO runs the handler, no xdg-email.
- The handler gets the URL as one argument: from Linux's limit for one
  argument on (MAX_ARG_STRLEN, 131,072 bytes with the closing NUL), no
  program starts, and neither browser says so.
"""

import re

# The bytes both browsers hand on as they are; every other byte goes as an
# upper-case %XX, and a "%" as the browser decides.
KEPT = frozenset(b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
                 b"-_.!~*'();/?:@&=+$,#[]")
ARGUMENT_MAX = 131072 - 1


def _escaped(href, lone_percent_kept):
    data = href.encode("utf-8")
    out = []
    for i, byte in enumerate(data):
        if byte in KEPT:
            out.append(chr(byte))
        elif byte == ord("%") and (lone_percent_kept
                                   or re.fullmatch(rb"[0-9A-Fa-f]{2}", data[i + 1:i + 3])):
            out.append("%")
        else:
            out.append(f"%{byte:02X}")
    return "".join(out)


def chromium(href):
    """A "%" that starts no %XX becomes %25. xdg-email first appends "&"
    (or "?" where the URL holds none) and then drops one "?" or "&" at the
    end: so a last "?" goes, a last "&" stays."""
    url = _escaped(href, lone_percent_kept=False)
    if len(url) > ARGUMENT_MAX:
        return None
    return url[:-1] if url.endswith("?") else url


def firefox(href):
    if "%00" in href:
        return None
    url = _escaped(href, lone_percent_kept=True)
    return url if len(url) <= ARGUMENT_MAX else None


def handed_on(href):
    """Both browsers' hand-off of one URL: {"chromium": ..., "firefox": ...}."""
    return {"chromium": chromium(href), "firefox": firefox(href)}
