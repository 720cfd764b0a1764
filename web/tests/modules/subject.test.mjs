// The subject as shown and as searched, and the texts shown in tables.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { loneSurrogate, shownPositions, toEngine, toShown, visible, visibleHtml } from '../../src/subject.js';

test('every engine text shows as a text that gives it back', () => {
  const rows = [
    ['a\r\nb', 'a\nb'],
    ['a\rb', 'a\u240Db'],
    ['a\nb', 'a\u240Ab'],
    ['\r\r\n\n', '\u240D\n\u240A'],
    ['\n\r', '\u240A\u240D'],
    ['\u{1F600}\uD800\t', '\u{1F600}\uD800\t'],
  ];
  for (const [engine, shown] of rows) {
    assert.equal(toShown(engine), shown, JSON.stringify(engine));
    assert.equal(toEngine(shown), engine, JSON.stringify(shown));
  }
});

test('positions after a CR LF move back by one for each before them', () => {
  const text = 'ab\r\ncd\r\n\r\ne';
  const at = shownPositions(text);
  const rows = [[0, 0], [2, 2], [3, 3], [4, 3], [6, 5], [8, 6], [10, 7], [11, 8]];
  for (const [engine, shown] of rows) assert.equal(at(engine), shown, `position ${engine}`);
  assert.equal(toShown(text).length, at(text.length));
  assert.equal(shownPositions('no breaks')(5), 5);
});

test('a lone surrogate is found, a pair is not', () => {
  const rows = [
    ['abc', undefined],
    ['a\u{1F600}', undefined],
    ['a\uD800b', [1, 0xd800]],
    ['\uDC00', [0, 0xdc00]],
    ['\u{1F600}\uDE00', [2, 0xde00]],
    ['x\uD83D', [1, 0xd83d]],
  ];
  for (const [text, expected] of rows) assert.deepEqual(loneSurrogate(text), expected, JSON.stringify(text));
});

test('characters that do not show get a named box, and HTML is escaped', () => {
  const rows = [
    ['a\r\nb', 'a<span class="ctl">CR</span><span class="ctl">LF</span>b'],
    ['<b>&"', '&lt;b&gt;&amp;&quot;'],
    ['\t\u007F\u0085\u2028', '<span class="ctl">HT</span><span class="ctl">DEL</span><span class="ctl">U+0085</span><span class="ctl">LS</span>'],
    ['é\u{1F600}', 'é\u{1F600}'],
  ];
  for (const [text, html] of rows) assert.equal(visibleHtml(text), html, JSON.stringify(text));
  assert.equal(visibleHtml('abcdef', 3), 'abc…');
  assert.equal(visible('a\r\n\tb'), 'a\u240D\u240A\u2409b');
});
