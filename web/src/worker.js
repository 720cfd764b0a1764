// The engine's work for the page, in a Web Worker: the pattern's analysis, every match, the
// replacement and split previews, and the test cases, each posted as soon as it is known, so
// that the faults show before any search and the matches before the previews. The page
// terminates the worker to stop it.
//
// The worker says when the engine has loaded (or failed to), and only then gets jobs.
let quarn;
let broken;
import('../quarn/index.js').then(
  (module) => {
    quarn = module;
    self.postMessage({ ready: true });
  },
  (error) => {
    broken = String(error);
    self.postMessage({ ready: true });
  },
);

// The most matches whose spans travel to the page (all are counted), and the most split pieces.
const SPAN_MATCHES = 10000;
const PIECES = 1000;

const errorOf = (e) => {
  if (!(e instanceof quarn.QuarnError)) throw e;
  return { number: e.number, kind: e.kind, report: e.message, position: e.position };
};

function matches(pattern, subject, limits) {
  const stride = 2 * (pattern.groupCount + 1);
  const spans = new Int32Array(stride * 64);
  let buffer = spans;
  let total = 0;
  let error;
  try {
    for (const match of pattern.matchAll(subject, limits)) {
      if (total < SPAN_MATCHES) {
        if ((total + 1) * stride > buffer.length) {
          const grown = new Int32Array(buffer.length * 2);
          grown.set(buffer);
          buffer = grown;
        }
        for (let n = 0; n <= pattern.groupCount; ++n) {
          const span = match.span(n) ?? [-1, -1];
          buffer[total * stride + 2 * n] = span[0];
          buffer[total * stride + 2 * n + 1] = span[1];
        }
      }
      ++total;
    }
  } catch (e) {
    error = errorOf(e);
  }
  return { total, spans: buffer.slice(0, Math.min(total, SPAN_MATCHES) * stride), error };
}

function attempt(call) {
  try {
    return call();
  } catch (e) {
    return { error: errorOf(e) };
  }
}

// Each case with the default limits, as a host would search it.
function runCases(pattern, cases) {
  return cases.map((c) =>
    attempt(() => {
      const match = pattern.search(c.subject);
      return { matched: match !== null, text: match?.text ?? '' };
    }),
  );
}

// The pattern's analysis goes first, before any search: its faults with their places, its
// warnings and how the engine reads it; for a pattern that does not compile, its error.
function run(job, post) {
  let pattern;
  try {
    pattern = quarn.compile(job.pattern, job.flags);
  } catch (e) {
    const error = errorOf(e);
    const analysis = quarn.analyze(job.pattern, job.flags);
    post({ phase: 'analyzed', error, diagnostics: analysis.diagnostics, tree: analysis.tree });
    post({ phase: 'cases', outcomes: job.cases.map(() => ({ error })) });
    return;
  }
  try {
    post({ phase: 'analyzed', groupCount: pattern.groupCount, diagnostics: pattern.diagnostics(), tree: pattern.explain() });
    const found = matches(pattern, job.subject, job.limits);
    post({ phase: 'matches', ...found }, [found.spans.buffer]);
    post({ phase: 'cases', outcomes: runCases(pattern, job.cases) });
    post({ phase: 'replaced', ...attempt(() => ({ text: pattern.replace(job.subject, job.replacement, job.limits) })) });
    post({
      phase: 'split',
      ...attempt(() => {
        const pieces = pattern.split(job.subject, job.limits);
        return { total: pieces.length, pieces: pieces.slice(0, PIECES) };
      }),
    });
  } finally {
    pattern.free();
  }
}

self.onmessage = ({ data: job }) => {
  const post = (message, transfer = []) => self.postMessage({ id: job.id, ...message }, transfer);
  try {
    if (broken) throw new Error(`the engine could not be loaded: ${broken}`);
    run(job, post);
  } catch (e) {
    post({ failed: String(e) });
  }
  post({ done: true });
};
