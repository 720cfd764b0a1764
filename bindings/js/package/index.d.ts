// Types of the quarn package: Quarn regular expressions compiled to WebAssembly.
// Positions are indices of the JavaScript string (UTF-16 code units).

/** Letters compare without regard to case. */
export const IGNORECASE: 1;
/** "." also matches the characters of a CR LF line break. */
export const SINGLELINE: 2;
/** "^" and "$" also match next to an inner CR LF. */
export const MULTILINE: 4;
/** The engine's version. */
export const version: string;

/** Option bits (IGNORECASE | SINGLELINE | MULTILINE), or their letters "i", "s" and "m". */
export type Flags = number | string;

/**
 * What one search may spend; the defaults are the legacy calls' own limits.
 * Each ends a search with its own error: 20052 (depth), 6 (subject length), 20056 (steps).
 */
export interface Limits {
  /** Levels a search may go deep (default 1000; "a*" takes about depth / 2 characters). */
  depth?: number;
  /** The longest subject that may be searched, in units (default 32766, at most 4294967295). */
  subjectLength?: number;
  /** Steps a search may take; 0 (the default) for no budget. */
  steps?: number;
}

/** What went wrong, whatever the number: the engine's stable name of the cause. */
export type ErrorKind =
  | 'pattern-syntax'
  | 'depth-limit'
  | 'overflow'
  | 'subject-length'
  | 'step-budget'
  | 'cancelled'
  | 'invalid-utf8'
  | 'out-of-memory'
  | 'invalid-options'
  | 'invalid-argument'
  | 'no-stored-match'
  | 'internal';

/** A pattern that does not compile, or a search that ended in an error. */
export class QuarnError extends Error {
  readonly name: 'QuarnError';
  /** The engine's error number, e.g. 20052. */
  readonly number: number;
  /** The cause: 20052 is "pattern-syntax" or "depth-limit", 6 "overflow" or "subject-length". */
  readonly kind: ErrorKind;
  /** The engine's description: "Error in Quarn." + procedure + ": " + text. */
  readonly description: string;
  /** Where in the pattern the faulty construct stands, when the engine can tell. */
  readonly position: number | undefined;
}

/** An error as the engine's analysis gives it. */
export interface AnalysisError {
  readonly number: number;
  readonly kind: ErrorKind;
  readonly description: string;
  /** "Error #" + number + ": " + description. */
  readonly report: string;
  /** Where a search says the faulty construct stands (a string index), or null. */
  readonly position: number | null;
  /** The same in bytes of the pattern in UTF-8. */
  readonly bytePosition: number | null;
}

/** A stretch of the pattern: string indices, and bytes of the pattern in UTF-8. */
export interface Place {
  readonly start: number;
  readonly end: number;
  readonly byteStart: number;
  readonly byteEnd: number;
}

export type DiagnosticCode =
  | 'fault'
  | 'empty-loop'
  | 'deep-match'
  | 'letter-escape'
  | 'hex-brace'
  | 'posix-class'
  | 'brace-count'
  | 'zero-count'
  | 'trailing-backslash'
  | 'stray-marker'
  | 'incomplete';

/** A fault that a search of the pattern could meet, or a warning. */
export interface Diagnostic extends Place {
  /** "error": a search that reaches the construct reports error; "warning": it works, but probably not as meant. */
  readonly severity: 'error' | 'warning';
  readonly code: DiagnosticCode;
  /** In plain words. */
  readonly message: string;
  /** What a search reports there (always for "fault"; the depth limit for "empty-loop"), or null. */
  readonly error: AnalysisError | null;
}

export type NodeKind =
  | 'alternation'
  | 'sequence'
  | 'literal'
  | 'line-break'
  | 'any-character'
  | 'class'
  | 'line-start'
  | 'line-end'
  | 'text-start'
  | 'text-end'
  | 'word-boundary'
  | 'not-word-boundary'
  | 'back-reference'
  | 'end-only'
  | 'group'
  | 'plain-group'
  | 'lookahead'
  | 'negative-lookahead'
  | 'marker'
  | 'repeat'
  | 'ignored'
  | 'error';

/** A member of a class: a range of characters, or the line break CR LF. */
export interface ClassMember {
  readonly from?: string;
  readonly fromCode?: number;
  readonly to?: string;
  readonly toCode?: number;
  readonly lineBreak?: boolean;
}

/** How the engine reads a stretch of the pattern. */
export interface ExplainNode extends Place {
  readonly kind: NodeKind;
  /** The stretch as written. */
  readonly text: string;
  /** One line in plain words. */
  readonly description: string;
  readonly children?: readonly ExplainNode[];
  /** literal */
  readonly character?: string;
  readonly characterCode?: number;
  /** class */
  readonly negated?: boolean;
  readonly members?: readonly ClassMember[];
  /** group, back-reference, marker */
  readonly group?: number;
  /** repeat: how often (max null: no limit), whether greedy, as written, and the text braces stand for. */
  readonly min?: number;
  readonly max?: number | null;
  readonly greedy?: boolean;
  readonly quantifier?: string;
  readonly rewrite?: string;
  /** error, or a class that a character can reach a faulty range of. */
  readonly error?: AnalysisError;
}

