// `npm pack` gives a package that installs into a fresh folder and runs there: what a user of
// the published package gets, without the build tree around it.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';

import { packageDir } from './support.mjs';

const npm = (args, cwd) =>
  execFileSync('npm', [...args, '--no-audit', '--no-fund', '--loglevel=error'], { cwd, encoding: 'utf8' });

test('the packed package installs in a fresh folder and answers there', (t) => {
  const work = mkdtempSync(join(tmpdir(), 'quarn-pack-'));
  t.after(() => rmSync(work, { recursive: true, force: true }));

  const [packed] = JSON.parse(npm(['pack', '--json', '--pack-destination', work], packageDir));
  assert.deepEqual(
    packed.files.map((f) => f.path).sort(),
    ['README.md', 'index.d.ts', 'index.js', 'package.json', 'quarn-engine.mjs'],
  );

  const app = join(work, 'app');
  mkdirSync(app);
  writeFileSync(join(app, 'package.json'), JSON.stringify({ name: 'app', private: true, type: 'module' }));
  npm(['install', '--offline', join(work, packed.filename)], app);
  writeFileSync(
    join(app, 'main.js'),
    `import { compile, QuarnError } from 'quarn';
const date = compile('(\\\\d{4})-(\\\\d\\\\d)-(\\\\d\\\\d)');
const text = 'Released 2026-12-08, patched 2027-01-15.';
console.log([...date.matchAll(text)].map((m) => m.group(1)).join(' '), date.replace(text, '$3.$2.$1'));
try { compile('a(b'); } catch (e) { console.log(e instanceof QuarnError, e.number, e.position); }
`,
  );
  const output = execFileSync(process.execPath, ['main.js'], { cwd: app, encoding: 'utf8' });
  assert.equal(output, '2026 2027 Released 08.12.2026, patched 15.01.2027.\ntrue 20052 1\n');
});
