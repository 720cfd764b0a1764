// The playground in a real browser: headless Chromium (the system's, CHROMIUM or
// /usr/bin/chromium) driven by puppeteer-core (from QUARN_WEB_NODE), on the built site
// (QUARN_WEB_SITE) served on localhost. It types a pattern and sees the highlights and the
// table, causes an error and sees the caret, sees the warnings and the explanation tree, opens a
// permalink and sees the same state, runs the workbench's test cases, stops a runaway search,
// and feeds the page bad input.
import assert from 'node:assert/strict';
import { mkdtempSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';

import { serve } from '../../tools/serve.mjs';

function required(name) {
  const value = process.env[name];
  if (!value) throw new Error(`${name} is not set; run these tests through ctest --preset wasm`);
  return value;
}

const puppeteer = createRequire(join(resolve(required('QUARN_WEB_NODE')), 'package.json'))('puppeteer-core');
const workbenchCases = fileURLToPath(new URL('../../../docs/workbench-cases.jsonl', import.meta.url));

let server;
let site;
let browser;
let profile;

before(async () => {
  ({ server, url: site } = await serve(required('QUARN_WEB_SITE')));
  profile = mkdtempSync(join(tmpdir(), 'quarn-chromium-'));
  browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: [
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
      `--user-data-dir=${profile}`,
    ],
  });
});

after(async () => {
  await browser?.close();
  server?.close();
  if (profile) rmSync(profile, { recursive: true, force: true });
});

// A fresh page at the playground (with fragment, if given), its first results shown.
async function open(t, fragment = '') {
  const page = await browser.newPage();
  t.after(() => page.close());
  const failures = [];
  page.on('pageerror', (error) => failures.push(error.message));
  t.after(() => assert.deepEqual(failures, [], 'the page threw'));
  // Waits are for results, not timings: a machine busy with other tests may take its time.
  page.setDefaultTimeout(120000);
  await page.setViewport({ width: 1280, height: 860 });
  await page.goto(site + fragment);
  await settled(page);
  return page;
}

// Waits until the worker has answered the latest input.
async function settled(page) {
  await page.waitForFunction(() => {
    const status = document.getElementById('status-text').textContent;
    return status !== '' && !status.startsWith('Searching');
  });
}

async function setField(page, id, value) {
  await page.$eval(
    `#${id}`,
    (field, text) => {
      field.value = text;
      field.dispatchEvent(new Event('input', { bubbles: true }));
    },
    value,
  );
}

// The same for a long text, made in the page: prefix, then unit times over.
async function setLongField(page, id, prefix, unit, times) {
  await page.$eval(
    `#${id}`,
    (field, start, piece, count) => {
      field.value = start + piece.repeat(count);
      field.dispatchEvent(new Event('input', { bubbles: true }));
    },
    prefix,
    unit,
    times,
  );
}

const texts = (page, selector) => page.$$eval(selector, (nodes) => nodes.map((n) => n.textContent));
const statusText = (page) => page.$eval('#status-text', (s) => s.textContent);

test('a typed pattern shows every match and group highlighted and in the table', async (t) => {
  const page = await open(t);
  await setField(page, 'subject', 'mail ann@example.org or bob@test.net\nnow');
  await page.click('#pattern', { clickCount: 3 });
  await page.keyboard.press('Backspace');
  await page.type('#pattern', '(\\w+)@(\\w+)\\.(\\w+)');
  // The patterns typed on the way there answer too; the last one has a third group.
  await page.waitForFunction(
    () =>
      document.getElementById('match-count').textContent === '2 matches' &&
      document.querySelectorAll('#highlights mark.g3').length === 2,
  );
  assert.deepEqual(await texts(page, '#highlights mark.g1'), ['ann', 'bob']);
  assert.deepEqual(await texts(page, '#highlights mark.g3'), ['org', 'net']);
  const rows = await page.$$eval('#match-table tbody tr', (trs) => trs.map((tr) => [...tr.cells].map((c) => c.textContent)));
  assert.deepEqual(rows, [
    ['1', '5', '20', 'ann@example.org', 'ann', 'example', 'org'],
    ['2', '24', '36', 'bob@test.net', 'bob', 'test', 'net'],
  ]);
});

