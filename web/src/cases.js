// Test cases in the pattern workbench's file format, so that a file moves between the
// workbench, the playground and `quarn --host` (scripts/check-cases replays it). One case a
// line:
//
//   {"name":N,"calls":[{"call":"Quarn","text":T,"pattern":P,"flags":F}],
//    "expect":[{"result":true,"reports":[]}]}
//
// Expecting no match gives "result":false; expecting a match text adds the call
// {"call":"QuarnResult","type":-3} and its answer {"result":TEXT,"reports":[]}. All cases of a
// file share the pattern and flags, which are the page's own.
import { loneSurrogate } from './subject.js';

const MATCH_TEXT = -3; // QuarnResult's selector of the match text

// The workbench's JSON text of a string, so that both write the same bytes.
function json(text) {
  const named = { '"': '\\"', '\\': '\\\\', '\n': '\\n', '\r': '\\r', '\t': '\\t' };
  return `"${text.replace(/["\\\u0000-\u001F]/g, (c) => named[c] ?? `\\u${c.charCodeAt(0).toString(16).padStart(4, '0')}`)}"`;
}

const answer = (result) => `{"result":${result},"reports":[]}`;

// The file's text; throws when a text holds a lone surrogate, which JSON cannot carry to the
// host.
export function writeCases({ pattern, flags, cases }) {
  let text = '';
  for (const c of cases) {
    for (const checked of [c.name, c.subject, pattern, c.expectedText ?? '']) {
      if (loneSurrogate(checked)) throw new Error(`"${c.name}" holds a lone surrogate`);
    }
    let calls = `{"call":"Quarn","text":${json(c.subject)},"pattern":${json(pattern)},"flags":${flags}}`;
    let expect = answer(c.expectMatch ? 'true' : 'false');
    if (c.expectMatch && c.expectedText !== undefined) {
      calls += `,{"call":"QuarnResult","type":${MATCH_TEXT}}`;
      expect += `,${answer(json(c.expectedText))}`;
    }
    text += `{"name":${json(c.name)},"calls":[${calls}],"expect":[${expect}]}\n`;
  }
  return text;
}

class BadLine extends Error {}

function member(object, name) {
  if (!(name in object)) throw new BadLine(`no "${name}"`);
  return object[name];
}

function stringMember(object, name) {
  const value = member(object, name);
  if (typeof value !== 'string') throw new BadLine(`"${name}" is not a string`);
  return value;
}

function integerMember(object, name) {
  const value = member(object, name);
  if (!Number.isInteger(value) || value < -2147483648 || value > 2147483647) {
    throw new BadLine(`"${name}" is not an integer`);
  }
  return value;
}

// The answer's result, which must come without reports: a case does not expect errors.
function expectedResult(answered) {
  const reports = answered?.reports;
  if (!Array.isArray(reports) || reports.length) throw new BadLine('an expected answer has reports');
  return member(answered, 'result');
}

function readCase(line) {
  const calls = member(line, 'calls');
  const expect = member(line, 'expect');
  if (!Array.isArray(calls) || !Array.isArray(expect) || !calls.length || calls.length > 2 || calls.length !== expect.length) {
    throw new BadLine('not one Quarn call (and a match text) with its answers');
  }
  const quarn = calls[0] ?? {};
  if (stringMember(quarn, 'call') !== 'Quarn') throw new BadLine('the first call is not Quarn');
  const c = { name: stringMember(line, 'name'), subject: stringMember(quarn, 'text') };
  const pattern = stringMember(quarn, 'pattern');
  const flags = 'flags' in quarn ? integerMember(quarn, 'flags') : 0;
  const matched = expectedResult(expect[0]);
  if (typeof matched !== 'boolean') throw new BadLine("Quarn's expected result is not true or false");
  c.expectMatch = matched;
  if (calls.length === 2) {
    const result = calls[1] ?? {};
    if (stringMember(result, 'call') !== 'QuarnResult' || integerMember(result, 'type') !== MATCH_TEXT || !matched) {
      throw new BadLine('the second call does not ask for the match text');
    }
    const text = expectedResult(expect[1]);
    if (typeof text !== 'string') throw new BadLine('the expected match text is not a string');
    c.expectedText = text;
  }
  return { c, pattern, flags };
}

// Reads a file of the form above; throws an Error that names the line and says why.
export function readCases(text) {
  const file = { pattern: '', flags: 0, cases: [] };
  const lines = text.split('\n');
  lines.forEach((line, index) => {
    if (!line.trim()) return;
    try {
      let object;
      try {
        object = JSON.parse(line);
      } catch (error) {
        throw new BadLine(error.message);
      }
      if (object === null || typeof object !== 'object' || Array.isArray(object)) throw new BadLine('not a JSON object');
      const { c, pattern, flags } = readCase(object);
      if (!file.cases.length) {
        file.pattern = pattern;
        file.flags = flags;
      } else if (pattern !== file.pattern || flags !== file.flags) {
        throw new BadLine('another pattern or other flags than the first case');
      }
      file.cases.push(c);
    } catch (error) {
      if (error instanceof BadLine) throw new Error(`line ${index + 1}: ${error.message}`);
      throw error;
    }
  });
  return file;
}

// Why outcome ({matched, text} or {error}) does not meet the case, or '' when it does.
export function failure(c, outcome) {
  if (outcome.error) return outcome.error;
  if (outcome.matched !== c.expectMatch || (c.expectedText !== undefined && c.expectedText !== outcome.text)) {
    return outcome.matched ? `matched “${outcome.text}”` : 'no match';
  }
  return '';
}
