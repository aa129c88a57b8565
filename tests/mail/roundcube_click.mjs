// Clicks mailto links in Debian's Chromium, headless, with Roundcube as the
// profile's mailto handler, and presses Send in each compose page that opens.
// roundcube.py runs the servers and starts this with one JSON object on
// standard input:
//   {"base": "http://127.0.0.1:PORT/", "profile": DIR, "page": FILE,
//    "users": [[USER, PASSWORD], ...], "urls": [...], "timeout": MS}
// FILE holds the links, <a id="linkN">. Out come JSON lines: {"chromium": PID}
// first, then one per link, in the order they end:
//   {"i", "worker", "ms", "handler": the URL that Chromium opened for the
//    click, "sent": true} or {..., "error": why nothing was sent},
// or last {"fatal": why the run stopped}. Each user is logged in in a browser
// context (a session) of its own; the contexts take the links in turn.
import { mkdirSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const require = createRequire(new URL('../browser/package.json', import.meta.url));
const puppeteer = require('puppeteer-core');

const job = JSON.parse(await new Promise((resolve) => {
  let input = '';
  process.stdin.setEncoding('utf8')
    .on('data', (d) => { input += d; })
    .on('end', () => resolve(input));
}));
const say = (object) => process.stdout.write(`${JSON.stringify(object)}\n`);
const text = (s) => s.replace(/\s+/g, ' ').trim();
// ms to wait for Roundcube's answer to a Send, at least.
const SEND_WAIT = 60000;

// The handler as Roundcube registers itself (app.js's
// register_protocol_handler: registerProtocolHandler with this URL).
const handlerUrl = `${job.base}?_task=mail&_action=compose&_to=%s`;
mkdirSync(path.join(job.profile, 'Default'), { recursive: true });
writeFileSync(path.join(job.profile, 'Default', 'Preferences'), JSON.stringify({
  custom_handlers: {
    enabled: true,
    ignored_protocol_handlers: [],
    registered_protocol_handlers: [{
      protocol: 'mailto', url: handlerUrl, default: true,
      is_allowed_in_incognito: true, last_modified: '13300000000000000',
    }],
  },
}));

const browser = await puppeteer.launch({
  executablePath: process.env.KUVERTPFEIL_CHROMIUM ?? '/usr/bin/chromium',
  headless: true,
  defaultViewport: { width: 1280, height: 900 },
  userDataDir: job.profile,
  pipe: true, // DevTools on a pipe: no port, and Chromium ends when we do
  // As tests/browser/browsers.mjs: root needs --no-sandbox, the rest keeps
  // Chromium off the network; the resolver rules would take 127.0.0.1 too.
  args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', '--no-first-run',
    '--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1'],
});
say({ chromium: browser.process().pid });

async function login(page, user, password) {
  await page.goto(job.base, { waitUntil: 'load' });
  await page.type('#rcmloginuser', user);
  await page.type('#rcmloginpwd', password);
  await Promise.all([page.waitForNavigation({ waitUntil: 'load' }), page.click('#rcmloginsubmit')]);
  if (new URL(page.url()).searchParams.get('_task') !== 'mail') {
    const shown = await page.$$eval('#messagestack div',
      (ds) => ds.map((d) => d.textContent).join(' '));
    throw new Error(`Roundcube did not log ${user} in: ${text(shown)}`);
  }
}

// The compose page is ready once its editor is: the plain textarea, or
// TinyMCE with the message moved into it (Roundcube's HTML mode).
const composeReady = () => {
  const rc = window.rcmail;
  if (!rc || rc.env.action !== 'compose' || !rc.env.compose_id || !rc.commands.send || !rc.editor) {
    return false;
  }
  const area = document.getElementById(rc.editor.id);
  if (!area?.classList.contains('mce_editor')) return true;
  const held = $(area).data('html-editor-content-element');
  return !!rc.editor.editor?.initialized && !(held && document.getElementById(held));
};

