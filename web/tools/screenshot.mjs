// Saves a picture of the playground: `node screenshot.mjs SITE NODE_DIR OUT.png` (NODE_DIR
// holds puppeteer-core), with the pattern and test cases of docs/workbench-cases.jsonl, a
// subject with two dates and the Matches panel open, in headless Chromium (CHROMIUM or
// /usr/bin/chromium).
import { mkdtempSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

import { serve } from './serve.mjs';

const [site, nodeDir, out] = process.argv.slice(2);
if (!out) {
  console.error('usage: node screenshot.mjs SITE NODE_MODULES_DIR OUT.png');
  process.exit(2);
}
const puppeteer = createRequire(join(resolve(nodeDir), 'package.json'))('puppeteer-core');
const cases = fileURLToPath(new URL('../../docs/workbench-cases.jsonl', import.meta.url));

const { server, url } = await serve(site);
const profile = mkdtempSync(join(tmpdir(), 'quarn-chromium-'));
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking', `--user-data-dir=${profile}`],
});
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1200, height: 680 });
  await page.goto(url);
  await (await page.$('#case-import')).uploadFile(cases);
  await page.waitForFunction(() => document.getElementById('case-summary').textContent.includes(' pass'));
  await page.$eval('#subject', (s) => {
    s.value = 'It was 14 Dec 1997 when this program was being worked on; 3 March 2026 it ran in a browser.';
    s.dispatchEvent(new Event('input', { bubbles: true }));
  });
  await page.waitForFunction(() => document.getElementById('match-count').textContent === '2 matches');
  await page.screenshot({ path: out });
} finally {
  await browser.close();
  server.close();
  rmSync(profile, { recursive: true, force: true });
}
