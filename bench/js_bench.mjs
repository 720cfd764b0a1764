// Times the JavaScript package (the engine in WebAssembly) against JavaScript's own RegExp on
// the demo and corpus workloads, beside the native engine's times from the C++ harness.
//
// The workloads come from the C++ harness (quarn_bench --dump-workloads FILE), so every
// harness searches the same patterns and subjects; the native times come from the JSON that
// quarn_bench writes with --benchmark_format=json (its "Quarn" runs), when given. Each search
// reads back the span of the match and of every group, as the other harnesses do: the package
// through Match.span, RegExp with the "d" flag through match.indices. Before anything is
// timed, RegExp's answers are compared with the package's on every subject: a workload that
// RegExp cannot compile or answers differently is left out with a note, never timed doing
// different work. Times are CPU time per search, the median of the repetitions; the ratios
// are the package's time divided by the other's.
//
// usage: node js_bench.mjs WORKLOADS.json PACKAGE_DIR [--native BENCH.json] [--min-time S]
//        [--repetitions N]
// The exit status is 1 when the package reports an error on a workload, 2 on bad arguments.
import { readFileSync } from 'node:fs';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const FAMILIES = ['demo', 'corpus'];

function parseArguments(argv) {
  const options = { minTime: 0.1, repetitions: 3, native: undefined, files: [] };
  for (let i = 0; i < argv.length; ++i) {
    const value = argv[i + 1];
    if (argv[i] === '--min-time') options.minTime = Number(value);
    else if (argv[i] === '--repetitions') options.repetitions = Number(value);
    else if (argv[i] === '--native') options.native = value;
    else {
      options.files.push(argv[i]);
      continue;
    }
    ++i;
  }
  const valid =
    options.files.length === 2 && options.minTime >= 0 && Number.isInteger(options.repetitions) && options.repetitions > 0;
  if (!valid) {
    console.error('usage: node js_bench.mjs WORKLOADS.json PACKAGE_DIR [--native BENCH.json] [--min-time S] [--repetitions N]');
    process.exit(2);
  }
  return options;
}

// The spans of the match and of every group, or null without a match.
function quarnAnswer(pattern, subject) {
  const match = pattern.search(subject);
  if (match === null) return null;
  const spans = [];
  for (let n = 0; n <= pattern.groupCount; ++n) spans.push(match.span(n) ?? null);
  return spans;
}

function regexpAnswer(pattern, subject) {
  pattern.lastIndex = 0;
  const match = pattern.exec(subject);
  if (match === null) return null;
  return Array.from(match.indices, (span) => span ?? null);
}

function regexpFlags(flags) {
  return `d${flags & 1 ? 'i' : ''}${flags & 2 ? 's' : ''}${flags & 4 ? 'm' : ''}`;
}

function firstDifference(ours, theirs, subjects) {
  for (const [k, subject] of subjects.entries()) {
    const expected = JSON.stringify(quarnAnswer(ours, subject));
    const found = JSON.stringify(regexpAnswer(theirs, subject));
    if (expected !== found) return `on subject ${k + 1} quarn finds ${expected} but RegExp finds ${found}`;
  }
  return undefined;
}

