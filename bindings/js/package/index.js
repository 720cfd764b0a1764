// Quarn for JavaScript: the engine compiled to WebAssembly, with the API of its other bindings.
//
//   import { compile } from 'quarn';
//   const date = compile('(\\d{4})-(\\d\\d)-(\\d\\d)');
//   date.search('due 2026-12-08')?.group(1);          // '2026'
//   date.replace('due 2026-12-08', '$3.$2.$1');       // 'due 08.12.2026'
//   date.free();                                      // or `using date = compile(...)`
//
// Positions are indices of the JavaScript string (UTF-16 code units, the engine's own unit);
// a lone surrogate is one unit like any other. Errors of a pattern or of a search (its limits
// included) throw QuarnError and are never taken for "no match". Every call frees the wasm
// memory it took before it returns; a compiled pattern keeps its program until free() (or,
// failing that, until it is garbage-collected), and a matchAll() iterator keeps its subject
// until it is done, returned or collected.
//
// The module instantiates the engine when it is imported (top-level await); every function is
// synchronous after that. One instance runs on one thread, so calls never overlap.
import createEngine from './quarn-engine.mjs';

const engine = await createEngine();
// Every call answers into this one object and reads it back at once.
const answer = new engine.Answer();
const spansAddress = answer.spansAddress();
// A subject of up to this many units is written into the answer's own buffer, which saves the
// copies that dominate a short search; a longer one is copied for its call and freed after.
const WRITTEN = 65536;
let writtenAddress = 0;
let writtenCapacity = 0;

const NO_MATCH = 0;
const MATCHED = 1;
const ERROR = 2;
// Where a match may lie: from the start on, beginning at it, or from it to the end.
const SEARCH = 0;
const MATCH = 1;
const FULL_MATCH = 2;

export const IGNORECASE = 1;
export const SINGLELINE = 2;
export const MULTILINE = 4;
export const version = engine.version;

// The defaults are the legacy calls' own limits, so that a default search answers as a host
// of the engine sees it.
const UINT32_MAX = 4294967295;
const LIMITS = { depth: 1000, subjectLength: 32766, steps: 0 };
const SEARCH_OPTIONS = Object.freeze({ ...LIMITS, start: 0 });
const MATCH_ALL_OPTIONS = Object.freeze({ ...LIMITS, start: 0 });
const REPLACE_OPTIONS = Object.freeze({ ...LIMITS, maxCount: 0 });
const SPLIT_OPTIONS = Object.freeze({ ...LIMITS, maxSplit: 0 });
const MAXIMA = { steps: Number.MAX_SAFE_INTEGER }; // every other option goes up to UINT32_MAX

const disposeSymbol = Symbol.dispose ?? Symbol.for('nodejs.dispose');

// A pattern that does not compile, or a search that ended in an error: the engine's error
// number, its kind (the engine's name of the cause, which tells apart what shares a number:
// "pattern-syntax" and "depth-limit" are both 20052) and description, and where in the
// pattern (a string index) when the engine can tell.
export class QuarnError extends Error {
  constructor(number, kind, description, position) {
    super(`Error #${number}: ${description}`);
    this.name = 'QuarnError';
    this.number = number;
    this.kind = kind;
    this.description = description;
    this.position = position;
  }
}

// UTF-16 units of the wasm heap as a string, unit for unit (TextDecoder would replace lone
// surrogates), in slices that stay within the limit on the arguments of a call.
function decode(units) {
  let text = '';
  for (let i = 0; i < units.length; i += 8192) {
    text += String.fromCharCode.apply(null, units.subarray(i, i + 8192));
  }
  return text;
}

// The spans of the last match: start and end of the match, then of each group, -1 for none.
function takeSpans(count) {
  const base = spansAddress >> 2;
  return engine.HEAP32.slice(base, base + count);
}

