"""Hands mailto URLs to NeoMutt, headless, and reads back the message it composed.

NeoMutt takes Mutt's command line and muttrc (it has renamed $autoedit,
$spoolfile and $tmpdir, but takes the old names as well), so mutt.py drives
it the same way: a pseudo-terminal of its own, a throwaway HOME, an editor
that only copies the draft, the message aborted unmodified. Nothing is sent.

It splits the URL's query otherwise than Mutt (observed on 20220429; later
sources split it the same way): it reads each "key=value" pair as the first
match of ([^&=]+)=([^&=]+) from where the last one ended. So a value ends at
a raw "=" (a subject "a=b" arrives as "a"), what matches no such pair is
skipped ("subject==x&" gives no subject), and a query whose last value is
empty ("&body=", an empty message) opens nothing: "Failed to parse mailto:
link". A %00 ends the value (Mutt refuses it). A URL with a raw "<", ">" or
"#" is no URL to it at all: it takes the whole argument for an address.
"""
import mutt


def compose(url, workdir):
    """One URL in its own folder under workdir: a dict, or why there is none."""
    return mutt.compose(url, workdir, 'neomutt')


def compose_all(urls, workdir):
    """A result per URL, in order, several NeoMutts at once."""
    return mutt.compose_all(urls, workdir, 'neomutt')


if __name__ == '__main__':
    mutt.main('neomutt')
