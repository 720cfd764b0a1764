// "Copy as": the page's pattern, subject and options as a call in C++, Python or JavaScript,
// each text a literal that denotes exactly its UTF-16 code units (lone surrogates included),
// ready to paste into a program.

const hex = (value, width) => value.toString(16).toUpperCase().padStart(width, '0');
const isHigh = (c) => c >= 0xd800 && c <= 0xdbff;
const isLow = (c) => c >= 0xdc00 && c <= 0xdfff;

// Walks text's units: printable ASCII through plain(c) (which may escape it), a surrogate pair
// through pair(code point), every other unit through other(unit, next unit).
function literal(text, { plain, pair, other }) {
  let out = '';
  for (let i = 0; i < text.length; ++i) {
    const c = text.charCodeAt(i);
    const next = i + 1 < text.length ? text.charCodeAt(i + 1) : -1;
    if (c >= 0x20 && c < 0x7f) {
      out += plain(text[i], i > 0 ? text[i - 1] : '');
    } else if (isHigh(c) && isLow(next)) {
      out += pair(text.codePointAt(i));
      ++i;
    } else {
      out += other(c, next);
    }
  }
  return out;
}

const NAMED = { 9: '\\t', 10: '\\n', 13: '\\r' };

// As the workbench writes it: a u"" literal (possibly several, which the compiler joins);
// \t \n \r by name, other units as \uXXXX, a pair as one \UXXXXXXXX and a lone surrogate as
// \xXXXX (no universal character name may denote one).
export function cppLiteral(text) {
  const body = literal(text, {
    plain: (c, before) => ({ '\\': '\\\\', '"': '\\"', '?': before === '?' ? '\\?' : '?' })[c] ?? c,
    pair: (code) => `\\U${hex(code, 8)}`,
    other: (c, next) => {
      if (NAMED[c]) return NAMED[c];
      if (!isHigh(c) && !isLow(c)) return `\\u${hex(c, 4)}`;
      // A hexadecimal escape takes every hex digit that follows, so the literal ends here.
      const digit = next >= 0 && /[0-9a-fA-F]/.test(String.fromCharCode(next));
      return `\\x${hex(c, 4)}${digit ? '" u"' : ''}`;
    },
  });
  return `u"${body}"`;
}

const FLAG_NAMES = [
  [1, 'IgnoreCase', 'IGNORECASE', 'i'],
  [2, 'SingleLine', 'SINGLELINE', 's'],
  [4, 'Multiline', 'MULTILINE', 'm'],
];

// The flags as named constants joined by " | ", any other bits as a number.
function flagExpression(flags, name) {
  const names = [];
  let rest = flags;
  for (const [bit, cpp, python] of FLAG_NAMES) {
    if ((flags & bit) === 0) continue;
    names.push(name(cpp, python));
    rest &= ~bit;
  }
  if (rest !== 0 || names.length === 0) names.push(String(rest));
  return names.join(' | ');
}

// "quarn::Quarn(u"text", u"pattern", flags)", the legacy call the workbench copies.
export function cppCall(text, pattern, flags) {
  const names = flagExpression(flags, (cpp) => `quarn::re${cpp}`);
  return `quarn::Quarn(${cppLiteral(text)}, ${cppLiteral(pattern)}, ${names})`;
}

// A Python str literal of exactly these units (Python keeps lone surrogates in a str).
export function pythonLiteral(text) {
  const body = literal(text, {
    plain: (c) => ({ '\\': '\\\\', "'": "\\'" })[c] ?? c,
    pair: (code) => `\\U${hex(code, 8).toLowerCase()}`,
    other: (c) => NAMED[c] ?? (c < 0x100 ? `\\x${hex(c, 2).toLowerCase()}` : `\\u${hex(c, 4).toLowerCase()}`),
  });
  return `'${body}'`;
}

export function pythonCall(text, pattern, flags) {
  const names = flagExpression(flags, (cpp, python) => `quarn.${python}`);
  return `import quarn\n\nmatch = quarn.search(${pythonLiteral(pattern)}, ${pythonLiteral(text)}, ${names})\n`;
}

// A JavaScript string literal of exactly these units.
export function javascriptLiteral(text) {
  const body = literal(text, {
    plain: (c) => ({ '\\': '\\\\', "'": "\\'" })[c] ?? c,
    pair: (code) => `\\u{${hex(code, 0)}}`,
    other: (c) => NAMED[c] ?? `\\u${hex(c, 4)}`,
  });
  return `'${body}'`;
}

export function javascriptCall(text, pattern, flags) {
  let letters = '';
  for (const [bit, , , letter] of FLAG_NAMES) if (flags & bit) letters += letter;
  const other = flags & ~7;
  const flagsValue = other ? String(flags) : `'${letters}'`;
  const options = flags ? `, { flags: ${flagsValue} }` : '';
  return `import { search } from 'quarn';\n\nconst match = search(${javascriptLiteral(pattern)}, ${javascriptLiteral(text)}${options});\n`;
}

export const copyAs = { cpp: cppCall, python: pythonCall, javascript: javascriptCall };