function writeSubject(text) {
  if (text.length > writtenCapacity) {
    writtenCapacity = Math.min(WRITTEN, Math.max(text.length, 2 * writtenCapacity, 256));
    writtenAddress = answer.reserve(writtenCapacity);
  }
  const heap = engine.HEAPU16; // read after reserve, which may have grown the heap
  const base = writtenAddress >> 1;
  for (let i = 0; i < text.length; ++i) heap[base + i] = text.charCodeAt(i);
}

function takeError() {
  const position = answer.errorPosition();
  return new QuarnError(
    answer.errorNumber(),
    answer.errorKind(),
    decode(answer.errorDescription()),
    position < 0 ? undefined : position,
  );
}

function checkText(text, what) {
  if (typeof text !== 'string') throw new TypeError(`${what} must be a string, not ${typeof text}`);
}

// The options of a call over its defaults, each a whole number in range; an unknown name is a
// mistake worth hearing about (a misspelt limit would otherwise be ignored).
function readOptions(options, defaults) {
  if (options === undefined || options === null) return defaults;
  if (typeof options !== 'object') throw new TypeError('options must be an object');
  const read = { ...defaults };
  for (const name of Object.keys(options)) {
    if (!(name in defaults)) throw new TypeError(`unknown option "${name}"`);
    const value = options[name];
    if (value === undefined) continue;
    const max = MAXIMA[name] ?? UINT32_MAX;
    if (!Number.isInteger(value) || value < 0 || value > max) {
      throw new RangeError(`${name} must be a whole number from 0 to ${max}, not ${value}`);
    }
    read[name] = value;
  }
  return read;
}

function flagsOf(flags) {
  if (typeof flags === 'string') {
    let bits = 0;
    for (const letter of flags) {
      const bit = { i: IGNORECASE, s: SINGLELINE, m: MULTILINE }[letter];
      if (bit === undefined) throw new TypeError(`unknown flag "${letter}" (use i, s and m)`);
      bits |= bit;
    }
    return bits;
  }
  if (!Number.isInteger(flags) || flags < -2147483648 || flags > 2147483647) {
    throw new TypeError('flags must be a 32-bit integer or a string of i, s and m');
  }
  return flags;
}

// A match and its groups: group 0 is the whole match; a group that took no part has no span.
export class Match {
  #subject;
  #spans;

  constructor(subject, spans) {
    this.#subject = subject;
    this.#spans = spans;
  }

  get start() {
    return this.#spans[0];
  }
  get end() {
    return this.#spans[1];
  }
  get text() {
    return this.#subject.slice(this.#spans[0], this.#spans[1]);
  }
  get groupCount() {
    return this.#spans.length / 2 - 1;
  }
  // [start, end) of group n, or undefined when it took no part.
  span(n = 0) {
    this.#check(n);
    return this.#spans[2 * n] < 0 ? undefined : [this.#spans[2 * n], this.#spans[2 * n + 1]];
  }
  group(n = 0) {
    const span = this.span(n);
    return span && this.#subject.slice(span[0], span[1]);
  }
  // The texts of groups 1 and up.
  groups() {
    return Array.from({ length: this.groupCount }, (_, k) => this.group(k + 1));
  }
  #check(n) {
    if (!Number.isInteger(n) || n < 0 || n > this.groupCount) {
      throw new RangeError(`no group ${n}: the pattern has ${this.groupCount}`);
    }
  }
}

const unfreed = new FinalizationRegistry((wasmObject) => wasmObject.delete());

// The engine's analysis document of a compiled pattern, frozen, so that it can be shared.
function analysisOf(compiled) {
  const json = compiled.explainJson();
  if (!json) throw takeError(); // memory ran out compiling the pattern
  return deepFreeze(JSON.parse(json));
}

function deepFreeze(value) {
  if (value !== null && typeof value === 'object') {
    for (const member of Object.values(value)) deepFreeze(member);
    Object.freeze(value);
  }
  return value;
}

// A compiled pattern. It is immutable; free() gives its memory back at once.
export class Pattern {
  #compiled;
  #source;
  #flags;
  #spanCount;
  #analysis;

