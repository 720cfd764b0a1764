// The playground page: reads the inputs, hands each new state to the engine's worker (which
// is replaced when the input changes while it works), and shows what comes back: the pattern's
// error with a caret, the highlights, the match table, the previews and the test cases. Also
// the permalink, "copy as", the colour scheme and the keys. Everything the engine decides
// comes from the worker; this file only shows it, and never shows more than a page can hold.
import { failure, readCases, writeCases } from './cases.js';
import { copyAs } from './copyas.js';
import { groupColour, highlightHtml } from './highlight.js';
import { decodeState, encodeState } from './permalink.js';
import { Runner } from './runner.js';
import { LONE_LF, loneSurrogate, shownPositions, toEngine, toShown, visible, visibleHtml } from './subject.js';

const DEFAULT_LIMITS = { depth: 1000, subjectLength: 32766, steps: 0 };
const HIGHLIGHTS = 5000; // matches marked in the subject
const ROWS = 1000; // rows of the match table
const PREVIEW = 200000; // units of the replacement preview
const LARGE = 200000; // a subject this long is searched after a pause in typing
// A subject longer than this is kept aside, and the box shows its start only: laying out a
// text of many megabytes in a textarea would hold the page for seconds.
const ASIDE = 2000000;
const ASIDE_SHOWN = 100000;
const SLOW = 300; // ms before a running search says so
const TABS = ['matches', 'replace', 'split', 'cases', 'explain', 'reference'];
const DIAGNOSTICS = 20; // diagnostics listed under the pattern
const NODES = 2000; // lines of the explanation