// Notes what Roundcube says after Send: that it sent the message, or its
// errors and warnings (those of the server's answer come the same way).
const watch = () => {
  const rc = window.rcmail;
  const seen = { sent: false, said: [] };
  window.kuvertpfeil = seen;
  const sent = rc.sent_successfully;
  rc.sent_successfully = function sentSuccessfully(...args) {
    seen.sent = true; // also where its copy in Sent failed: the message went
    // Roundcube then goes to the mailbox after a while: not while the next
    // link's page is being opened in this tab.
    rc.list_mailbox = () => {};
    return sent.apply(this, args);
  };
  const show = rc.display_message;
  rc.display_message = function displayMessage(msg, type, ...rest) {
    if (type === 'error' || type === 'warning') {
      seen.said.push(msg && /^[a-z._]+$/.test(msg) ? rc.get_label(msg) : msg);
    }
    return show.call(this, msg, type, ...rest);
  };
};

// null once Roundcube has sent the message, else what it said instead.
async function outcome(page, deadline) {
  for (;;) {
    const state = await page.evaluate(() => {
      const seen = window.kuvertpfeil;
      const dialog = [...document.querySelectorAll('.ui-dialog')].find((d) => d.offsetParent);
      return seen && {
        sent: seen.sent,
        said: seen.said,
        dialog: dialog?.querySelector('.ui-dialog-content')?.textContent,
        // Its prompt for a missing subject: a user sends without one.
        subjectPrompt: !!dialog?.querySelector('.prompt input'),
      };
    });
    if (!state) return 'the compose page went away after Send';
    if (state.sent) return null;
    if (state.subjectPrompt) {
      await page.click('.ui-dialog .ui-dialog-buttonset .mainaction');
    } else if (state.said.length || state.dialog) {
      return text([...state.said, state.dialog ?? ''].join(' '));
    } else if (Date.now() > deadline) {
      return `Roundcube answered no Send within ${SEND_WAIT} ms`;
    }
    await new Promise((r) => { setTimeout(r, 20); });
  }
}

// One link: the page with it, a click, and Send in the compose page.
async function one(page, i) {
  const deadline = Date.now() + job.timeout;
  // As Chromium shows it: a blank in the path as %20, for one.
  const linkPage = pathToFileURL(job.page).href;
  for (let tries = 1; ; tries += 1) {
    await page.goto(linkPage, { waitUntil: 'load' });
    if (page.url() === linkPage && await page.$(`#link${i}`)) break;
    if (tries === 3) throw new Error(`the page with the links did not stay: ${page.url()}`);
  }
  const opened = [];
  const see = (request) => {
    if (request.isNavigationRequest() && request.frame() === page.mainFrame()) {
      opened.push(request.url());
    }
  };
  page.on('request', see);
  // The handler's URL: Roundcube then redirects it to a compose page of its own.
  const result = (fields) => ({
    handler: opened.find((u) => u.startsWith(job.base)) ?? null, ...fields,
  });
  try {
    await page.click(`#link${i}`);
    try {
      await page.waitForFunction(composeReady,
        { timeout: Math.max(deadline - Date.now(), 1), polling: 20 });
    } catch {
      return result({ error: `no Roundcube compose page opened (the tab shows ${page.url()})` });
    }
    await page.evaluate(watch);
    await page.click('.formbuttons .btn.send');
    // A Send once started is waited for to its end, a minute at least: a
    // message that arrived after we gave up on it would be taken for the
    // next link's (the messages are matched to the clicks in order).
    const error = await outcome(page, Math.max(deadline, Date.now() + SEND_WAIT));
    return result(error === null ? { sent: true } : { error });
  } catch (e) {
    return result({ error: `${`${e.message}`.split('\n')[0]} (the tab shows ${page.url()})` });
  } finally {
    page.off('request', see);
  }
}

async function worker(w, [user, password], queue) {
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  let boxes = [];
  page.on('dialog', async (dialog) => {
    // The browser's own boxes (Roundcube's confirm() before sending an empty
    // message, leaving a compose page): a user goes on.
    if (dialog.type() !== 'beforeunload') boxes.push(dialog.message());
    await dialog.accept();
  });
  await login(page, user, password);
  while (queue.length) {
    const i = queue.shift();
    const start = Date.now();
    boxes = [];
    const got = await one(page, i);
    if (got.error && boxes.length) got.error = [got.error, ...boxes].join(' ');
    say({ i, worker: w, ms: Date.now() - start, ...got });
  }
  await context.close();
}

try {
  const queue = job.urls.map((_, i) => i);
  await Promise.all(job.users.map((user, w) => worker(w, user, queue)));
} catch (e) {
  say({ fatal: `${e.message}`.split('\n')[0] });
  process.exitCode = 1;
} finally {
  await browser.close();
}