test('an error shows the report and a caret under its place, and nothing is searched', async (t) => {
  const page = await open(t);
  await setField(page, 'pattern', 'ab(c');
  await page.waitForSelector('#diagnostics li.error');
  const [report, caret] = await page.$eval('#diagnostics li.error', (li) => [li.firstChild.textContent, li.querySelector('.caret').textContent]);
  assert.match(report, /^Error #20052: Error in Quarn\.ProcessParentheses: /);
  assert.equal(caret, 'ab(c\n  ^');
  assert.equal(await page.$eval('#pattern', (p) => p.getAttribute('aria-invalid')), 'true');
  assert.equal(await statusText(page), 'The pattern does not compile.');
  assert.equal(await page.$$eval('#highlights mark', (m) => m.length), 0);
  await setField(page, 'pattern', 'ab(c)');
  await page.waitForSelector('#diagnostics[hidden]');
});

test('the diagnostics show a fault before any search reaches it, and the warnings', async (t) => {
  const page = await open(t);
  // The example's subject has no "q", so a search never comes to the faulty repeat.
  await setField(page, 'pattern', 'qx{3,1}|a\\z');
  await page.waitForFunction(() => document.getElementById('status-text').textContent === 'No match');
  const items = await page.$$eval('#diagnostics li', (lis) => lis.map((li) => [li.className, li.firstChild.textContent, li.querySelector('.caret').textContent]));
  assert.equal(items.length, 2);
  assert.equal(items[0][0], 'error');
  assert.match(items[0][1], /^Error #20050: .*Upper limit is less than lower limit/);
  assert.equal(items[0][2], 'qx{3,1}|a\\z\n  ^^^^^');
  assert.equal(items[1][0], 'warning');
  assert.match(items[1][1], /^Warning: \\z is just the letter z here/);
  assert.equal(items[1][2], 'qx{3,1}|a\\z\n         ^^');
});

test('the explanation shows how the engine reads the pattern, and selects what a line reads', async (t) => {
  const page = await open(t);
  await setField(page, 'pattern', '(\\d+)|x*');
  await page.keyboard.down('Alt');
  await page.keyboard.press('5');
  await page.keyboard.up('Alt');
  await page.waitForFunction(() => document.querySelectorAll('#explanation button').length > 3);
  const lines = await page.$$eval('#explanation button', (buttons) => buttons.map((b) => [b.querySelector('code').textContent, b.querySelector('.kind').textContent]));
  assert.deepEqual(lines.slice(0, 3), [['(\\d+)|x*', 'alternation'], ['(\\d+)', 'sequence'], ['(\\d+)', 'group']]);
  const repeat = await page.$$('#explanation button');
  await repeat[lines.findIndex(([text, kind]) => kind === 'repeat' && text === 'x*')].click();
  assert.deepEqual(await page.$eval('#pattern', (p) => [p.selectionStart, p.selectionEnd, document.activeElement === p]), [6, 8, true]);
});

test('a permalink opens the same state, and a malformed one says why', async (t) => {
  const page = await open(t);
  await setField(page, 'pattern', '^b\\w*');
  await page.click('#flag-m');
  await setField(page, 'subject', 'alpha\nbeta\u{1F600}\nbig');
  await page.click('#tab-cases');
  await page.click('#case-add');
  await settled(page);
  await page.click('#copy-link');
  await page.waitForFunction(() => location.hash.startsWith('#v1.'));
  const link = page.url();

  const copy = await open(t, link.slice(site.length));
  assert.equal(await copy.$eval('#pattern', (p) => p.value), '^b\\w*');
  assert.equal(await copy.$eval('#flag-m', (f) => f.checked), true);
  assert.equal(await copy.$eval('#subject', (s) => s.value), 'alpha\nbeta\u{1F600}\nbig');
  assert.equal(await copy.$eval('#match-count', (c) => c.textContent), '2 matches');
  assert.equal(await copy.$eval('#case-summary', (s) => s.textContent), '1 of 1 pass');

  const broken = await open(t, '#v1.not-a-state');
  assert.match(await broken.$eval('#notice', (n) => n.textContent), /^This link could not be read: its data does not unpack/);
  assert.equal(await broken.$eval('#notice', (n) => n.hidden), false);
});

test("the workbench's case file runs, and each case says whether it passes", async (t) => {
  const page = await open(t);
  await page.keyboard.down('Alt');
  await page.keyboard.press('4');
  await page.keyboard.up('Alt');
  assert.equal(await page.$eval('#panel-cases', (p) => p.hidden), false);
  const input = await page.$('#case-import');
  await input.uploadFile(workbenchCases);
  await page.waitForFunction(() => document.getElementById('case-summary').textContent === '2 of 3 pass');
  assert.match(await page.$eval('#pattern', (p) => p.value), /^\(\[1-2\]\[0-9\]/);
  assert.deepEqual(await texts(page, '#case-table .case-result'), ['pass', 'pass', 'fail: matched “2 Dec 1997”']);
  await page.click('#case-table tr[data-case="2"] .case-expect');
  await page.waitForFunction(() => document.getElementById('case-summary').textContent === '3 of 3 pass');
});

test('a runaway search is stopped by Esc or by the next input, and the page answers meanwhile', async (t) => {
  const page = await open(t);
  // Lazy repeats nested eleven deep on 32,000 units, with room to go deep: minutes of work. Two
  // digits in a row, which the subject never has, are no fact the engine rules a search out by.
  await setField(page, 'limit-depth', '1000000');
  await setLongField(page, 'subject', '', '1,', 16000);
  await setField(page, 'pattern', '(.*?,){11}\\d\\d');
  await page.waitForSelector('#stop:not([hidden])');
  assert.match(await statusText(page), /^Searching… /);
  assert.equal(await page.evaluate(() => document.getElementById('pattern').value), '(.*?,){11}\\d\\d');
  await page.keyboard.press('Escape');
  await page.waitForFunction(() => document.getElementById('status-text').textContent.startsWith('Stopped.'));

  await setField(page, 'pattern', '(.*?,){11}\\d\\d');
  await page.waitForSelector('#stop:not([hidden])');
  await setField(page, 'pattern', '(\\d,){4000}');
  await page.waitForFunction(() => document.getElementById('match-count').textContent === '4 matches');
  assert.equal(await page.$eval('#stop', (s) => s.hidden), true);
});

test('replace and split previews come from the engine', async (t) => {
  const page = await open(t);
  await setField(page, 'subject', 'a1b22c');
  await setField(page, 'pattern', '\\d+');
  await page.keyboard.down('Alt');
  await page.keyboard.press('2');
  await page.keyboard.up('Alt');
  await setField(page, 'replacement', '<$0$$>');
  await page.waitForFunction(() => document.getElementById('replace-preview').textContent === 'a<1$>b<22$>c');
  await page.click('#tab-split');
  await page.waitForFunction(() => document.getElementById('split-count').textContent === '3 pieces');
  assert.deepEqual(await texts(page, '#split-preview li'), ['a', 'b', 'c']);
});

test('bad input gives a clear message and the page goes on', async (t) => {
  const page = await open(t);
  await setField(page, 'pattern', 'b');
  await setLongField(page, 'subject', 'a\uD800b', 'x', 10 * 1024 * 1024);
  await page.waitForFunction(() => document.getElementById('status').className === 'error');
  assert.match(await statusText(page), /^Error #6: Error in Quarn\.FindFirstMatch: Overflow .*Raise Subject length under Limits/);
  assert.match(await page.$eval('#input-note', (n) => n.textContent), /The subject holds a lone surrogate \(U\+D800\) at 1;/);
  assert.match(await page.$eval('#subject-aside', (n) => n.textContent), /The subject is 10,485,763 units long, too long to edit here/);
  assert.equal(await page.$eval('#subject', (s) => [s.value.length, s.readOnly].join()), '100000,true');

  await setLongField(page, 'pattern', '', 'a', 1_000_000);
  await page.waitForSelector('#diagnostics li.error');
  const [report, caret] = await page.$eval('#diagnostics li.error', (li) => [li.firstChild.textContent, li.querySelector('.caret').textContent]);
  assert.match(report, /^Error #6: /);
  assert.equal(caret, `${'a'.repeat(120)}…\n${'^'.repeat(60)}`, 'a fault over the whole pattern is marked at its start');
  assert.equal(await page.$eval('#pattern', (p) => p.value.length), 1_000_000);

  await setField(page, 'pattern', 'x\uDC00');
  await page.waitForSelector('#diagnostics[hidden]');
  assert.match(await page.$eval('#input-note', (n) => n.textContent), /^The pattern holds a lone surrogate \(U\+DC00\) at 1;.* The subject holds a lone surrogate \(U\+D800\) at 1;/);

  await setField(page, 'pattern', '\\w+');
  await page.click('#subject-clear');
  await page.type('#subject', 'word ');
  await setLongField(page, 'subject', '', 'word ', 200_000);
  await setField(page, 'limit-subject', '4294967295');
  await page.waitForFunction(() => document.getElementById('match-count').textContent === '200,000 matches');
  assert.match(await page.$eval('#match-more', (m) => m.textContent), /first 1,000 of 200,000/);
  assert.equal(await page.$$eval('#highlights mark', (m) => m.length), 5000);
});

test('"copy as" copies the call in each language, by key or by button', async (t) => {
  const page = await open(t);
  await page.evaluate(() => {
    window.copied = [];
    navigator.clipboard.writeText = async (text) => window.copied.push(text);
  });
  await setField(page, 'pattern', 'a"b');
  await setField(page, 'subject', 'x\ny');
  await page.click('#flag-i');
  await page.keyboard.down('Alt');
  await page.keyboard.down('Shift');
  await page.keyboard.press('KeyC');
  await page.keyboard.up('Shift');
  await page.keyboard.up('Alt');
  await page.select('#copy-as-language', 'python');
  await page.click('#copy-as');
  await page.select('#copy-as-language', 'javascript');
  await page.click('#copy-as');
  await page.waitForFunction(() => window.copied.length === 3);
  assert.deepEqual(await page.evaluate(() => window.copied), [
    'quarn::Quarn(u"x\\r\\ny", u"a\\"b", quarn::reIgnoreCase)',
    "import quarn\n\nmatch = quarn.search('a\"b', 'x\\r\\ny', quarn.IGNORECASE)\n",
    "import { search } from 'quarn';\n\nconst match = search('a\"b', 'x\\r\\ny', { flags: 'i' });\n",
  ]);
});

test('the dark scheme is chosen from the menu and kept', async (t) => {
  const page = await open(t);
  await page.select('#scheme', 'dark');
  const background = () => page.evaluate(() => getComputedStyle(document.body).backgroundColor);
  assert.equal(await background(), 'rgb(27, 29, 34)');
  await page.reload();
  await settled(page);
  assert.equal(await background(), 'rgb(27, 29, 34)');
  await page.select('#scheme', 'light');
  assert.equal(await background(), 'rgb(255, 255, 255)');
});
