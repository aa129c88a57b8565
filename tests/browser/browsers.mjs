// Starts Debian's own Chromium or Firefox ESR through puppeteer-core:
// headless, offline, with a throwaway profile that puppeteer makes and
// removes, and no browser downloaded.
import puppeteer from 'puppeteer-core';

export const browserNames = ['chromium', 'firefox'];

// Firefox runs on its stock profile prefs plus puppeteer's test prefs; these
// silence what is left of its calls home.
const quietFirefox = {
  'app.update.auto': false,
  'browser.safebrowsing.provider.google4.updateURL': '',
  'browser.safebrowsing.provider.mozilla.updateURL': '',
  'extensions.blocklist.enabled': false,
  'network.captive-portal-service.enabled': false,
  'network.connectivity-service.enabled': false,
  'network.dns.disablePrefetch': true,
  'network.prefetch-next': false,
  'services.settings.server': 'data:,#remote-settings-dummy/v1',
  'toolkit.telemetry.enabled': false,
  'toolkit.telemetry.server': '',
  // A page may read the pages beside it (resolve_links.mjs loads them in frames).
  'security.fileuri.strict_origin_policy': false,
};

export function launch(name) {
  if (name === 'firefox') {
    return puppeteer.launch({
      browser: 'firefox',
      executablePath: process.env.KUVERTPFEIL_FIREFOX ?? '/usr/bin/firefox-esr',
      headless: true,
      extraPrefsFirefox: quietFirefox,
      // Release builds take services.settings.server only with this set.
      env: { ...process.env, MOZ_REMOTE_SETTINGS_DEVTOOLS: '1' },
    });
  }
  if (name === 'chromium') {
    return puppeteer.launch({
      executablePath: process.env.KUVERTPFEIL_CHROMIUM ?? '/usr/bin/chromium',
      headless: true,
      // Root needs --no-sandbox; the rest keeps Chromium off the network:
      // what still asks for a Google host (sign-in, updates) finds none.
      args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
        '--disable-component-update', '--disable-sync', '--no-first-run',
        '--host-resolver-rules=MAP * ~NOTFOUND',
        // A page may read the pages beside it (resolve_links.mjs loads them in frames).
        '--allow-file-access-from-files'],
    });
  }
  throw new Error(`unknown browser "${name}": one of ${browserNames.join(', ')}`);
}

// The one tab a fresh browser opens, so a run needs no second one.
export async function firstPage(browser) {
  return (await browser.pages())[0] ?? browser.newPage();
}