const $ = (id) => document.getElementById(id);
const ESCAPES = { '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' };
const html = (text) => text.replace(/[&<>"]/g, (c) => ESCAPES[c]);

const EXAMPLE = {
  pattern: '(\\d{4})-(\\d\\d)-(\\d\\d)',
  flags: 0,
  subject: 'Released 2026-12-08, patched 2027-01-15.\r\nNext: 2027-06-30, maybe.',
  replacement: '$3.$2.$1',
  limits: DEFAULT_LIMITS,
  cases: [],
};

let cases = []; // {name, subject, expectMatch, expectedText?}, subjects in the engine's text
let outcomes = []; // the latest outcome of each case
let aside = null; // the whole subject when it is too long for the box
let shown = { subject: '', engine: '', positions: (p) => p }; // the subject the results belong to
let analyzedPattern = ''; // the pattern the diagnostics and the explanation belong to
let groupCount = 0;
let slowTimer;
let startedAt = 0;
let pending; // the timer of a search that waits for a pause in typing

// --- reading the inputs -----------------------------------------------------------------

function flags() {
  return ($('flag-i').checked ? 1 : 0) | ($('flag-s').checked ? 2 : 0) | ($('flag-m').checked ? 4 : 0);
}

function setFlags(value) {
  $('flag-i').checked = (value & 1) !== 0;
  $('flag-s').checked = (value & 2) !== 0;
  $('flag-m').checked = (value & 4) !== 0;
}

const LIMIT_INPUTS = { depth: 'limit-depth', subjectLength: 'limit-subject', steps: 'limit-steps' };

// The limits as typed; a field that does not hold a whole number in range counts as its default
// and says so.
function limits() {
  const read = {};
  for (const [name, id] of Object.entries(LIMIT_INPUTS)) {
    const input = $(id);
    const value = Number(input.value);
    const max = name === 'steps' ? Number.MAX_SAFE_INTEGER : 4294967295;
    const valid = input.value.trim() !== '' && Number.isInteger(value) && value >= 0 && value <= max;
    input.setAttribute('aria-invalid', String(!valid));
    read[name] = valid ? value : DEFAULT_LIMITS[name];
  }
  $('limits-note').hidden = Object.entries(read).every(([name, value]) => value === DEFAULT_LIMITS[name]);
  return read;
}

function setLimits(values) {
  for (const [name, id] of Object.entries(LIMIT_INPUTS)) $(id).value = values[name];
}

function subjectText() {
  return aside ?? toEngine($('subject').value);
}

// Puts text in the subject: in the box, or aside with its start in the box when it is too long.
function setSubject(text) {
  aside = text.length > ASIDE ? text : null;
  const box = $('subject');
  box.value = toShown(aside ? text.slice(0, ASIDE_SHOWN) : text);
  box.readOnly = aside !== null;
  const note = $('subject-aside');
  note.hidden = aside === null;
  note.firstElementChild.textContent = aside
    ? `The subject is ${text.length.toLocaleString('en')} units long, too long to edit here: the box shows its first ${ASIDE_SHOWN.toLocaleString('en')}, and the search reads all of it.`
    : '';
}

// A paste that would make the subject too long for the box goes aside before the box holds it.
function subjectPaste(event) {
  const pasted = event.clipboardData?.getData('text/plain') ?? '';
  const box = $('subject');
  if (box.value.length - (box.selectionEnd - box.selectionStart) + pasted.length <= ASIDE) return;
  event.preventDefault();
  setSubject(toEngine(box.value.slice(0, box.selectionStart) + pasted + box.value.slice(box.selectionEnd)));
  search();
}

function state() {
  return {
    pattern: $('pattern').value,
    flags: flags(),
    subject: subjectText(),
    replacement: $('replacement').value,
    limits: limits(),
    cases: cases.map(({ name, subject, expectMatch, expectedText }) => ({ name, subject, expectMatch, expectedText })),
  };
}

function setState(s) {
  $('pattern').value = s.pattern ?? EXAMPLE.pattern;
  setFlags(s.flags ?? 0);
  setSubject(s.subject ?? '');
  $('replacement').value = s.replacement ?? EXAMPLE.replacement;
  setLimits(s.limits ?? DEFAULT_LIMITS);
  cases = (s.cases ?? []).map((c) => ({ ...c }));
  outcomes = [];
  renderCases();
  search();
}

// --- talking to the worker --------------------------------------------------------------

const runner = new Runner(new URL('./worker.js', import.meta.url), onResult);

function search() {
  clearTimeout(pending);
  pending = undefined;
  const s = state();
  noteLoneSurrogates(s);
  shown = { subject: $('subject').value, engine: s.subject, positions: shownPositions(s.subject) };
  analyzedPattern = s.pattern;
  $('highlights').innerHTML = '';
  runner.run({
    pattern: s.pattern,
    flags: s.flags,
    subject: s.subject,
    replacement: s.replacement,
    limits: s.limits,
    cases: s.cases.map((c) => ({ subject: c.subject })),
  });
  startedAt = performance.now();
  clearInterval(slowTimer);
  slowTimer = setInterval(showRunning, SLOW);
}

// A change of the subject waits for a pause in typing when the subject is large; every other
// change searches at once.
function changed(event) {
  if (event?.target === $('subject') && (aside !== null || $('subject').value.length > ASIDE)) {
    setSubject(toEngine($('subject').value)); // set by a script or dropped: aside or back in the box
  }
  if (event?.target === $('subject') && $('subject').value.length > LARGE) {
    clearTimeout(pending);
    $('highlights').innerHTML = '';
    pending = setTimeout(search, 250);
    return;
  }
  search();
}

function showRunning() {
  if (!runner.busy) return;
  const seconds = ((performance.now() - startedAt) / 1000).toFixed(1);
  setStatus(`Searching… ${seconds} s (Esc stops it)`, '');
  $('stop').hidden = false;
}

function finished() {
  clearInterval(slowTimer);
  $('stop').hidden = true;
}

function onResult(message) {
  if (message.stopped) {
    finished();
    setStatus('Stopped. Change the input to search again.', 'error');
    return;
  }
  if (message.failed) {
    finished();
    setStatus(`The engine failed: ${message.failed}`, 'error');
    return;
  }
  if (message.done) {
    finished();
    return;
  }
  ({ analyzed: showAnalysis, matches: showMatches, cases: showCaseOutcomes, replaced: showReplaced, split: showSplit })[
    message.phase
  ](message);
}

// --- showing results --------------------------------------------------------------------

function setStatus(text, kind) {
  $('status-text').textContent = text;
  $('status').className = kind;
}

// The pattern around a place, with carets under it: at most 60 characters either side and 60
// carets (a fault may span the whole of a long pattern), controls as symbols, a surrogate pair
// one column.
function caretLines(pattern, start, end) {
  const from = Math.max(0, start - 60);
  const markEnd = Math.min(Math.max(end, start), start + 60);
  const to = Math.min(pattern.length, markEnd + 60);
  const lead = from > 0 ? '…' : '';
  const before = visible(pattern.slice(from, start));
  const marked = visible(pattern.slice(start, markEnd));
  const after = visible(pattern.slice(markEnd, to));
  const columns = [...lead, ...before].length;
  const width = Math.max(1, [...marked].length);
  return `${lead}${before}${marked}${after}${to < pattern.length ? '…' : ''}\n${' '.repeat(columns)}${'^'.repeat(width)}`;
}

// The pattern's faults and warnings under it, each with carets under its place, then its
// explanation; a pattern that does not compile stops there.
function showAnalysis(message) {
  const pattern = analyzedPattern;
  const list = $('diagnostics');
  const listed = message.diagnostics.slice(0, DIAGNOSTICS);
  list.innerHTML = listed
    .map((d) => {
      const text = d.severity === 'error' ? (d.error?.report ?? d.message) : `Warning: ${d.message}`;
      return `<li class="${d.severity}"><div>${html(text)}</div><pre class="caret" aria-hidden="true">${html(caretLines(pattern, d.start, d.end))}</pre></li>`;
    })
    .join('');
  if (message.diagnostics.length > listed.length) {
    list.insertAdjacentHTML('beforeend', `<li class="note">and ${message.diagnostics.length - listed.length} more</li>`);
  }
  list.hidden = listed.length === 0;
  const faulty = message.error !== undefined || message.diagnostics.some((d) => d.severity === 'error');
  $('pattern').setAttribute('aria-invalid', String(faulty));
  renderExplanation(message.tree, pattern);
  if (!message.error) {
    groupCount = message.groupCount;
    return;
  }
  setStatus('The pattern does not compile.', 'error');
  $('highlights').innerHTML = '';
  renderTable(new Int32Array(0), 0, 0);
  $('match-count').textContent = '';
  $('replace-preview').textContent = '';
  $('split-preview').innerHTML = '';
  $('split-count').textContent = '';
}

// The explanation as nested lists, each line a button that selects what it reads in the
// pattern; the texts come from the pattern itself, unit for unit.
function renderExplanation(tree, pattern) {
  let budget = NODES;
  const item = (node) => {
    if (budget-- <= 0) return '';
    const children = node.children?.map(item).join('') ?? '';
    const text = visibleHtml(pattern.slice(node.start, node.end), 80);
    return `<li><button type="button" data-start="${node.start}" data-end="${node.end}"><code>${text}</code> <span class="kind">${node.kind}</span> ${html(node.description)}</button>${children && `<ul>${children}</ul>`}</li>`;
  };
  $('explanation').innerHTML = `<ul>${item(tree)}</ul>`;
  $('explain-more').hidden = budget >= 0;
  $('explain-more').textContent = `The explanation shows its first ${NODES.toLocaleString('en')} lines.`;
}

function explanationClicked(event) {
  const line = event.target.closest('button[data-start]');
  if (!line) return;
  const pattern = $('pattern');
  pattern.focus();
  pattern.setSelectionRange(Number(line.dataset.start), Number(line.dataset.end));
}

const plural = (n, one, many) => `${n.toLocaleString('en')} ${n === 1 ? one : many}`;

function showMatches({ total, spans, error }) {
  const count = plural(total, 'match', 'matches');
  if (error) {
    setStatus(`${error.report} (after ${count})${hintFor(error)}`, 'error');
  } else {
    setStatus(total ? count : 'No match', '');
  }
  $('match-count').textContent = error ? `${count} before the error` : count;
  const marked = Math.min(total, HIGHLIGHTS, spans.length / (2 * (groupCount + 1)));
  $('highlights').innerHTML = highlightHtml(shown.subject, spans, groupCount, marked, shown.positions);
  alignBackdrop();
  renderTable(spans, Math.min(marked, ROWS), total);
}

// What to change when a limit ended the search.
function hintFor(error) {
  const limit = { 'subject-length': 'Subject length', 'depth-limit': 'Depth', 'step-budget': 'Steps' }[error.kind];
  return limit ? `. Raise ${limit} under Limits to search further.` : '';
}

function renderTable(spans, rows, total) {
  const stride = 2 * (groupCount + 1);
  const head = ['#', 'Start', 'End', 'Match'];
  let header = head.map((h) => `<th scope="col">${h}</th>`).join('');
  for (let n = 1; n <= groupCount; ++n) {
    header += `<th scope="col"><span class="swatch" style="background: var(--g${groupColour(n)})"></span>${n}</th>`;
  }
  $('match-table').tHead.innerHTML = `<tr>${header}</tr>`;
  const subject = shown.engine;
  let body = '';
  for (let k = 0; k < rows; ++k) {
    const at = k * stride;
    body += `<tr><td class="number">${k + 1}</td><td class="number">${spans[at]}</td><td class="number">${spans[at + 1]}</td>`;
    for (let n = 0; n <= groupCount; ++n) {
      const [a, b] = [spans[at + 2 * n], spans[at + 2 * n + 1]];
      body += a < 0 ? '<td class="none">—</td>' : `<td class="text">${visibleHtml(subject.slice(a, b))}</td>`;
    }
    body += '</tr>';
  }
  $('match-table').tBodies[0].innerHTML = body;
  const more = $('match-more');
  more.hidden = total <= rows;
  more.textContent = `The table shows the first ${rows.toLocaleString('en')} of ${total.toLocaleString('en')} matches.`;
}

function showReplaced(message) {
  const box = $('replace-preview');
  if (message.error) {
    box.textContent = message.error.report;
    box.classList.add('error');
    return;
  }
  box.classList.remove('error');
  const text = toShown(message.text);
  box.textContent = text.length > PREVIEW ? `${text.slice(0, PREVIEW)}…` : text;
}

function showSplit(message) {
  if (message.error) {
    $('split-count').textContent = message.error.report;
    $('split-preview').innerHTML = '';
    return;
  }
  const shownPieces = message.pieces.length < message.total ? ` (the first ${message.pieces.length} shown)` : '';
  $('split-count').textContent = `${plural(message.total, 'piece', 'pieces')}${shownPieces}`;
  $('split-preview').innerHTML = message.pieces.map((p) => `<li>${visibleHtml(p, 2000)}</li>`).join('');
}

// The textarea's scrolling and width, given to the highlights behind it.
function alignBackdrop() {
  const subject = $('subject');
  const highlights = $('highlights');
  highlights.style.width = `${subject.clientWidth}px`;
  highlights.style.transform = `translate(${-subject.scrollLeft}px, ${-subject.scrollTop}px)`;
}

function noteLoneSurrogates(s) {
  const notes = [];
  for (const [what, text] of [['pattern', s.pattern], ['subject', s.subject]]) {
    const found = loneSurrogate(text);
    if (found) {
      const unit = found[1].toString(16).toUpperCase();
      notes.push(`The ${what} holds a lone surrogate (U+${unit}) at ${found[0]}; the engine reads it as one unit of its own.`);
    }
  }
  $('input-note').hidden = notes.length === 0;
  $('input-note').textContent = notes.join(' ');
}

// --- test cases -------------------------------------------------------------------------

function renderCases() {
  const body = $('case-table').tBodies[0];
  body.innerHTML = cases
    .map(
      (c, k) => `<tr data-case="${k}">
  <td><input type="text" class="case-name" aria-label="Name of case ${k + 1}" value="${html(c.name)}"></td>
  <td class="text"><button type="button" class="case-use" title="Use as the subject">↑</button> ${visibleHtml(c.subject, 60)}</td>
  <td><label><input type="checkbox" class="case-expect" ${c.expectMatch ? 'checked' : ''}> match</label></td>
  <td><input type="checkbox" class="case-has-text" aria-label="Compare the match text of case ${k + 1}" ${c.expectedText !== undefined ? 'checked' : ''} ${c.expectMatch ? '' : 'disabled'}>
      <input type="text" class="case-text" aria-label="Match text of case ${k + 1}" value="${html(c.expectedText ?? '')}" ${c.expectedText !== undefined ? '' : 'disabled'}></td>
  <td class="case-result" aria-live="polite"></td>
  <td><button type="button" class="case-remove" aria-label="Remove case ${k + 1}">✕</button></td>
</tr>`,
    )
    .join('');
  showCaseResults();
}

function showCaseOutcomes({ outcomes: received }) {
  outcomes = received.map((o) => (o.error ? { error: o.error.report } : o));
  showCaseResults();
}

function showCaseResults() {
  let passed = 0;
  cases.forEach((c, k) => {
    const cell = $('case-table').querySelector(`tr[data-case="${k}"] .case-result`);
    const outcome = outcomes[k];
    if (!outcome) {
      cell.textContent = '…';
      cell.className = 'case-result';
      return;
    }
    const why = failure(c, outcome);
    if (!why) ++passed;
    cell.textContent = why ? `fail: ${why}` : 'pass';
    cell.className = `case-result ${why ? 'fail' : 'pass'}`;
  });
  $('case-summary').textContent = cases.length ? `${passed} of ${cases.length} pass` : 'No cases yet';
}

function addCase() {
  const subject = subjectText();
  const k = cases.length;
  cases.push({ name: `case ${k + 1}`, subject, expectMatch: true });
  renderCases();
  search();
}

function caseEdited(event) {
  const row = event.target.closest('tr[data-case]');
  if (!row) return;
  const c = cases[Number(row.dataset.case)];
  const target = event.target;
  if (target.classList.contains('case-name')) {
    c.name = target.value;
    return;
  }
  if (target.classList.contains('case-expect')) {
    c.expectMatch = target.checked;
    if (!c.expectMatch) delete c.expectedText;
  } else if (target.classList.contains('case-has-text')) {
    if (target.checked) c.expectedText = row.querySelector('.case-text').value;
    else delete c.expectedText;
  } else if (target.classList.contains('case-text')) {
    c.expectedText = target.value;
    showCaseResults();
    return;
  } else {
    return;
  }
  const focused = target.className;
  renderCases();
  $('case-table').querySelector(`tr[data-case="${row.dataset.case}"] .${focused}`)?.focus();
}

function caseClicked(event) {
  const row = event.target.closest('tr[data-case]');
  if (!row) return;
  const k = Number(row.dataset.case);
  if (event.target.classList.contains('case-remove')) {
    cases.splice(k, 1);
    outcomes.splice(k, 1);
    renderCases();
    search();
  } else if (event.target.classList.contains('case-use')) {
    setSubject(cases[k].subject);
    search();
  }
}

async function importCases(event) {
  const file = event.target.files[0];
  event.target.value = '';
  if (!file) return;
  try {
    const read = readCases(await file.text());
    $('pattern').value = read.pattern;
    setFlags(read.flags);
    cases = read.cases;
    outcomes = [];
    renderCases();
    search();
    toast(`Read ${plural(cases.length, 'case', 'cases')} from ${file.name}`);
  } catch (error) {
    notice(`${file.name} could not be read: ${error.message}`);
  }
}

function exportCases() {
  let text;
  try {
    text = writeCases({ pattern: $('pattern').value, flags: flags(), cases });
  } catch (error) {
    notice(`The cases could not be saved: ${error.message}`);
    return;
  }
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([text], { type: 'application/jsonl' }));
  link.download = 'cases.jsonl';
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 1000);
}

