// "Copy as": each literal denotes exactly the units of its text. C++ is checked against the
// workbench's own CppQuarnCall (through webtools, QUARN_WEBTOOLS), Python by Python reading
// its literals, JavaScript by JavaScript reading them.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';

import { cppCall, javascriptCall, javascriptLiteral, pythonCall, pythonLiteral } from '../../src/copyas.js';

const UNITS = ['a', 'Z', ' ', '\\', '"', "'", '?', '\t', '\n', '\r', '\0', '\u007F', 'é', '\u00FF', '\u0100', '\u20AC', '\uFFFF', '\uD83D', '\uDE00', '0', 'f', 'G', '$', '{'];

// Texts from every unit above, in runs that put each next to each (lone surrogates before hex
// digits, pairs, "??").
function texts() {
  let seed = 7;
  const pick = (n) => {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    return seed % n;
  };
  const all = ['', '??=', '\uD83D\uDE00', '\uD83Da', '\uDE00F', 'a\\b"c'];
  for (let k = 0; k < 300; ++k) all.push(Array.from({ length: 1 + pick(8) }, () => UNITS[pick(UNITS.length)]).join(''));
  return all;
}

const hexUnits = (text) => Array.from({ length: text.length }, (_, i) => text.charCodeAt(i).toString(16)).join(' ');

test('C++ is written exactly as the workbench writes it', (t) => {
  const tool = process.env.QUARN_WEBTOOLS;
  assert.ok(tool, 'QUARN_WEBTOOLS is not set; run the tests through ctest --preset wasm');
  const work = mkdtempSync(join(tmpdir(), 'quarn-copyas-'));
  t.after(() => rmSync(work, { recursive: true, force: true }));
  const all = texts();
  const flags = (k) => [0, 1, 2, 4, 5, 7, 8, 13, -1][k % 9];
  const lines = all.map((text, k) => `${flags(k)}\t${hexUnits(text)}\t${hexUnits(all[all.length - 1 - k])}\n`);
  writeFileSync(join(work, 'calls.txt'), lines.join(''));
  const expected = execFileSync(process.execPath, [tool, 'cpp', join(work, 'calls.txt')], { encoding: 'utf8' }).split('\n');
  all.forEach((text, k) => assert.equal(cppCall(text, all[all.length - 1 - k], flags(k)), expected[k], JSON.stringify(text)));
});

test('Python reads back every unit of its literals', () => {
  const all = texts();
  const program = `import json, sys\nfor literal in sys.stdin.read().split("\\n")[:-1]:\n    print(json.dumps([ord(c) for c in eval(literal)]))\n`;
  const output = execFileSync('/usr/bin/python3', ['-c', program], {
    input: all.map((text) => `${pythonLiteral(text)}\n`).join(''),
    encoding: 'utf8',
  });
  const read = output.trim().split('\n').map((line) => JSON.parse(line));
  // Python counts a pair as one character, as a JavaScript string's iterator does.
  all.forEach((text, k) => assert.deepEqual(read[k], Array.from(text, (c) => c.codePointAt(0)), JSON.stringify(text)));
});

test('JavaScript reads back every unit of its literals', () => {
  for (const text of texts()) assert.equal(new Function(`return ${javascriptLiteral(text)};`)(), text, JSON.stringify(text));
});

test('the calls name the flags as each language does', () => {
  assert.equal(cppCall('t', 'p', 5), 'quarn::Quarn(u"t", u"p", quarn::reIgnoreCase | quarn::reMultiline)');
  assert.equal(cppCall('t', 'p', 0), 'quarn::Quarn(u"t", u"p", 0)');
  assert.match(pythonCall('t', 'p', 3), /quarn\.search\('p', 't', quarn\.IGNORECASE \| quarn\.SINGLELINE\)/);
  assert.match(pythonCall('t', 'p', 8), /quarn\.search\('p', 't', 8\)/);
  assert.match(javascriptCall('t', 'p', 6), /search\('p', 't', \{ flags: 'sm' \}\);/);
  assert.match(javascriptCall('t', 'p', 0), /search\('p', 't'\);/);
  assert.match(javascriptCall('t', 'p', 9), /search\('p', 't', \{ flags: 9 \}\);/);
});
