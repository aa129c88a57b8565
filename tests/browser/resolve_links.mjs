// Resolves the link-check cases and a set of messages in Chromium and in
// Firefox, for the mail-program tests to read, and fails where the two
// browsers read a link differently or a rewrite is not the table's.
//
//   KUVERTPFEIL_EXE=build/kuvertpfeil node resolve_links.mjs CASES.tsv OUT.json [MESSAGES.json]
//
// CASES.tsv holds one case per line: field (name, address or subject), the
// field as typed (escapes \t \n \r \\ \xHH), the rules that must fire, where
// the link breaks, optionally the rewrite the notes must suggest ("-" for
// none), and an optional "#" comment. Each rewrite the notes suggest is run
// as a case of its own, after the others: rules and breaks "-". The other
// two fields are always name "Max Mustermann", address "max.mustermann@example.com",
// subject "Anfrage", and the message "Hallo,\nbis bald!\n". MESSAGES.json, where
// given, replaces the set of messages: [{"label", "message_base64"}].
//
// OUT.json (the pages beside it, in pages/):
// {
//   "fixed": {"name", "address", "subject"}: the harmless fields,
//   "message_base64": the message of every case,
//   "cases": [{
//     "line": line number in CASES.tsv,
//     "field", "typed", "rules", "breaks": the columns as written there,
//     "comment": the comment without "#", or "",
//     "exit": the program's exit status,
//     "notes": its standard error (UTF-8, or Latin-1 where not UTF-8),
//     "attribute": the anchor's href attribute as the page reads it,
//     "href": the URL Chromium hands to the mail program (a.href),
//     "firefox_href": the same from Firefox,
//     "button": the anchor's textContent,
//     "meant": {"name", "address", "subject"}: each field as typed
//       (UTF-8, or Latin-1 where not UTF-8) read as an HTML attribute value,
//       character references decoded; not percent-decoded, not trimmed
//   }],
//   "messages": [{
//     "label": what the message tests,
//     "message_base64": the message bytes,
//     "exit", "notes", "href", "firefox_href": as for the cases
//   }]
// }
// attribute, href and button are null where the page has no a.endverweis.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { browserNames, launch, firstPage } from './browsers.mjs';

const exe = process.env.KUVERTPFEIL_EXE;
const [casesFile, outFile, messagesFile] = process.argv.slice(2);
assert.ok(exe && casesFile && outFile,
  'usage: KUVERTPFEIL_EXE=... node resolve_links.mjs CASES.tsv OUT.json');

const fixed = { name: 'Max Mustermann', address: 'max.mustermann@example.com', subject: 'Anfrage' };
const fixedMessage = Buffer.from('Hallo,\nbis bald!\n');
const pages = path.join(path.dirname(outFile), 'pages');
mkdirSync(pages, { recursive: true });

function utf8OrLatin1(bytes) {
  try {
    return new TextDecoder('utf-8', { fatal: true }).decode(bytes);
  } catch {
    return Buffer.from(bytes).toString('latin1');
  }
}

// The typed bytes, or a string that says what is wrong with them.
function unescapeTyped(typed) {
  const bytes = [];
  for (const [all, escape] of typed.matchAll(/\\(x[0-9a-fA-F]{2}|[tnr\\])|\\|[^\\]+/g)) {
    if (all === '\\') return `a backslash that starts no escape in "${typed}"`;
    if (!escape) bytes.push(...Buffer.from(all, 'utf8'));
    else if (escape[0] === 'x') bytes.push(parseInt(escape.slice(1), 16));
    else bytes.push({ t: 9, n: 10, r: 13, '\\': 92 }[escape]);
  }
  return bytes.includes(0) ? 'a NUL byte, which no argument can hold' : Buffer.from(bytes);
}