// --- permalink, copy as, notices --------------------------------------------------------

function notice(text) {
  $('notice').textContent = text;
  $('notice').hidden = !text;
}

let toastTimer;
function toast(text) {
  $('toast').textContent = text;
  clearTimeout(toastTimer);
  toastTimer = setTimeout(() => ($('toast').textContent = ''), 4000);
}

async function copy(text, what) {
  try {
    await navigator.clipboard.writeText(text);
    toast(`Copied ${what}`);
  } catch {
    toast(`The browser did not let the page copy ${what}`);
  }
}

async function copyLink() {
  const fragment = await encodeState(state());
  history.replaceState(null, '', `#${fragment}`);
  await copy(location.href, 'the link');
}

function copyCall() {
  const s = state();
  const language = $('copy-as-language').value;
  copy(copyAs[language](s.subject, s.pattern, s.flags), `the ${$('copy-as-language').selectedOptions[0].text} call`);
}

// The state in the address, or the example when there is none; a link that cannot be read
// says why and leaves the page as it is.
async function openAddress() {
  const fragment = location.hash.slice(1);
  if (!fragment) {
    setState(EXAMPLE);
    return;
  }
  try {
    setState(await decodeState(fragment));
    notice('');
  } catch (error) {
    notice(`This link could not be read: ${error.message}. The page shows the example instead.`);
    setState(EXAMPLE);
  }
}

