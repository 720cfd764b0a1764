// The highlights behind the subject, from the spans the worker sends.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { highlightHtml } from '../../src/highlight.js';
import { shownPositions, toShown } from '../../src/subject.js';

function marks(subject, groupCount, matches) {
  const spans = Int32Array.from(matches.flat(2));
  return highlightHtml(toShown(subject), spans, groupCount, matches.length, shownPositions(subject));
}

test('matches alternate in shade and each group has its colour, the inner one over the outer', () => {
  const rows = [
    ['ab ab', 0, [[[0, 2]], [[3, 5]]], '<mark class="m">ab</mark> <mark class="m odd">ab</mark>'],
    ['xaby', 2, [[[1, 3], [1, 3], [2, 3]]], 'x<mark class="g1">a</mark><mark class="g2">b</mark>'],
    ['a-b', 1, [[[0, 3], [1, 2]]], '<mark class="m">a</mark><mark class="g1">-</mark><mark class="m">b</mark>'],
    ['ab', 2, [[[0, 2], [-1, -1], [0, 1]]], '<mark class="g2">a</mark><mark class="m">b</mark>'],
    ['ab', 0, [[[1, 1]]], 'a<mark class="empty"></mark>'],
    ['a<b', 0, [[[1, 2]]], 'a<mark class="m">&lt;</mark>'],
    ['ab', 7, [[[0, 1], ...Array(6).fill([-1, -1]), [0, 1]]], '<mark class="g1">a</mark>'],
  ];
  for (const [subject, groupCount, matches, html] of rows) {
    assert.equal(marks(subject, groupCount, matches), html, `${subject} ${JSON.stringify(matches)}`);
  }
});

test('a group of a lookahead may pass the end of its match, but not into the next match', () => {
  assert.equal(marks('abcd', 1, [[[0, 1], [1, 3]]]), '<mark class="m">a</mark><mark class="g1">bc</mark>');
  assert.equal(
    marks('abab', 1, [[[0, 1], [1, 4]], [[2, 3], [-1, -1]]]),
    '<mark class="m">a</mark><mark class="g1">b</mark><mark class="m odd">a</mark>',
  );
});

test('marks fall on the shown text, where each CR LF is one line break', () => {
  assert.equal(marks('x\r\ny\r\nz', 0, [[[3, 4]], [[6, 7]]]), 'x\n<mark class="m">y</mark>\n<mark class="m odd">z</mark>');
  assert.equal(marks('a\r\nb', 0, [[[1, 3]]]), 'a<mark class="m">\n</mark>');
});
