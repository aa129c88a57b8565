// Opens a page written with "-h" in headless Chromium and checks what a
// reader sees and what a mail program would receive.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const exe = process.env.KUVERTPFEIL_EXE;
const artifacts = process.env.KUVERTPFEIL_ARTIFACTS;
assert.ok(exe && artifacts, 'KUVERTPFEIL_EXE and KUVERTPFEIL_ARTIFACTS must be set');

// Umlauts, HTML and URL metacharacters, line breaks, a NUL and a 0xFF byte.
const message = Buffer.concat([
  Buffer.from('Grüße & #1: 100% "zitiert" <b>\'x\'\nZweite Zeile\r\n', 'utf8'),
  Buffer.from([0x00, 0xff, 0x41, 0x0a]),
]);

let browser;
let page;

before(async () => {
  mkdirSync(artifacts, { recursive: true });
  const source = path.join(artifacts, 'message.txt');
  const target = path.join(artifacts, 'page.html');
  writeFileSync(source, message);
  execFileSync(exe, ['Jürgen Ärger', 'juergen@example.org', 'Frage zu Ihrem Angebot',
    source, target, '-h']);
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--no-first-run'],
  });
  page = await browser.newPage({ viewport: { width: 1000, height: 400 } });
  await page.goto(pathToFileURL(target).href);
  await page.screenshot({ path: path.join(artifacts, 'page.png') });
  const box = await page.locator('a.endverweis').boundingBox();
  await page.screenshot({
    path: path.join(artifacts, 'button.png'),
    clip: { x: box.x - 60, y: 0, width: box.width + 120, height: box.y + box.height + 24 },
  });
});

after(async () => {
  await browser?.close();
});

function styleOf(selector, properties) {
  return page.$eval(selector, (element, names) => {
    const style = getComputedStyle(element);
    return Object.fromEntries(names.map((name) => [name, style.getPropertyValue(name)]));
  }, properties);
}

// Percent-decoding byte by byte: "%ff" is one byte 0xFF, not a character.
function percentDecode(text) {
  const bytes = [];
  for (let i = 0; i < text.length; i += 1) {
    if (text[i] === '%') {
      bytes.push(parseInt(text.slice(i + 1, i + 3), 16));
      i += 2;
    } else {
      bytes.push(...Buffer.from(text[i], 'utf8'));
    }
  }
  return Buffer.from(bytes);
}

test('the button is centred horizontally', async () => {
  const box = await page.locator('a.endverweis').boundingBox();
  const centre = (await page.evaluate(() => document.documentElement.clientWidth)) / 2;
  assert.ok(Math.abs(box.x + box.width / 2 - centre) <= 1.5, `centre ${box.x + box.width / 2}`);
  assert.ok(box.width > 100 && box.height > 20, 'a button of some size');
});

test('page, button face and typeface follow the style sheet', async () => {
  assert.deepEqual(await styleOf('body', ['color', 'background-color']), {
    color: 'rgb(0, 0, 153)', 'background-color': 'rgb(255, 224, 96)',
  });
  assert.deepEqual(await styleOf('a.endverweis', [
    'color', 'background-color', 'text-decoration-line', 'border-top-style',
    'border-left-style', 'border-top-color', 'border-bottom-width', 'padding-top',
    'padding-left', 'font-weight', 'font-size']), {
    color: 'rgb(0, 0, 255)',
    'background-color': 'rgb(208, 208, 208)',
    'text-decoration-line': 'none',
    'border-top-style': 'outset',
    'border-left-style': 'outset',
    'border-top-color': 'rgb(160, 160, 160)',
    'border-bottom-width': '3px',
    'padding-top': '3.77953px',
    'padding-left': '11.3386px',
    'font-weight': '700',
    'font-size': '24px',
  });
  const typeface = await styleOf('div.endverweisf', ['font-family', 'font-size', 'font-weight']);
  assert.deepEqual(typeface, { 'font-family': 'Arial', 'font-size': '24px', 'font-weight': '700' });
});

test('hovering changes the colours', async () => {
  await page.hover('a.endverweis');
  assert.deepEqual(await styleOf('a.endverweis', ['color', 'background-color']), {
    color: 'rgb(255, 0, 0)', 'background-color': 'rgb(255, 221, 0)',
  });
  await page.screenshot({ path: path.join(artifacts, 'page-hover.png') });
  await page.mouse.move(0, 0);
});

test('the link carries recipient, subject and the exact message bytes', async () => {
  const href = await page.$eval('a.endverweis', (a) => a.href);
  const text = await page.$eval('a.endverweis', (a) => a.textContent.trim());
  assert.equal(text, 'Nachricht an Jürgen Ärger');
  const url = new URL(href);
  assert.equal(url.protocol, 'mailto:');
  assert.equal(decodeURIComponent(url.pathname), 'Jürgen Ärger <juergen@example.org>');
  const query = url.search.slice(1);
  const bodyStart = query.indexOf('&body=');
  assert.equal(query.slice(0, bodyStart), 'subject=Frage%20zu%20Ihrem%20Angebot');
  assert.deepEqual(percentDecode(query.slice(bodyStart + '&body='.length)), message);
});
