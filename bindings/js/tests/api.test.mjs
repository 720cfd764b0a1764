// The package's own surface: iteration, replacement, splitting, limits, errors, option checks,
// freeing, and the bad input that must come back as an error value rather than a hang or a
// crash. What a search finds is the engine's, checked by the case table and the differential
// run; these check what the package adds around it.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { quarn } from './support.mjs';

const { compile, QuarnError } = quarn;

function spans(pattern, text, options) {
  return [...quarn.matchAll(pattern, text, options)].map((m) => m.span());
}

test('matchAll moves on after an empty match by one character, a surrogate pair counting one', () => {
  const rows = [
    ['a*', 'baac', [[0, 0], [1, 3], [3, 3], [4, 4]]],
    ['a*', 'b\u{1F600}c', [[0, 0], [1, 1], [3, 3], [4, 4]]],
    ['(?:)', '\u{1F600}\uD800', [[0, 0], [2, 2], [3, 3]]],
    ['\\d+', 'a1b22c333', [[1, 2], [3, 5], [6, 9]]],
    ['x', 'abc', []],
    ['', '', [[0, 0]]],
  ];
  for (const [pattern, text, expected] of rows) {
    assert.deepEqual(spans(pattern, text), expected, `/${pattern}/ on ${JSON.stringify(text)}`);
  }
});

test('a match gives its groups, and undefined for a group that took no part', () => {
  const m = quarn.search('(a)|(b)(c)?', 'xb');
  assert.deepEqual([m.start, m.end, m.text, m.groupCount], [1, 2, 'b', 3]);
  assert.deepEqual([m.span(1), m.span(2), m.span(3)], [undefined, [1, 2], undefined]);
  assert.deepEqual(m.groups(), [undefined, 'b', undefined]);
  assert.equal(m.group(), 'b');
  for (const n of [-1, 4, 1.5]) assert.throws(() => m.group(n), RangeError);
});

test('search starts where it is told, and anchors still see the whole text', () => {
  const rows = [
    ['b', 'abab', 2, [3, 4]],
    ['^a', 'abab', 1, null],
    ['\\bb', 'ab b', 1, [3, 4]],
    ['a', 'abab', 4, null],
    ['$', 'ab', 2, [2, 2]],
  ];
  for (const [pattern, text, start, expected] of rows) {
    assert.deepEqual(quarn.search(pattern, text, { start })?.span() ?? null, expected, `/${pattern}/ from ${start}`);
  }
  assert.throws(() => quarn.search('a', 'abab', { start: 5 }), (e) => e.number === 20053 && /past the end/.test(e.message));
});

test('match begins at the start, fullMatch ends at the end too, matchAll goes on from the start', () => {
  const rows = [
    ['match', 'b', 'ab', 0, null],
    ['match', 'b', 'ab', 1, [1, 2]],
    ['match', 'a|ab', 'ab', 0, [0, 1]],
    ['fullMatch', 'a|ab', 'ab', 0, [0, 2]],
    ['fullMatch', 'a', 'ab', 0, null],
    ['fullMatch', 'b', 'ab', 1, [1, 2]],
    ['search', 'a|ab', 'ab', 0, [0, 1]],
  ];
  for (const [method, pattern, text, start, expected] of rows) {
    assert.deepEqual(quarn[method](pattern, text, { start })?.span() ?? null, expected, `${method} /${pattern}/ on ${text} from ${start}`);
  }
  assert.deepEqual(spans('a', 'aaa', { start: 1 }), [[1, 2], [2, 3]]);
  assert.deepEqual(spans('^a', 'aaa', { start: 1 }), []);
});

test('replace expands $0 to $9 and $$, and leaves every other $ alone', () => {
  const rows = [
    ['(\\d+)-(\\d+)', 'a 1-2 b 3-4', '$2-$1', 'a 2-1 b 4-3'],
    ['(\\d+)-(\\d+)', 'a 1-2', '[$0] $$1 $3 $x $', 'a [1-2] $1  $x $'],
    ['(a)|(b)', 'ab', '<$1$2>', '<a><b>'],
    ['x*', 'ab', '-', '-a-b-'],
    ['\\w+', 'one two', '$', '$ $'],
  ];
  for (const [pattern, text, replacement, expected] of rows) {
    assert.equal(quarn.replace(pattern, text, replacement), expected, `/${pattern}/ -> ${replacement}`);
  }
  assert.equal(quarn.replace('o', 'foo boo', '0', { maxCount: 3 }), 'f00 b0o');
});