/** What every match satisfies; where the engine cannot prove a fact it claims nothing. */
export interface PatternFacts {
  readonly complete: boolean;
  readonly faultFree: boolean;
  readonly ignoreCase: boolean;
  readonly minLength: number;
  readonly anchoredAtStart: boolean;
  readonly firstCharacters: readonly (readonly [number, number])[];
  readonly firstLevels: number;
  readonly requiredLiterals: readonly string[];
  readonly levelsPerCharacter: number | null;
  readonly depthSafeLength: number | null;
}

/** The engine's analysis of a pattern, as docs/pattern-analysis.md describes it. */
export interface Analysis {
  readonly pattern: string;
  readonly flags: number;
  readonly groups: number;
  readonly diagnostics: readonly Diagnostic[];
  readonly tree: ExplainNode;
  readonly facts: PatternFacts;
}

/** A match and its groups; group 0 is the whole match. */
export class Match {
  private constructor();
  readonly start: number;
  readonly end: number;
  readonly text: string;
  readonly groupCount: number;
  /** [start, end) of group n, or undefined when it took no part in the match. */
  span(n?: number): [number, number] | undefined;
  /** The text of group n, or undefined when it took no part in the match. */
  group(n?: number): string | undefined;
  /** The texts of groups 1 and up. */
  groups(): (string | undefined)[];
}

export interface SearchOptions extends Limits {
  /** Where the search begins (default 0, at most the text's length); anchors still see the whole text. */
  start?: number;
}
export interface ReplaceOptions extends Limits {
  /** Replace at most this many matches; 0 (the default) for all. */
  maxCount?: number;
}
export interface SplitOptions extends Limits {
  /** Split at most at this many matches; 0 (the default) for all. */
  maxSplit?: number;
}

/** A compiled pattern: immutable, searched any number of times, freed with free(). */
export class Pattern {
  /** Throws QuarnError when the pattern does not compile. */
  constructor(source: string, flags?: Flags);
  readonly source: string;
  readonly flags: number;
  readonly groupCount: number;
  /** The leftmost match at or after options.start, or null; throws QuarnError on an error. */
  search(text: string, options?: SearchOptions): Match | null;
  /** The match that begins at options.start, or null. */
  match(text: string, options?: SearchOptions): Match | null;
  /** The match from options.start to the end of the text, or null. */
  fullMatch(text: string, options?: SearchOptions): Match | null;
  /** Every non-overlapping match from options.start on, found as the iteration goes. */
  matchAll(text: string, options?: SearchOptions): IterableIterator<Match>;
  /** $0 to $9 stand for the match and its groups, $$ for $; or a function of each match. */
  replace(text: string, replacement: string | ((match: Match) => unknown), options?: ReplaceOptions): string;
  /** The pieces of text between the matches. */
  split(text: string, options?: SplitOptions): string[];
  /** How the engine reads the pattern, as a tree of its constructs. */
  explain(): ExplainNode;
  /** Every fault a search of the pattern could meet, and the warnings. */
  diagnostics(): readonly Diagnostic[];
  /** What every match satisfies. */
  facts(): PatternFacts;
  /** Gives the compiled program's memory back at once; the pattern cannot be used afterwards. */
  free(): void;
  [Symbol.dispose](): void;
}

/** Compiles pattern; throws QuarnError when it does not compile. */
export function compile(pattern: string, flags?: Flags): Pattern;

/** What the engine knows about a pattern before any search; a pattern that does not compile has its error as its one diagnostic. */
export function analyze(pattern: string, flags?: Flags): Analysis;

/** The pattern's flags for the calls below, which compile it for the one call. */
export interface WithFlags {
  flags?: Flags;
}
export function search(pattern: string, text: string, options?: SearchOptions & WithFlags): Match | null;
export function match(pattern: string, text: string, options?: SearchOptions & WithFlags): Match | null;
export function fullMatch(pattern: string, text: string, options?: SearchOptions & WithFlags): Match | null;
export function matchAll(pattern: string, text: string, options?: SearchOptions & WithFlags): IterableIterator<Match>;
export function replace(
  pattern: string,
  text: string,
  replacement: string | ((match: Match) => unknown),
  options?: ReplaceOptions & WithFlags,
): string;
export function split(pattern: string, text: string, options?: SplitOptions & WithFlags): string[];

/** Bytes of the wasm heap allocated now, and the size of the heap. */
export function memoryUsage(): { inUse: number; heapSize: number };
