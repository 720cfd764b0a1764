// The highlights behind the subject: each match marked, every other one a shade darker, and
// each group inside it in a colour of its own (group n in colour (n - 1) mod 6 + 1; an inner
// group over an outer one). An empty match is a thin bar. Only the text up to the last mark
// is written, since nothing after it moves a mark.

const ESCAPES = { '&': '&amp;', '<': '&lt;', '>': '&gt;' };
const escape = (text) => text.replace(/[&<>]/g, (c) => ESCAPES[c]);

export const groupColour = (n) => ((n - 1) % 6) + 1;

// shown: the shown subject; spans: an Int32Array of [start, end] pairs per group (group 0
// first, -1 for none) for each match, groupCount + 1 pairs per match, in engine positions;
// toShown maps them to shown positions. Returns HTML.
export function highlightHtml(shown, spans, groupCount, count, toShown) {
  const stride = 2 * (groupCount + 1);
  let html = '';
  let written = 0; // shown text up to here is in html
  for (let k = 0; k < count; ++k) {
    const base = k * stride;
    const start = toShown(spans[base]);
    const end = toShown(spans[base + 1]);
    const nextStart = k + 1 < count ? toShown(spans[base + stride]) : Infinity;
    if (start > shown.length) break; // the shown text may be the start of the subject only
    if (start < written) continue; // cannot happen for non-overlapping matches; stay safe
    html += escape(shown.slice(written, start));
    if (start === end) {
      html += `<mark class="empty"></mark>`;
      written = start;
      continue;
    }
    // Boundaries of the match and of its groups inside [start, nextStart).
    const groups = [];
    for (let n = 1; n <= groupCount; ++n) {
      const from = spans[base + 2 * n];
      if (from < 0) continue;
      const a = Math.max(start, toShown(from));
      const b = Math.min(toShown(spans[base + 2 * n + 1]), nextStart); // a lookahead's group may pass the end
      if (a < b) groups.push([a, b, n]);
    }
    const cuts = new Set([start, end]);
    for (const [a, b] of groups) cuts.add(a).add(b);
    const points = [...cuts].sort((x, y) => x - y);
    const shade = k % 2 ? ' odd' : '';
    for (let i = 0; i + 1 < points.length; ++i) {
      const [a, b] = [points[i], points[i + 1]];
      let inner = 0;
      for (const [from, to, n] of groups) if (from <= a && b <= to && n > inner) inner = n;
      const inMatch = a >= start && b <= end;
      const cls = inner ? `g${groupColour(inner)}` : inMatch ? `m${shade}` : '';
      html += cls ? `<mark class="${cls}">${escape(shown.slice(a, b))}</mark>` : escape(shown.slice(a, b));
    }
    written = points[points.length - 1];
  }
  return html;
}