test('a function replacement gets each match and agrees with the template', () => {
  const text = 'Released 2026-12-08, patched 2027-01-15; x-y';
  const p = compile('(\\d{4})-(\\d\\d)-(\\d\\d)');
  assert.equal(
    p.replace(text, (m) => `${m.group(3)}.${m.group(2)}.${m.group(1)}`),
    p.replace(text, '$3.$2.$1'),
  );
  assert.equal(p.replace(text, () => 0, { maxCount: 1 }), 'Released 0, patched 2027-01-15; x-y');
  // After a non-empty match the next search starts where it ended, so "a*" matches empty there.
  const star = compile('a*');
  assert.equal(star.replace('bac', (m) => `(${m.text})`), '()b(a)()c()');
  assert.equal(star.replace('bac', '($0)'), '()b(a)()c()');
  star.free();
  p.free();
});

test('split gives the pieces between the matches', () => {
  const rows = [
    ['\\s*,\\s*', 'a , b,c', {}, ['a', 'b', 'c']],
    [',', 'a,b,c', { maxSplit: 1 }, ['a', 'b,c']],
    [',', ',a,', {}, ['', 'a', '']],
    ['x', 'abc', {}, ['abc']],
    ['(-)', 'a-b', {}, ['a', 'b']],
  ];
  for (const [pattern, text, options, expected] of rows) {
    assert.deepEqual(quarn.split(pattern, text, options), expected, `/${pattern}/ on ${text}`);
  }
});

test('lone surrogates are units like any other, in and out', () => {
  assert.deepEqual(quarn.search('\uD800', 'a\uD800b').span(), [1, 2]);
  assert.deepEqual(quarn.search('.', '\uDC00').span(), [0, 1]);
  assert.equal(quarn.replace('b', 'a\uDC00b'.repeat(20), '\uD800'), 'a\uDC00\uD800'.repeat(20));
  assert.deepEqual(quarn.split('x', '\uD800x\uDC00'), ['\uD800', '\uDC00']);
});

function error(run) {
  try {
    run();
  } catch (e) {
    assert.ok(e instanceof QuarnError, `${e} is not a QuarnError`);
    return { number: e.number, kind: e.kind, position: e.position, message: e.message, description: e.description };
  }
  assert.fail('no error');
}

test('errors carry the number, the kind, the description, the report and the position', () => {
  const e = error(() => compile('a(b'));
  assert.deepEqual([e.number, e.kind, e.position], [20052, 'pattern-syntax', 1]);
  assert.equal(e.message, `Error #20052: ${e.description}`);
  assert.match(e.description, /^Error in Quarn\.ProcessParentheses: /);
  // The kind tells apart what shares a number.
  const rows = [
    [() => compile('x{3,1}').search('xxx'), 20050, 'pattern-syntax'],
    [() => quarn.search('a*', 'a'.repeat(600)), 20052, 'depth-limit'],
    [() => compile('a'.repeat(40000)), 6, 'overflow'],
    [() => quarn.search('a', 'a'.repeat(40000)), 6, 'subject-length'],
    [() => compile('a', 'sm'), 20053, 'invalid-options'],
    [() => quarn.search('a', 'ab', { start: 3 }), 20053, 'invalid-argument'],
    [() => quarn.search('(a|aa)+b', 'aaab', { steps: 3 }), 20056, 'step-budget'],
  ];
  for (const [run, number, kind] of rows) {
    const found = error(run);
    assert.deepEqual([found.number, found.kind], [number, kind], String(run));
  }
  assert.equal(error(() => quarn.search('a*', 'a'.repeat(600))).position, undefined);
});

test('each limit ends a search with its own error, and raising it lets the search finish', () => {
  const rows = [
    ['a*', 'a'.repeat(600), { depth: 2000 }, 20052, [0, 600]],
    ['b', 'a'.repeat(40000) + 'b', { subjectLength: 50000 }, 6, [40000, 40001]],
    ['(a|aa)+b', `${'a'.repeat(20)}b`, { steps: 0 }, 20056, [0, 21]],
  ];
  const lowered = [{}, {}, { steps: 50 }];
  rows.forEach(([pattern, text, raised, number, expected], k) => {
    assert.equal(error(() => quarn.search(pattern, text, lowered[k])).number, number);
    assert.deepEqual(quarn.search(pattern, text, raised).span(), expected);
  });
  assert.equal(error(() => [...quarn.matchAll('a*', `b${'a'.repeat(600)}`)]).number, 20052);
  assert.equal(error(() => quarn.replace('a*', 'a'.repeat(600), '', {})).number, 20052);
  assert.equal(error(() => quarn.split('a*', 'a'.repeat(600))).number, 20052);
});

