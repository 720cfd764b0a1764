// The package's types (index.d.ts) under TypeScript's strict checks (tsc from QUARN_WEB_NODE):
// a program that uses every part of the API compiles, and each misuse marked
// "@ts-expect-error" is refused (an expectation that nothing refuses fails the check too).
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, rmSync, symlinkSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { test } from 'node:test';

import { packageDir } from './support.mjs';

const PROGRAM = `import {
  Analysis, Diagnostic, ErrorKind, ExplainNode, IGNORECASE, Match, Pattern, QuarnError, analyze, compile, fullMatch,
  match, matchAll, memoryUsage, replace, search, split, version,
} from 'quarn';

const p: Pattern = compile('(a)(b)?', 'i');
const m: Match | null = p.search('ab', { start: 0, depth: 10, subjectLength: 100, steps: 0 });
if (m) {
  const span: [number, number] | undefined = m.span(1);
  const group: string | undefined = m.group(2);
  const groups: (string | undefined)[] = m.groups();
  const numbers: number = m.start + m.end + m.groupCount;
  const text: string = m.text;
  console.log(span, group, groups, numbers, text);
}
for (const each of p.matchAll('abab', { depth: 5 })) console.log(each.start);
for (const each of matchAll('a', 'aa', { flags: 'ism' })) console.log(each.end);
const upper: string = p.replace('ab', (x) => x.text.toUpperCase(), { maxCount: 1 });
const template: string = replace('a', 'ab', '$0$$', { flags: IGNORECASE });
const pieces: string[] = split(',', 'a,b', { maxSplit: 1, flags: 0 });
const found: Match | null = search('a', 'ba') ?? match('a', 'ab', { start: 0 }) ?? fullMatch('a', 'a');
const anchored: Match | null = p.match('ab', { start: 0 }) ?? p.fullMatch('ab');
const sizes: { inUse: number; heapSize: number } = memoryUsage();
const named: string = version + p.source + String(p.flags + p.groupCount);
console.log(upper, template, pieces, found, anchored, sizes, named);
try {
  compile('(');
} catch (error) {
  if (error instanceof QuarnError) {
    const number: number = error.number;
    const position: number | undefined = error.position;
    const description: string = error.description;
    const kind: ErrorKind = error.kind;
    if (kind === 'depth-limit' || kind === 'pattern-syntax') console.log(kind);
    console.log(number, position, description, error.message);
  }
}
const tree: ExplainNode = p.explain();
const kids: number = tree.children?.length ?? 0;
const diagnostics: readonly Diagnostic[] = p.diagnostics();
const firstError: number | undefined = diagnostics[0]?.error?.number;
const analysis: Analysis = analyze('x{3,1}', 'i');
const least: number = analysis.facts.minLength + p.facts().minLength;
console.log(kids, firstError, analysis.tree.kind === 'repeat', least);
p.free();
p[Symbol.dispose]();

// @ts-expect-error the subject must be a string
p.search(42);
// @ts-expect-error a misspelt limit
p.search('a', { deph: 3 });
// @ts-expect-error search has no maxCount
p.search('a', { maxCount: 3 });
// @ts-expect-error a Match is not made by its callers
new Match();
// @ts-expect-error the number of an error cannot be changed
new QuarnError().number = 1;
// @ts-expect-error a kind the engine does not have
const unknown: ErrorKind = 'timeout';
// @ts-expect-error the analysis is shared and cannot be changed
analysis.tree.kind = 'literal';
`;

test('the types accept every use of the API and refuse its misuses', (t) => {
  const tools = process.env.QUARN_WEB_NODE;
  assert.ok(tools, 'QUARN_WEB_NODE is not set; run these tests through ctest --preset wasm');
  const work = mkdtempSync(join(tmpdir(), 'quarn-types-'));
  t.after(() => rmSync(work, { recursive: true, force: true }));
  mkdirSync(join(work, 'node_modules'));
  symlinkSync(resolve(packageDir), join(work, 'node_modules', 'quarn'), 'dir');
  writeFileSync(join(work, 'package.json'), '{"type": "module"}\n');
  writeFileSync(join(work, 'program.ts'), PROGRAM);
  const tsc = join(resolve(tools), 'node_modules', 'typescript', 'bin', 'tsc');
  const options = ['--noEmit', '--strict', '--module', 'nodenext', '--moduleResolution', 'nodenext', '--target', 'es2022', '--lib', 'esnext,dom'];
  const run = spawnSync(process.execPath, [tsc, ...options, 'program.ts'], { cwd: work, encoding: 'utf8' });
  assert.equal(run.status, 0, run.stdout + run.stderr);
});