// --- tabs, scheme and keys ---------------------------------------------------------------

function selectTab(name, focus) {
  for (const tab of TABS) {
    const selected = tab === name;
    const button = $(`tab-${tab}`);
    button.setAttribute('aria-selected', String(selected));
    button.tabIndex = selected ? 0 : -1;
    $(`panel-${tab}`).hidden = !selected;
    if (selected && focus) button.focus();
  }
}

function tabKeys(event) {
  const current = TABS.findIndex((t) => $(`tab-${t}`).getAttribute('aria-selected') === 'true');
  const next = { ArrowRight: current + 1, ArrowLeft: current - 1, Home: 0, End: TABS.length - 1 }[event.key];
  if (next === undefined) return;
  event.preventDefault();
  selectTab(TABS[(next + TABS.length) % TABS.length], true);
}

function setScheme(scheme) {
  if (scheme === 'auto') delete document.documentElement.dataset.scheme;
  else document.documentElement.dataset.scheme = scheme;
  $('scheme').value = scheme;
  try {
    localStorage.setItem('quarn-scheme', scheme);
  } catch {
    // storage may be refused; the choice then lasts for the page
  }
}

function pageKeys(event) {
  if (event.key === 'Escape' && runner.busy) {
    event.preventDefault();
    runner.stop();
  } else if (event.altKey && !event.ctrlKey && /^Digit[1-6]$/.test(event.code)) {
    event.preventDefault();
    selectTab(TABS[Number(event.code.slice(5)) - 1], true);
  } else if (event.altKey && event.shiftKey && event.code === 'KeyC') {
    event.preventDefault();
    copyCall();
  } else if (event.altKey && event.shiftKey && event.code === 'KeyL') {
    event.preventDefault();
    copyLink();
  }
}

