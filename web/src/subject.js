// The subject as the page shows it and as the engine reads it. The engine knows one line
// break, CR LF, and a textarea knows only LF; so the page shows each CR LF as a line break, a
// lone CR as ␍ and a lone LF as ␊, and hands the engine exactly the text it shows.
export const LONE_CR = '\u240D';
export const LONE_LF = '\u240A';

const SHOWN = { '\n': '\r\n', [LONE_CR]: '\r', [LONE_LF]: '\n' };
const ENGINE = { '\r\n': '\n', '\r': LONE_CR, '\n': LONE_LF };

export function toEngine(shown) {
  return shown.replace(/[\n\u240D\u240A]/g, (c) => SHOWN[c]);
}

export function toShown(text) {
  return text.replace(/\r\n|\r|\n/g, (c) => ENGINE[c]);
}

// A function from positions of the engine's text to positions of the shown text: every CR LF
// wholly before a position is one character shorter there.
export function shownPositions(text) {
  const pairs = []; // the index of each CR LF's LF
  for (let at = text.indexOf('\r\n'); at >= 0; at = text.indexOf('\r\n', at + 2)) pairs.push(at + 1);
  if (pairs.length === 0) return (position) => position;
  return (position) => {
    let low = 0;
    let high = pairs.length;
    while (low < high) {
      const middle = (low + high) >> 1;
      if (pairs[middle] < position) low = middle + 1;
      else high = middle;
    }
    return position - low;
  };
}

// The first lone surrogate of text, as [index, unit], or undefined.
export function loneSurrogate(text) {
  const found = /[\uD800-\uDBFF](?![\uDC00-\uDFFF])|(?<![\uD800-\uDBFF])[\uDC00-\uDFFF]/.exec(text);
  return found ? [found.index, found[0].charCodeAt(0)] : undefined;
}

// A text in one line with a column per unit, for the pattern above an error's caret: line
// breaks and other controls as their control pictures.
export function visible(text) {
  return text.replace(/[\u0000-\u001F\u007F]/g, (c) => String.fromCharCode(c === '\u007F' ? 0x2421 : 0x2400 + c.charCodeAt(0)));
}

const CONTROLS = ['NUL', 'SOH', 'STX', 'ETX', 'EOT', 'ENQ', 'ACK', 'BEL', 'BS', 'HT', 'LF', 'VT', 'FF', 'CR', 'SO', 'SI',
  'DLE', 'DC1', 'DC2', 'DC3', 'DC4', 'NAK', 'SYN', 'ETB', 'CAN', 'EM', 'SUB', 'ESC', 'FS', 'GS', 'RS', 'US'];
const HTML_ESCAPES = { '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' };

// The name the workbench gives a character that does not show: "CR", "DEL", "LS", "U+0085".
function characterName(c) {
  const code = c.charCodeAt(0);
  if (code < 0x20) return CONTROLS[code];
  return { 0x7f: 'DEL', 0x2028: 'LS', 0x2029: 'PS' }[code] ?? `U+${code.toString(16).toUpperCase().padStart(4, '0')}`;
}

// A text as HTML for a table cell or a list, as the workbench's lists show it: each character
// that does not show as a small box with its name, cut after limit units.
export function visibleHtml(text, limit = 200) {
  const cut = text.length > limit ? text.slice(0, limit) : text;
  const body = cut.replace(/[\u0000-\u001F\u007F-\u009F\u2028\u2029&<>"]/g, (c) =>
    HTML_ESCAPES[c] ?? `<span class="ctl">${characterName(c)}</span>`,
  );
  return text.length > limit ? `${body}…` : body;
}
