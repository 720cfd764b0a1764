// The engine's case table (tests/cases/engine_cases.jsonl), which every entry point runs,
// through the package: each case's match and groups as string indices, or its error report.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { engineCases, quarn } from './support.mjs';

function expected(c) {
  if ('error' in c) return { error: c.error };
  if (c.match == null) return null;
  return { spans: [c.match, ...(c.groups ?? [])] };
}

function spansOf(match) {
  return Array.from({ length: match.groupCount + 1 }, (_, n) => match.span(n) ?? null);
}

// What the package answers, in the table's terms; the first match of matchAll must agree.
function answer(c) {
  let pattern;
  try {
    pattern = quarn.compile(c.pattern, c.flags);
  } catch (error) {
    if (!(error instanceof quarn.QuarnError)) throw error;
    return { error: error.message };
  }
  try {
    const match = pattern.search(c.text);
    const first = pattern.matchAll(c.text).next().value ?? null;
    assert.deepEqual(first && spansOf(first), match && spansOf(match), 'matchAll disagrees');
    return match && { spans: spansOf(match) };
  } catch (error) {
    if (!(error instanceof quarn.QuarnError)) throw error;
    return { error: error.message };
  } finally {
    pattern.free();
  }
}

const groups = Map.groupBy
  ? Map.groupBy(engineCases(), (c) => c.group)
  : engineCases().reduce((m, c) => m.set(c.group, [...(m.get(c.group) ?? []), c]), new Map());

for (const [group, cases] of groups) {
  test(group, () => {
    for (const c of cases) {
      assert.deepEqual(answer(c), expected(c), `/${c.pattern}/ on ${JSON.stringify(c.text)} with flags ${c.flags}`);
    }
  });
}

test('the table is read whole', () => {
  assert.ok(engineCases().length > 0);
});
