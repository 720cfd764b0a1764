// The package against the native engine on 2,000 generated cases over the whole pattern
// language (well-formed and malformed patterns, lone surrogates and pairs, CR LF, every option,
// lowered limits, starts inside and past the text): search, match, fullMatch, every match,
// replacement, split and the analysis of the pattern must answer alike, errors included. The native answers come from quarn_js_answers (QUARN_NATIVE_ANSWERS, built by the
// default preset), run now on the cases generated now, so nothing expected is written down.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync } from 'node:fs';
import { test } from 'node:test';

import { quarn } from './support.mjs';

const CASES = 2000;
const SEED = 20261209;

// mulberry32: a small seeded generator, so that every run checks the same cases.
function generator(seed) {
  let state = seed >>> 0;
  const next = () => {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
  const pick = (n) => Math.floor(next() * n);
  return { pick, chance: (oneIn) => pick(oneIn) === 0, oneOf: (items) => items[pick(items.length)] };
}

// Each list has its well-formed entries first and its faulty ones after FAULTY, which are
// picked one time in thirty, so that most cases get as far as a match.
const FAULTY = Symbol('faulty');
const ATOMS = [
  'a', 'b', 'a', 'c', 'A', '.', '^', '$', '\\w', '\\W', '\\d', '\\D', '\\s', '\\S', '\\b', '\\B',
  '\\A', '\\Z', '\\n', '\\t', '\\r', '\\.', '\\\\', '\\x41', '\\0101', '\\cA', '\\1',
  '\\Qa.b\\E', '\r', '\n', ']', '}', '\u00E9', '\\f', '\\e', '\uD800', '\uDC00', '\u{1F600}',
  FAULTY, '\\x4g', '\\08', '\\c', '\\2', '\\Q(', ')', '\\', 'x{[}\\s]',
];
const QUANTIFIERS = [
  '*', '+', '?', '*?', '+?', '??', '{2}', '{0}', '{1,3}', '{,2}', '{2,}', '{1,2}?', '{498}',
  FAULTY, '{3,1}', '{-1}', '{x}', '{}', '**', '{', '{40000}',
];
const OPENS = ['(', '(', '(?:', '(?=', '(?!', '(?#', FAULTY, '(?i', '(?<'];
const MEMBERS = [
  'a', 'b', 'a-c', 'z-a', '\\n', '\\]', '-', '^', '\\d', '\\w', '\\s', '\\b', '\r', 'A-Z', '(',
  '\u00E9', '\uD800', '\uD800-\uDFFF', ']',
];
const SUBJECT_UNITS = 'aabbcAB1_- .\r\n\r\n\t\u00E9\u00FF\u0178x\uD800\uDC00\u{1F600}';
const REPLACEMENTS = ['', '-', '$0', '<$1>', '$2$1', '$$', '$9', '$x', '$', '\uD800$0'];

function makeCase(g) {
  const entry = (list) => {
    const faulty = list.indexOf(FAULTY);
    return g.chance(30) ? list[faulty + 1 + g.pick(list.length - faulty - 1)] : list[g.pick(faulty)];
  };
  const sequence = (depth) => {
    let s = '';
    for (let i = g.pick(5); i > 0; --i) s += atom(depth) + (g.chance(3) ? entry(QUANTIFIERS) : '');
    return s;
  };
  const alternatives = (depth) => {
    let s = sequence(depth);
    while (g.chance(5)) s += `|${sequence(depth)}`;
    return s;
  };
  const atom = (depth) => {
    const kind = g.pick(depth < 3 ? 10 : 6);
    if (kind <= 4) return entry(ATOMS);
    if (kind === 5) {
      let bracket = g.chance(3) ? '[^' : '[';
      for (let i = 1 + g.pick(3); i > 0; --i) bracket += g.oneOf(MEMBERS);
      return g.chance(20) ? bracket : `${bracket}]`;
    }
    const group = entry(OPENS) + alternatives(depth + 1);
    return g.chance(20) ? group : `${group})`;
  };
  const soup = () => {
    const units = 'ab()[]{}|*+?.^$\\-,0123wWdDsSbBnAZQEcx:=!#\r\n\u00E9\uD800';
    return Array.from({ length: g.pick(14) }, () => g.oneOf(units)).join('');
  };
  const subject = () => {
    const kind = g.pick(30);
    if (kind === 0) return 'a'.repeat(495 + g.pick(10));
    if (kind === 1) return Array.from({ length: 1 + g.pick(40) }, () => g.oneOf(['ab', 'a', '\r\n', 'aab'])).join('');
    return Array.from({ length: g.pick(kind < 10 ? 40 : 12) }, () => g.oneOf(SUBJECT_UNITS)).join('');
  };
  const c = {
    pattern: g.chance(8) ? soup() : alternatives(0),
    text: subject(),
    flags: g.chance(20) ? g.oneOf([6, 8, 7]) : g.oneOf([0, 0, 0, 1, 2, 4, 5, 3]),
    replacement: g.oneOf(REPLACEMENTS),
  };
  if (g.chance(4)) c.start = g.pick(c.text.length + (g.chance(10) ? 3 : 1));
  const limit = g.pick(12);
  if (limit === 0) c.depth = 20 + g.pick(60);
  if (limit === 1) c.steps = 1 + g.pick(400);
  if (limit === 2) c.subjectLength = g.pick(30);
  return c;
}

const units = (text) => Array.from({ length: text.length }, (_, i) => text.charCodeAt(i));

function flatSpans(match) {
  const spans = [];
  for (let n = 0; n <= match.groupCount; ++n) spans.push(...(match.span(n) ?? [-1, -1]));
  return spans;
}

function errorOf(e) {
  if (!(e instanceof quarn.QuarnError)) throw e;
  return { error: { number: e.number, kind: e.kind, description: units(e.description), position: e.position ?? null } };
}

function attempt(call) {
  try {
    return call();
  } catch (e) {
    return errorOf(e);
  }
}

// The package's answers in the form that quarn_js_answers writes (without the replacement count,
// which the package does not give).
function packageAnswer(c) {
  const analysis = quarn.analyze(c.pattern, c.flags);
  let pattern;
  try {
    pattern = quarn.compile(c.pattern, c.flags);
  } catch (e) {
    return { compile: errorOf(e), analysis };
  }
  const limits = {};
  for (const name of ['depth', 'steps', 'subjectLength']) if (name in c) limits[name] = c[name];
  const from = { ...limits, start: c.start ?? 0 };
  const find = (method) =>
    attempt(() => {
      const m = pattern[method](c.text, from);
      return m && flatSpans(m);
    });
  try {
    // In the order of quarn_js_answers, the analysis first: the engine keeps what a pattern's
    // analysis and its costly searches teach it, so the order can change later answers.
    assert.deepEqual(pattern.diagnostics(), analysis.diagnostics);
    const answer = { compile: null, analysis, search: find('search'), match: find('match'), fullMatch: find('fullMatch') };
    answer.all = { matches: [], error: null };
    try {
      for (const m of pattern.matchAll(c.text, from)) answer.all.matches.push(flatSpans(m));
    } catch (e) {
      answer.all.error = errorOf(e).error;
    }
    answer.replace = attempt(() => ({ text: units(pattern.replace(c.text, c.replacement, limits)) }));
    answer.split = attempt(() => pattern.split(c.text, limits).map(units));
    return answer;
  } finally {
    pattern.free();
  }
}

function nativeAnswers(cases) {
  const program = process.env.QUARN_NATIVE_ANSWERS;
  assert.ok(
    program && existsSync(program),
    `no native answers at "${program}": build them with cmake --build --preset default --target quarn_js_answers`,
  );
  const input = cases
    .map((c) => JSON.stringify({ ...c, pattern: units(c.pattern), text: units(c.text), replacement: units(c.replacement) }))
    .join('\n');
  const run = spawnSync(program, { input, maxBuffer: 1 << 28, encoding: 'utf8' });
  assert.equal(run.status, 0, run.stderr);
  return run.stdout.trim().split('\n').map((line) => {
    const answer = JSON.parse(line);
    if (answer.replace && !answer.replace.error) delete answer.replace.count;
    return answer;
  });
}

test('2,000 generated cases answer as the native engine does', () => {
  const g = generator(SEED);
  const cases = Array.from({ length: CASES }, () => makeCase(g));
  const expected = nativeAnswers(cases);
  assert.equal(expected.length, CASES);
  let errors = 0;
  cases.forEach((c, k) => {
    const actual = packageAnswer(c);
    if (actual.compile || actual.search?.error) ++errors;
    assert.deepEqual(actual, expected[k], `case ${k}: ${JSON.stringify(c)}`);
  });
  // The cases mean something only when they reach both matches and errors.
  assert.ok(errors > CASES / 10 && errors < CASES / 2, `${errors} of ${CASES} cases end in an error`);
});
