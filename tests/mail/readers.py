"""Hands each link to a mail program as a click delivers it: through
Chromium's and through Firefox's hand-off (handoff.py), each judged on its
own. A URL that both browsers hand on alike goes to the program once.
Roundcube keeps its own path: Chromium's registered web handler, which its
driver clicks for real, with the link as the page gives it."""

import importlib

import handoff

BROWSERS = ("chromium", "firefox")
WEB_MAIL = {"roundcube"}


def nothing_opens(browser):
    return f"{browser} opens nothing"


def compose_clicked(reader, cases, workdir):
    """For each resolved case (its "href" and "firefox_href"), what the
    reader composed, by browser: [{"chromium": ..., "firefox": ...}]."""
    compose_all = importlib.import_module(reader).compose_all
    if reader in WEB_MAIL:
        return [{"chromium": arrived}
                for arrived in compose_all([case["href"] for case in cases], workdir)]
    handed = [{"chromium": handoff.chromium(case["href"]),
               "firefox": handoff.firefox(case["firefox_href"])} for case in cases]
    distinct = list(dict.fromkeys(url for urls in handed for url in urls.values()
                                  if url is not None))
    composed = dict(zip(distinct, compose_all(distinct, workdir)))
    return [{browser: nothing_opens(browser) if url is None else composed[url]
             for browser, url in urls.items()} for urls in handed]


def breaks_in(reader, browser, breaks):
    """Whether a table's breaks list says the link goes wrong for this
    reader through this browser: "mutt" for both, "mutt@firefox" for one;
    None for "neomutt?", where the verdict differs between the reader's
    releases in Debian 12 and 13."""
    if f"{reader}?" in breaks:
        return None
    return reader in breaks or f"{reader}@{browser}" in breaks
