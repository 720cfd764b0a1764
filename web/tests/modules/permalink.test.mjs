// The permalink: every state comes back unit for unit, and every malformed link is refused
// with the reason.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { PermalinkError, decodeState, encodeState } from '../../src/permalink.js';

const state = {
  pattern: '(\\d+)\uD800',
  flags: 5,
  subject: `a\r\nb\r\u{1F600}\uDC00${'x'.repeat(1000)}`,
  replacement: '$1$$',
  limits: { depth: 5000, subjectLength: 4294967295, steps: 12 },
  cases: [
    { name: 'one', subject: '1', expectMatch: true, expectedText: '1' },
    { name: 'none', subject: '', expectMatch: false },
  ],
};

test('a state comes back exactly, lone surrogates included', async () => {
  const link = await encodeState(state);
  assert.match(link, /^v1\.[A-Za-z0-9_-]+$/);
  assert.deepEqual(await decodeState(link), state);
  assert.deepEqual(await decodeState(await encodeState({})), {});
});

test('a megabyte of subject makes a link that deflate keeps short', async () => {
  const subject = 'The quick brown fox jumps over the lazy dog.\r\n'.repeat(23000);
  const link = await encodeState({ subject });
  assert.ok(link.length < subject.length / 50, `${link.length} characters`);
  assert.equal((await decodeState(link)).subject, subject);
});

test('a malformed link says why it cannot be read', async () => {
  const valid = await encodeState(state);
  const raw = async (json) => {
    const bytes = new TextEncoder().encode(json);
    const packed = new Uint8Array(await new Response(new Blob([bytes]).stream().pipeThrough(new CompressionStream('deflate-raw'))).arrayBuffer());
    return `v1.${btoa(String.fromCharCode(...packed)).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '')}`;
  };
  const rows = [
    ['pattern=abc', /does not start with "v1\."/],
    ['v1.a+b/', /characters that base64url does not use/],
    ['v1.A', /cut short/],
    [valid.slice(0, valid.length / 2), /does not unpack/],
    ['v1.AAAA', /does not unpack/],
    [await raw('{"pattern":'), /not JSON/],
    [await raw('[1,2]'), /not a state/],
    [await raw('{"colour":1}'), /unknown field "colour"/],
    [await raw('{"flags":"i"}'), /field "flags" is malformed/],
    [await raw('{"limits":{"depth":-1,"subjectLength":1,"steps":0}}'), /field "limits" is malformed/],
    [await raw('{"cases":[{"name":"a","subject":"b"}]}'), /field "cases" is malformed/],
    // Some 90 kB of link that unpacks to 65 MiB; a link 30 times longer would be 2 GB.
    [await raw(`{"subject":"${'a'.repeat(65 * 1024 * 1024)}"}`), /unpacks to more than 64 MiB/],
  ];
  for (const [link, why] of rows) {
    await assert.rejects(decodeState(link), (error) => error instanceof PermalinkError && why.test(error.message), link);
  }
});