// Shift+Enter types a lone LF, which the textarea cannot hold as itself.
function subjectKeys(event) {
  if (event.key !== 'Enter' || !event.shiftKey || event.target.readOnly) return;
  event.preventDefault();
  const subject = $('subject');
  subject.setRangeText(LONE_LF, subject.selectionStart, subject.selectionEnd, 'end');
  subject.dispatchEvent(new Event('input', { bubbles: true }));
}

// --- wiring -----------------------------------------------------------------------------

for (const id of ['pattern', 'subject', 'replacement', 'flag-i', 'flag-s', 'flag-m', ...Object.values(LIMIT_INPUTS)]) {
  $(id).addEventListener('input', changed);
}
$('subject').addEventListener('keydown', subjectKeys);
$('subject').addEventListener('paste', subjectPaste);
$('subject-clear').addEventListener('click', () => {
  setSubject('');
  search();
  $('subject').focus();
});
$('subject').addEventListener('scroll', alignBackdrop);
new ResizeObserver(alignBackdrop).observe($('subject'));
$('stop').addEventListener('click', () => runner.stop());
$('copy-link').addEventListener('click', copyLink);
$('copy-as').addEventListener('click', copyCall);
$('scheme').addEventListener('change', (event) => setScheme(event.target.value));
$('case-add').addEventListener('click', addCase);
$('case-import').addEventListener('change', importCases);
$('case-export').addEventListener('click', exportCases);
$('case-table').addEventListener('input', caseEdited);
$('case-table').addEventListener('click', caseClicked);
$('tabs').addEventListener('keydown', tabKeys);
$('explanation').addEventListener('click', explanationClicked);
for (const tab of TABS) $(`tab-${tab}`).addEventListener('click', () => selectTab(tab, false));
document.addEventListener('keydown', pageKeys);
window.addEventListener('hashchange', openAddress);

try {
  setScheme(localStorage.getItem('quarn-scheme') ?? 'auto');
} catch {
  setScheme('auto');
}
openAddress();