function secondsPerSearch(answer, pattern, subjects, minTime) {
  // Rounds of about a thousand searches between looks at the clock, which costs a system call.
  const rounds = Math.ceil(1000 / subjects.length);
  let searches = 0;
  const start = process.cpuUsage();
  for (;;) {
    for (let round = 0; round < rounds; ++round) {
      for (const subject of subjects) answer(pattern, subject);
    }
    searches += rounds * subjects.length;
    const used = process.cpuUsage(start);
    const elapsed = (used.user + used.system) / 1e6;
    if (elapsed >= minTime) return elapsed / searches;
  }
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

function duration(seconds) {
  for (const [unit, scale] of [['ns', 1e9], ['µs', 1e6], ['ms', 1e3]]) {
    if (seconds * scale < 999.5) return `${Number((seconds * scale).toPrecision(3))} ${unit}`;
  }
  return `${Number(seconds.toPrecision(3))} s`;
}

const ratio = (value) => (value >= 1000 ? `×${value.toFixed(0)}` : `×${Number(value.toPrecision(3))}`);

function caption(workload, matching) {
  let text = `${workload.family}/${workload.name} ${workload.caption}`;
  if (workload.subjects.length > 1) text += ` (${workload.subjects.length} lines, ${matching} matching)`;
  return text;
}

// The native engine's CPU time per iteration (one search of every subject) for each
// "family/name", from quarn_bench's JSON: the median of its repetitions, or its single run.
function nativeTimes(file) {
  const times = new Map();
  if (!file) return times;
  const scale = { ns: 1e-9, us: 1e-6, ms: 1e-3, s: 1 };
  for (const run of JSON.parse(readFileSync(file, 'utf8')).benchmarks) {
    const [family, name, engine] = run.run_name.split('/');
    if (engine !== 'Quarn') continue;
    if (run.run_type === 'aggregate' && run.aggregate_name !== 'median') continue;
    if (run.run_type === 'iteration' && times.has(`${family}/${name}`) && run.repetitions > 1) continue;
    times.set(`${family}/${name}`, run.cpu_time * scale[run.time_unit]);
  }
  return times;
}

function geometricMean(values) {
  return Math.exp(values.reduce((sum, v) => sum + Math.log(v), 0) / values.length);
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  const [workloadFile, packageDir] = options.files;
  const quarn = await import(pathToFileURL(join(resolve(packageDir), 'index.js')).href);
  const workloads = JSON.parse(readFileSync(workloadFile, 'utf8')).filter((w) => FAMILIES.includes(w.family));
  const native = nativeTimes(options.native);

  const rows = [];
  const notes = [];
  let failed = false;
  for (const workload of workloads) {
    const id = `${workload.family}/${workload.name}`;
    let ours;
    let matching;
    try {
      ours = quarn.compile(workload.pattern, workload.flags);
      matching = workload.subjects.filter((s) => quarnAnswer(ours, s) !== null).length;
    } catch (error) {
      notes.push(`${id}: quarn reports ${error.message}`);
      failed = true;
      continue;
    }
    const time = (answer, pattern) =>
      median(Array.from({ length: options.repetitions }, () => secondsPerSearch(answer, pattern, workload.subjects, options.minTime)));
    const nativeTime = native.get(id);
    const row = { workload, matching, ours: time(quarnAnswer, ours), native: nativeTime && nativeTime / workload.subjects.length };
    let theirs;
    try {
      theirs = new RegExp(workload.pattern, regexpFlags(workload.flags));
    } catch (error) {
      notes.push(`${id}: RegExp left out, cannot compile the pattern: ${error.message}`);
    }
    const difference = theirs && firstDifference(ours, theirs, workload.subjects);
    if (difference) notes.push(`${id}: RegExp left out, ${difference}`);
    else if (theirs) row.theirs = time(regexpAnswer, theirs);
    rows.push(row);
    ours.free();
  }

  const cell = (value, base) => (value === undefined ? '—' : `${duration(value)} (${ratio(base / value)})`);
  console.log("Time per search (CPU time, median of the repetitions) and, in parentheses, the package's time divided by the other's:\n");
  console.log('| workload | quarn (wasm) | native Quarn | RegExp |\n| --- | --- | --- | --- |');
  for (const r of rows) {
    console.log(`| ${caption(r.workload, r.matching)} | ${duration(r.ours)} | ${cell(r.native, r.ours)} | ${cell(r.theirs, r.ours)} |`);
  }
  console.log("\nThe package's ratio, geometric mean per family (number of workloads):\n");
  console.log('| family | native Quarn | RegExp |\n| --- | --- | --- |');
  for (const family of FAMILIES) {
    const of = (key) => rows.filter((r) => r.workload.family === family && r[key] !== undefined).map((r) => r.ours / r[key]);
    const summary = (ratios) => (ratios.length ? `${ratio(geometricMean(ratios))} (${ratios.length})` : '—');
    console.log(`| ${family} | ${summary(of('native'))} | ${summary(of('theirs'))} |`);
  }
  if (notes.length) {
    console.log('\nWorkloads left out:\n');
    for (const note of notes) console.log(`- ${note}`);
  }
  return failed ? 1 : 0;
}

process.exitCode = await main();