function readCases(file) {
  const cases = [];
  readFileSync(file, 'utf8').split(/\r?\n/).forEach((text, index) => {
    if (text === '' || text.startsWith('#')) return;
    const [field, typed, rules, breaks, ...more] = text.split('\t');
    const rewrite = more[0]?.startsWith('#') ? '' : more.shift() ?? '';
    const [comment = '', ...rest] = more;
    const bytes = breaks === undefined ? 'fewer than four columns'
      : !['name', 'address', 'subject'].includes(field) ? `field "${field}"`
        : rest.length || (comment && !comment.startsWith('#')) ? 'a sixth column not a comment'
          : unescapeTyped(typed);
    if (typeof bytes === 'string') throw new Error(`${file}:${index + 1}: ${bytes}`);
    cases.push({ line: index + 1, field, typed, bytes, rules, breaks, rewrite,
      comment: comment.replace(/^#\s*/, '') });
  });
  return cases;
}

// Node passes arguments as UTF-8 strings, so the bytes go through printf.
function octal(bytes) {
  return [...bytes].map((b) => `\\${b.toString(8).padStart(3, '0')}`).join('');
}

function run(fields, message, target) {
  writeFileSync(`${target}.msg`, message);
  const env = { ...process.env, EXE: exe };
  ['name', 'address', 'subject'].forEach((key, i) => { env[`F${i}`] = octal(fields[key]); });
  const script = 'a=$(printf "$F0"; echo .); b=$(printf "$F1"; echo .); c=$(printf "$F2"; echo .)\n'
    + 'exec "$EXE" "${a%.}" "${b%.}" "${c%.}" "$0" "$1" -h';
  const result = spawnSync('/bin/sh', ['-c', script, `${target}.msg`, target], { env });
  if (result.error) throw result.error;
  return { exit: result.status, notes: utf8OrLatin1(result.stderr) };
}

// Each browser's reading of every page and of every field as meant. The
// pages load in frames of one tab, a few at a time: a navigation per page
// would cost ten times as long.
async function readPages(starting, targets, typedFields) {
  const browser = await starting;
  try {
    const page = await firstPage(browser);
    await page.goto(pathToFileURL(targets[0]).href);
    const readings = await page.evaluate(async (urls) => {
      const read = (url) => new Promise((resolve) => {
        const frame = document.createElement('iframe');
        frame.onload = () => {
          const a = frame.contentDocument.querySelector('a.endverweis');
          resolve(a && { attribute: a.getAttribute('href'), href: a.href, button: a.textContent });
          frame.remove();
        };
        frame.src = url;
        document.body.append(frame);
      });
      const all = [];
      for (let i = 0; i < urls.length; i += 16) {
        all.push(...await Promise.all(urls.slice(i, i + 16).map(read)));
      }
      return all;
    }, targets.map((target) => pathToFileURL(target).href));
    const meant = await page.evaluate((values) => values.map((value) => {
      const template = document.createElement('template');
      template.innerHTML = `<a title="${value.replaceAll('"', '&quot;')}"></a>`;
      return template.content.firstChild.getAttribute('title');
    }), typedFields);
    return { readings, meant };
  } finally {
    await browser.close();
  }
}

// A URL with escapes made uniform, so that two browsers that encode
// differently but mean the same compare equal: reserved characters keep their
// form (raw "&" and "%26" differ), bytes that never need an escape are
// written raw, all others as upper-case escapes; a "%" without two hex
// digits stays as it is.
function canonical(url) {
  if (url === null) return null;
  const reserved = ':/?#[]@$&+,;=%';
  const plain = /[A-Za-z0-9\-._~!'()*]/;
  const escape = (b) => `%${b.toString(16).toUpperCase().padStart(2, '0')}`;
  let out = '';
  for (const [unit, hex] of url.matchAll(/%([0-9a-fA-F]{2})|[^]/gu)) {
    if (hex) {
      const b = parseInt(hex, 16);
      out += plain.test(String.fromCharCode(b)) ? String.fromCharCode(b) : escape(b);
    } else if (reserved.includes(unit) || plain.test(unit)) {
      out += unit;
    } else {
      out += [...Buffer.from(unit, 'utf8')].map(escape).join('');
    }
  }
  return out;
}

const cases = readCases(casesFile);
const defaultMessages = [
  ['line feeds', 'Hallo,\n\nbis bald!\n'],
  ['CR LF', 'Hallo,\r\nbis bald!\r\n'],
  ['tabs', 'Posten\t1\t9,99 EUR\n'],
  ['empty', ''],
  ['no final line feed', 'Hallo,\nbis bald!'],
  ['umlauts', 'Grüße aus Köln, Ärger über Öl\n'],
  ['a 1,500-byte line', `${'0123456789'.repeat(150)}\n`],
  ['every ASCII byte 0x01-0x7F', Buffer.from(Array.from({ length: 127 }, (_, i) => i + 1))],
  ['Latin-1', Buffer.from('Grüße aus Köln', 'latin1')],
  ['a NUL byte', Buffer.from('vor\0nach\n', 'latin1')],
  ['a "<"', 'Preis < 10 EUR\nzweite Zeile\n'],
  ['a lone ">"', 'a > b, 5 >= 3\n'],
  ['"%" and two hex digits', '100%ab Rabatt, Code %41\n'],
  ['"#", "&", "=" and a lone "%"', 'Rechnung #4711, Müller & Co, a & b=c, 20% Rabatt\n'],
  ['"&" before "="', 'Q&A: x=1\n'],
  ['"&" first', '& Co: Anfrage\n'],
].map(([label, text]) => ({ label, bytes: Buffer.from(text) }));
const messages = messagesFile
  ? JSON.parse(readFileSync(messagesFile, 'utf8')).map(({ label, message_base64: base64 }) => (
    { label, bytes: Buffer.from(base64, 'base64') }))
  : defaultMessages;

// Every run: the fixed fields with one of them changed, and a message. The
// browsers start while the program writes the pages.
const fieldNames = Object.keys(fixed);
const started = Date.now();
const starting = browserNames.map(launch);
const runs = [];
const write = (where, change, message) => {
  const fields = Object.fromEntries(fieldNames.map((k) => [k, Buffer.from(fixed[k])]));
  const r = { where, message, fields };
  if (change.length) r.fields[change[0]] = change[1];
  r.target = path.join(pages, `${runs.length + 1}.html`);
  runs.push(Object.assign(r, run(r.fields, r.message, r.target)));
};
cases.forEach((c) => write(`${casesFile}:${c.line} (${c.field} "${c.typed}")`, [c.field, c.bytes],
  fixedMessage));

// The "Vorschlag" that a case's notes end with, checked against the table,
// is a case of its own: it must get no note and arrive as meant.
const problems = [];
const labels = { name: 'Empfaengername', address: 'Empfaengeradresse', subject: 'Betreffzeile' };
const rewrites = cases.flatMap((c, i) => {
  const line = runs[i].notes.match(new RegExp(`^ Hinweis: Vorschlag fuer ${labels[c.field]}: "(.*)"$`, 'm'));
  const rewrite = line ? line[1] : '-';
  if (c.rewrite && c.rewrite !== rewrite) {
    problems.push(`${casesFile}:${c.line}: the rewrite is ${JSON.stringify(rewrite)}, `
      + `the table says ${JSON.stringify(c.rewrite)}`);
  }
  return line ? [{ ...c, typed: rewrite, bytes: Buffer.from(rewrite), rules: '-', breaks: '-',
    rewrite: '', comment: `the rewrite of line ${c.line}` }] : [];
});
rewrites.forEach((c) => write(`${casesFile}:${c.line} rewritten (${c.field} "${c.typed}")`,
  [c.field, c.bytes], fixedMessage));
const allCases = [...cases, ...rewrites];
messages.forEach((m) => write(`message "${m.label}"`, [], m.bytes));
console.log(`${runs.length} pages written in ${Date.now() - started} ms`);

const typedFields = runs.flatMap((r) => fieldNames.map((k) => utf8OrLatin1(r.fields[k])));
const [chromium, firefox] = await Promise.all(browserNames.map(async (name, i) => {
  const result = await readPages(starting[i], runs.map((r) => r.target), typedFields);
  console.log(`${name}: started and read ${runs.length} pages in ${Date.now() - started} ms`);
  return result;
}));

// The two browsers must agree on everything a mail program is handed.
const differ = (where, what, x, y) => {
  if (x !== y) {
    problems.push(`${where}: ${what}\n  chromium: ${JSON.stringify(x)}\n`
      + `  firefox:  ${JSON.stringify(y)}`);
  }
};
runs.forEach((r, i) => {
  const [c, f] = [chromium.readings[i], firefox.readings[i]];
  differ(r.where, 'a.endverweis found', Boolean(c), Boolean(f));
  if (c && f) {
    differ(r.where, 'href attribute', c.attribute, f.attribute);
    differ(r.where, 'URL, escapes made uniform', canonical(c.href), canonical(f.href));
    differ(r.where, 'button text', c.button, f.button);
  }
  fieldNames.forEach((k, j) => differ(r.where, `${k} as meant`, chromium.meant[3 * i + j],
    firefox.meant[3 * i + j]));
});

const results = runs.map((r, i) => ({
  exit: r.exit,
  notes: r.notes,
  attribute: chromium.readings[i]?.attribute ?? null,
  href: chromium.readings[i]?.href ?? null,
  firefox_href: firefox.readings[i]?.href ?? null,
  button: chromium.readings[i]?.button ?? null,
  meant: Object.fromEntries(fieldNames.map((k, j) => [k, chromium.meant[3 * i + j]])),
}));
writeFileSync(outFile, `${JSON.stringify({
  fixed,
  message_base64: fixedMessage.toString('base64'),
  cases: allCases.map((c, i) => ({
    line: c.line, field: c.field, typed: c.typed, rules: c.rules, breaks: c.breaks,
    comment: c.comment, ...results[i],
  })),
  messages: messages.map((m, i) => {
    const { exit, notes, href, firefox_href: firefoxHref } = results[allCases.length + i];
    return { label: m.label, message_base64: m.bytes.toString('base64'), exit, notes, href,
      firefox_href: firefoxHref };
  }),
}, null, 1)}\n`);

console.log(`${cases.length} cases, ${rewrites.length} rewrites and ${messages.length} messages `
  + `written to ${outFile}`);
if (problems.length) {
  console.error(`${problems.length} problems (rewrites that differ from the table, and `
    + `readings where Chromium and Firefox disagree):\n${problems.join('\n')}`);
  process.exit(1);
}
