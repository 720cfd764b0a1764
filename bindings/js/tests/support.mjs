// What the package's tests share: the staged package (QUARN_JS_PACKAGE, set by ctest) and the
// engine's case table (QUARN_ENGINE_CASES).
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

function required(name) {
  const value = process.env[name];
  if (!value) throw new Error(`${name} is not set; run these tests through ctest --preset wasm`);
  return value;
}

export const packageDir = required('QUARN_JS_PACKAGE');
export const quarn = await import(pathToFileURL(join(packageDir, 'index.js')).href);

// A text of the table is a string, or {"repeat": s, "times": n, "then": rest} for long ones.
function textOf(value) {
  if (typeof value === 'string') return value;
  return value.repeat.repeat(value.times) + (value.then ?? '');
}

export function engineCases() {
  return readFileSync(required('QUARN_ENGINE_CASES'), 'utf8')
    .split('\n')
    .filter((line) => line.trim())
    .map((line) => {
      const c = JSON.parse(line);
      return { ...c, pattern: textOf(c.pattern), text: textOf(c.text), flags: c.flags ?? 0 };
    });
}
