// Every call gives back the wasm heap it took before it returns: the bytes in use after many
// calls equal those after a few. A leak of one byte in a thousand calls would show.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { quarn } from './support.mjs';

const { compile } = quarn;

function inUseAfter(times, call) {
  for (let i = 0; i < times; ++i) call();
  return quarn.memoryUsage().inUse;
}

function assertNoGrowth(name, times, call) {
  const settled = inUseAfter(1000, call);
  assert.equal(inUseAfter(times, call), settled, `${name}: the heap in use grew`);
}

test('a million searches leave the heap in use as they found it', () => {
  const email = compile('(\\w+)@(\\w+)\\.com');
  assertNoGrowth('search', 1_000_000, () => email.search('write to someone@example.com today'));
  email.free();
});

test('every kind of call gives back what it took', () => {
  const date = compile('(\\d{4})-(\\d\\d)');
  const star = compile('a*');
  const text = 'from 2026-12 to 2027-01 and 2028-02';
  const calls = {
    'compile and free': () => compile('(a|b)+c').free(),
    'a pattern that does not compile': () => assert.throws(() => compile('a(b')),
    'a search that ends in an error': () => assert.throws(() => star.search('a'.repeat(600))),
    'matchAll to the end': () => [...date.matchAll(text)],
    'matchAll left early': () => {
      for (const m of date.matchAll(text)) if (m) break;
    },
    'replace with a template': () => date.replace(text, '$2/$1'),
    'replace with a function': () => date.replace(text, (m) => m.group(2)),
    split: () => date.split(text),
    'a call with its own pattern': () => quarn.search('\\d+', text),
    'matchAll with its own pattern': () => [...quarn.matchAll('\\d+', text)],
  };
  for (const [name, call] of Object.entries(calls)) assertNoGrowth(name, 5000, call);
  date.free();
  star.free();
});
