// Test case files in the workbench's format: the playground reads the workbench's own example
// and writes it back byte for byte, and refuses what the workbench refuses, saying why.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { test } from 'node:test';

import { failure, readCases, writeCases } from '../../src/cases.js';

const example = readFileSync(new URL('../../../docs/workbench-cases.jsonl', import.meta.url), 'utf8');

test("the workbench's case file reads and writes back unchanged", () => {
  const file = readCases(example);
  assert.equal(file.cases.length, 3);
  assert.match(file.pattern, /^\(\[1-2\]/);
  assert.deepEqual(file.cases[2], { name: 'no day 32', subject: 'On 32 Dec 1997 nothing happened', expectMatch: false });
  assert.equal(writeCases(file), example);
});

test('texts with controls and quotes survive a round trip', () => {
  const file = {
    pattern: '"(\\d)"\t',
    flags: 5,
    cases: [
      { name: 'quotes "and" \\', subject: 'a\r\nb\u0001\u007F\u{1F600}', expectMatch: true, expectedText: '\b' },
      { name: 'none', subject: '', expectMatch: false },
    ],
  };
  const text = writeCases(file);
  assert.match(text, /\\u0001/);
  assert.deepEqual(readCases(text), file);
});

test('a lone surrogate cannot be written', () => {
  const file = { pattern: 'a', flags: 0, cases: [{ name: 'lone', subject: '\uD800', expectMatch: true }] };
  assert.throws(() => writeCases(file), /"lone" holds a lone surrogate/);
});

test('a malformed line is refused with its number and the reason', () => {
  const quarn = (extra = {}) => ({ call: 'Quarn', text: 't', pattern: 'p', flags: 0, ...extra });
  const ok = { result: true, reports: [] };
  const line = (object) => JSON.stringify(object);
  const rows = [
    ['{"name":', /^line 1: /],
    ['[1]', /^line 1: not a JSON object$/],
    [line({ calls: [quarn()], expect: [ok] }), /^line 1: no "name"$/],
    [line({ name: 'n', calls: [], expect: [] }), /not one Quarn call/],
    [line({ name: 'n', calls: [{ call: 'QuarnIndex' }], expect: [ok] }), /the first call is not Quarn/],
    [line({ name: 'n', calls: [quarn({ flags: 1.5 })], expect: [ok] }), /"flags" is not an integer/],
    [line({ name: 'n', calls: [quarn()], expect: [{ result: true, reports: ['x'] }] }), /has reports/],
    [line({ name: 'n', calls: [quarn()], expect: [{ result: 1, reports: [] }] }), /not true or false/],
    [line({ name: 'n', calls: [quarn(), { call: 'QuarnResult', type: -2 }], expect: [ok, ok] }), /does not ask for the match text/],
    [line({ name: 'n', calls: [quarn(), { call: 'QuarnResult', type: -3 }], expect: [ok, ok] }), /match text is not a string/],
    [`\n${line({ name: 'a', calls: [quarn()], expect: [ok] })}\n${line({ name: 'b', calls: [quarn({ flags: 1 })], expect: [ok] })}`, /^line 3: another pattern or other flags/],
  ];
  for (const [text, why] of rows) assert.throws(() => readCases(text), (error) => why.test(error.message), text);
});

test('a case fails with what the pattern did instead', () => {
  const rows = [
    [{ expectMatch: true }, { matched: true, text: 'x' }, ''],
    [{ expectMatch: true, expectedText: 'x' }, { matched: true, text: 'x' }, ''],
    [{ expectMatch: true, expectedText: 'y' }, { matched: true, text: 'x' }, 'matched “x”'],
    [{ expectMatch: false }, { matched: true, text: '2 Dec' }, 'matched “2 Dec”'],
    [{ expectMatch: true }, { matched: false, text: '' }, 'no match'],
    [{ expectMatch: false }, { error: 'Error #20052: ...' }, 'Error #20052: ...'],
  ];
  for (const [c, outcome, why] of rows) assert.equal(failure(c, outcome), why, JSON.stringify([c, outcome]));
});
