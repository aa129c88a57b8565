// Opens a page written with "-h" in a headless browser (KUVERTPFEIL_BROWSER:
// chromium or firefox) and checks what a reader sees and what a mail
// program would receive.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { launch, firstPage } from './browsers.mjs';

const exe = process.env.KUVERTPFEIL_EXE;
const browserName = process.env.KUVERTPFEIL_BROWSER;
assert.ok(exe && process.env.KUVERTPFEIL_ARTIFACTS && browserName,
  'KUVERTPFEIL_EXE, KUVERTPFEIL_ARTIFACTS and KUVERTPFEIL_BROWSER must be set');
const artifacts = path.join(process.env.KUVERTPFEIL_ARTIFACTS, browserName);

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
  browser = await launch(browserName);
  page = await firstPage(browser);
  await page.setViewport({ width: 1000, height: 400 });
  await page.goto(pathToFileURL(target).href);
  await page.screenshot({ path: path.join(artifacts, 'page.png') });
  const box = await buttonBox();
  await page.screenshot({
    path: path.join(artifacts, 'button.png'),
    clip: { x: box.x - 60, y: 0, width: box.width + 120, height: box.y + box.height + 24 },
  });
});

after(async () => {
  await browser?.close();
});

async function buttonBox() {
  return (await page.$('a.endverweis')).boundingBox();
}

function styleOf(selector, properties) {
  return page.$eval(selector, (element, names) => {
    const style = getComputedStyle(element);
    return Object.fromEntries(names.map((name) => [name, style.getPropertyValue(name)]));
  }, properties);
}

// Lengths as numbers: 1mm is 3.7795...px, which a browser may round to its
// own layout units and print to its own precision.
function assertPixels(actual, expected) {
  for (const [name, value] of Object.entries(expected)) {
    assert.match(actual[name], /^[\d.]+px$/, name);
    assert.ok(Math.abs(parseFloat(actual[name]) - value) < 0.05, `${name}: ${actual[name]}`);
  }
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
  const box = await buttonBox();
  const centre = (await page.evaluate(() => document.documentElement.clientWidth)) / 2;
  assert.ok(Math.abs(box.x + box.width / 2 - centre) <= 1.5, `centre ${box.x + box.width / 2}`);
  assert.ok(box.width > 100 && box.height > 20, 'a button of some size');
});

test('page, button face and typeface follow the style sheet', async () => {
  assert.deepEqual(await styleOf('body', ['color', 'background-color']), {
    color: 'rgb(0, 0, 153)', 'background-color': 'rgb(255, 224, 96)',
  });
  const lengths = { 'border-bottom-width': 3, 'padding-top': 3.7795, 'padding-left': 11.3386,
    'font-size': 24 };
  const button = await styleOf('a.endverweis', [
    'color', 'background-color', 'text-decoration-line', 'border-top-style',
    'border-left-style', 'border-top-color', 'font-weight', ...Object.keys(lengths)]);
  assertPixels(button, lengths);
  const others = Object.entries(button).filter(([name]) => !(name in lengths));
  assert.deepEqual(Object.fromEntries(others), {
    color: 'rgb(0, 0, 255)',
    'background-color': 'rgb(208, 208, 208)',
    'text-decoration-line': 'none',
    'border-top-style': 'outset',
    'border-left-style': 'outset',
    'border-top-color': 'rgb(160, 160, 160)',
    'font-weight': '700',
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
