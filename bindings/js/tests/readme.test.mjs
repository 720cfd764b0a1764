// The JavaScript examples of README.md (marked "<!-- readme-example: NAME -->", a ```js block,
// then what it prints) run against the package and print exactly what README.md says.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, rmSync, symlinkSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { test } from 'node:test';

import { packageDir } from './support.mjs';

const readme = readFileSync(new URL('../../../README.md', import.meta.url), 'utf8');
const examples = [...readme.matchAll(/<!-- readme-example: ([a-z0-9-]+) -->\n```js\n([\s\S]*?)\n```\n\n[^\n]*prints:\n```text\n([\s\S]*?)\n```\n/g)];

test('README.md has a JavaScript example', () => {
  assert.ok(examples.length > 0);
});

for (const [, name, code, output] of examples) {
  test(`README example "${name}" prints what README.md says`, (t) => {
    const work = mkdtempSync(join(tmpdir(), 'quarn-readme-'));
    t.after(() => rmSync(work, { recursive: true, force: true }));
    mkdirSync(join(work, 'node_modules'));
    symlinkSync(resolve(packageDir), join(work, 'node_modules', 'quarn'), 'dir');
    writeFileSync(join(work, 'example.mjs'), `${code}\n`);
    assert.equal(execFileSync(process.execPath, ['example.mjs'], { cwd: work, encoding: 'utf8' }), `${output}\n`);
  });
}