  // Throws QuarnError when the pattern does not compile.
  constructor(source, flags = 0) {
    checkText(source, 'the pattern');
    this.#flags = flagsOf(flags);
    this.#source = source;
    const compiled = new engine.Compiled(source, this.#flags);
    if (compiled.check(answer) === ERROR) {
      compiled.delete();
      throw takeError();
    }
    this.#compiled = compiled;
    this.#spanCount = 2 * (compiled.groupCount() + 1);
    unfreed.register(this, compiled, this);
  }

  get source() {
    return this.#source;
  }
  get flags() {
    return this.#flags;
  }
  get groupCount() {
    return this.#live().groupCount();
  }

  // The leftmost match at or after options.start (0), or null. Anchors and word boundaries see
  // the whole text; a start past its end is the engine's error 20053.
  search(text, options) {
    return this.#find(text, options, SEARCH);
  }

  // The match that begins at options.start, or null.
  match(text, options) {
    return this.#find(text, options, MATCH);
  }

  // The match from options.start to the end of the text, or null: where the first path found
  // ends elsewhere, the engine tries the pattern's other paths.
  fullMatch(text, options) {
    return this.#find(text, options, FULL_MATCH);
  }

  // Every non-overlapping match from options.start on, leftmost first, found as the iteration
  // goes: after an empty match the engine moves on by one character. An error ends the
  // iteration by throwing.
  matchAll(text, options) {
    checkText(text, 'the subject');
    return this.#matches(text, readOptions(options, MATCH_ALL_OPTIONS));
  }

  // The text with every match (at most options.maxCount, 0 for all) replaced: by replacement,
  // in which $0 to $9 stand for the match and its groups and $$ for $, or by what the function
  // replacement returns for each Match.
  replace(text, replacement, options) {
    checkText(text, 'the subject');
    const o = readOptions(options, REPLACE_OPTIONS);
    if (typeof replacement === 'function') return this.#replaceBy(text, replacement, { ...o, start: 0 });
    checkText(replacement, 'the replacement');
    const compiled = this.#live();
    const status = compiled.replace(text, replacement, o.maxCount, o.depth, o.subjectLength, o.steps, answer);
    if (status === ERROR) throw takeError();
    return decode(answer.text());
  }

  // The pieces of text between the matches (at most options.maxSplit matches, 0 for all).
  split(text, options) {
    checkText(text, 'the subject');
    const o = readOptions(options, SPLIT_OPTIONS);
    const status = this.#live().split(text, o.maxSplit, o.depth, o.subjectLength, o.steps, answer);
    if (status === ERROR) throw takeError();
    const joined = decode(answer.text());
    const pieces = [];
    let from = 0;
    for (const end of answer.pieceEnds()) {
      pieces.push(joined.slice(from, end));
      from = end;
    }
    return pieces;
  }

  // How the engine reads the pattern: the tree of its constructs, each with its place in the
  // pattern (start, end: string indices), its kind and a description in plain words.
  explain() {
    return this.#analyzed().tree;
  }

  // Every fault that a search of the pattern could meet (severity "error", with the error a
  // search would report) and the warnings, each with its place in the pattern.
  diagnostics() {
    return this.#analyzed().diagnostics;
  }

  // What every match satisfies: the fewest characters, required literals, anchoring, ...
  facts() {
    return this.#analyzed().facts;
  }

  // Gives the compiled program's memory back; the pattern cannot be used afterwards.
  free() {
    if (!this.#compiled) return;
    unfreed.unregister(this);
    this.#compiled.delete();
    this.#compiled = undefined;
  }
  [disposeSymbol]() {
    this.free();
  }

  toString() {
    return `Pattern(${JSON.stringify(this.#source)}, ${this.#flags})`;
  }

  #find(text, options, anchoring) {
    checkText(text, 'the subject');
    const o = readOptions(options, SEARCH_OPTIONS);
    const compiled = this.#live();
    let status;
    if (text.length <= WRITTEN) {
      writeSubject(text);
      status = compiled.searchWritten(text.length, anchoring, o.start, o.depth, o.subjectLength, o.steps, answer);
    } else {
      status = compiled.search(text, anchoring, o.start, o.depth, o.subjectLength, o.steps, answer);
    }
    if (status === ERROR) throw takeError();
    return status === MATCHED ? new Match(text, takeSpans(this.#spanCount)) : null;
  }

  #analyzed() {
    const compiled = this.#live();
    this.#analysis ??= analysisOf(compiled);
    return this.#analysis;
  }

  #live() {
    if (!this.#compiled) throw new Error('the pattern has been freed');
    return this.#compiled;
  }

  *#matches(text, o) {
    const iteration = new engine.Iteration(this.#live(), text, o.start, o.depth, o.subjectLength, o.steps);
    // An iterator dropped half-way frees its subject when it is collected.
    const token = {};
    unfreed.register(token, iteration, token);
    try {
      for (;;) {
        const status = iteration.next(answer);
        if (status === NO_MATCH) return;
        if (status === ERROR) throw takeError();
        yield new Match(text, takeSpans(this.#spanCount));
      }
    } finally {
      unfreed.unregister(token);
      iteration.delete();
    }
  }

  #replaceBy(text, replacement, o) {
    let replaced = '';
    let copied = 0;
    let count = 0;
    for (const match of this.#matches(text, o)) {
      replaced += text.slice(copied, match.start) + String(replacement(match));
      copied = match.end;
      if (++count === o.maxCount) break;
    }
    return replaced + text.slice(copied);
  }
}

export function compile(pattern, flags = 0) {
  return new Pattern(pattern, flags);
}

// What the engine knows about a pattern before any search, whether it compiles or not (a
// pattern that does not compile has its error as its one diagnostic): the engine's document
// {pattern, flags, groups, diagnostics, tree, facts}. Places are string indices of the pattern;
// texts in it show a lone surrogate of the pattern as U+FFFD, since the document is UTF-8.
export function analyze(pattern, flags = 0) {
  checkText(pattern, 'the pattern');
  const compiled = new engine.Compiled(pattern, flagsOf(flags));
  try {
    if (compiled.check(answer) === ERROR && answer.errorKind() === 'out-of-memory') throw takeError();
    return analysisOf(compiled);
  } finally {
    compiled.delete();
  }
}

// The same calls with a pattern compiled for the one call (options.flags) and freed after it.
function once(pattern, options, call) {
  const { flags = 0, ...rest } = options ?? {};
  const compiled = new Pattern(pattern, flags);
  try {
    return call(compiled, rest);
  } finally {
    compiled.free();
  }
}

export function search(pattern, text, options) {
  return once(pattern, options, (p, rest) => p.search(text, rest));
}

export function match(pattern, text, options) {
  return once(pattern, options, (p, rest) => p.match(text, rest));
}

export function fullMatch(pattern, text, options) {
  return once(pattern, options, (p, rest) => p.fullMatch(text, rest));
}

export function matchAll(pattern, text, options) {
  const { flags = 0, ...rest } = options ?? {};
  const compiled = new Pattern(pattern, flags);
  let matches;
  try {
    matches = compiled.matchAll(text, rest);
  } catch (error) {
    compiled.free();
    throw error;
  }
  return (function* () {
    try {
      yield* matches;
    } finally {
      compiled.free();
    }
  })();
}

export function replace(pattern, text, replacement, options) {
  return once(pattern, options, (p, rest) => p.replace(text, replacement, rest));
}

export function split(pattern, text, options) {
  return once(pattern, options, (p, rest) => p.split(text, rest));
}

// Bytes of the wasm heap that are allocated now, and the size of the heap itself.
export function memoryUsage() {
  return { inUse: engine.heapInUse(), heapSize: engine.HEAPU8.length };
}