test('an error ends matchAll after the matches before it', () => {
  const seen = [];
  const e = error(() => {
    for (const m of quarn.matchAll('b|a*', `b${'a'.repeat(600)}`)) seen.push(m.span());
  });
  assert.equal(e.number, 20052);
  assert.deepEqual(seen, [[0, 1]]);
});

test('the analysis tells every fault before any search, and how the engine reads the pattern', () => {
  const rows = [
    // pattern, its diagnostics as [severity, code, start, end, error number or null]
    ['x{3,1}', [['error', 'fault', 1, 6, 20050]]],
    ['a\\z', [['warning', 'letter-escape', 1, 3, null]]],
    ['(a', [['error', 'fault', 0, 1, 20052]]],
    ['(a)(b)', []],
  ];
  for (const [source, expected] of rows) {
    const found = quarn.analyze(source).diagnostics.map((d) => [d.severity, d.code, d.start, d.end, d.error?.number ?? null]);
    assert.deepEqual(found, expected, source);
  }
  const p = compile('(a)|b*');
  const tree = p.explain();
  assert.deepEqual([tree.kind, tree.start, tree.end], ['alternation', 0, 6]);
  assert.deepEqual(tree.children.map((n) => [n.kind, n.text]), [['sequence', '(a)'], ['sequence', 'b*']]);
  assert.equal(p.facts().minLength, 0);
  assert.ok(Object.isFrozen(tree.children[0]), 'the shared document cannot be changed');
  assert.equal(p.explain(), tree, 'made once per pattern');
  p.free();
  assert.throws(() => p.explain(), /freed/);
  assert.throws(() => quarn.analyze(5), TypeError);
});

test('arguments of the wrong kind are refused before the engine sees them', () => {
  const p = compile('a');
  const rows = [
    [() => p.search(42), TypeError],
    [() => compile(null), TypeError],
    [() => p.replace('a', 7), TypeError],
    [() => p.search('a', { deph: 5 }), TypeError],
    [() => p.search('a', 'deep'), TypeError],
    [() => p.search('a', { depth: -1 }), RangeError],
    [() => p.search('a', { depth: 2 ** 32 }), RangeError],
    [() => p.search('a', { steps: 0.5 }), RangeError],
    [() => p.search('a', { start: -1 }), RangeError],
    [() => p.split('a', { maxSplit: NaN }), RangeError],
    [() => compile('a', 'x'), TypeError],
    [() => compile('a', 1.5), TypeError],
  ];
  for (const [run, kind] of rows) assert.throws(run, kind, String(run));
  p.free();
});

test('flags come as bits or as letters', () => {
  assert.equal(compile('A', 'i').search('xa')?.start, 1);
  assert.equal(compile('A', quarn.IGNORECASE).flags, 1);
  assert.equal(compile('a.b', 's').search('a\r\nb'), null, 'CR LF is two characters for "."');
  assert.equal(compile('^b', 'm').search('a\r\nb')?.start, 3);
  assert.equal(compile('^b', 0).search('a\r\nb'), null);
});

test('a freed pattern refuses to search, and freeing twice is harmless', () => {
  const p = compile('(a)');
  const iterator = p.matchAll('aaa');
  assert.equal(iterator.next().value.text, 'a');
  p.free();
  p.free();
  assert.throws(() => p.search('a'), /freed/);
  assert.equal([...iterator].length, 2, 'a running iteration keeps the program');
});

test('bad input gives an error value, never a hang or a crash', () => {
  const tenMegabytes = `${'x'.repeat(10 * 1024 * 1024)}a`;
  assert.equal(error(() => quarn.search('a', tenMegabytes)).number, 6);
  assert.deepEqual(quarn.search('a', tenMegabytes, { subjectLength: 2 ** 32 - 1 }).span(), [10485760, 10485761]);
  assert.equal(error(() => compile('a'.repeat(1_000_000))).number, 6);
  assert.equal(error(() => compile('('.repeat(500_000) + ')'.repeat(500_000))).number, 6);
});
