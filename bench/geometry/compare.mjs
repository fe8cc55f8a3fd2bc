// Lays out the benchmark's weights with the npm packages (d3-voronoi-treemap
// on d3-voronoi-map, and d3-hierarchy's squarify), with the same settings as
// Ostrevane's run, and prints both side by side: each time as the median with
// its min–max over the rounds. Without the packages it prints Ostrevane's
// figures alone.
// Usage: node compare.mjs ours.json
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { performance } from 'node:perf_hooks';

const require = createRequire(import.meta.url);
let hierarchy, treemapSquarify, voronoiTreemap;
try {
  ({ hierarchy, treemapSquarify } = await import('d3-hierarchy'));
  ({ voronoiTreemap } = require('d3-voronoi-treemap'));
} catch {
  console.log('d3 comparison skipped: the npm packages d3-hierarchy and d3-voronoi-treemap are not installed.\n');
}
const withD3 = Boolean(voronoiTreemap);

const ours = JSON.parse(readFileSync(process.argv[2], 'utf8'));
const width = 1000;
const height = 700;
const totalArea = width * height;

// A seeded generator, so the package's random starting sites repeat from run
// to run; every repetition gets its own seed.
function mulberry32(seed) {
  return function () {
    seed |= 0;
    seed = (seed + 0x6d2b79f5) | 0;
    let t = Math.imul(seed ^ (seed >>> 15), 1 | seed);
    t = (t + Math.imul(t ^ (t >>> 7), 61 | t)) ^ t;
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

function shoelace(points) {
  let sum = 0;
  for (let i = 0, j = points.length - 1; i < points.length; j = i++) {
    sum += points[j][0] * points[i][1] - points[i][0] * points[j][1];
  }
  return Math.abs(sum / 2);
}

function errors(areas, weights) {
  const sum = weights.reduce((a, b) => a + b, 0);
  const largest = Math.max(...weights);
  const e = { worst: 0, worstUnfloored: 0, total: 0 };
  weights.forEach((w, i) => {
    const target = (totalArea * w) / sum;
    const relative = Math.abs(areas[i] - target) / target;
    e.worst = Math.max(e.worst, relative);
    if (w >= 0.01 * largest) e.worstUnfloored = Math.max(e.worstUnfloored, relative);
    e.total += Math.abs(areas[i] - target);
  });
  e.total /= totalArea;
  // The package raises every weight to at least 1 % of the largest; how close
  // it came to what it aimed for.
  const raised = weights.map((w) => Math.max(w, 0.01 * largest));
  const raisedSum = raised.reduce((a, b) => a + b, 0);
  e.converged = raised.reduce((acc, w, i) => acc + Math.abs(areas[i] - (totalArea * w) / raisedSum), 0) / totalArea;
  return e;
}

// The middle value, or the mean of the two middle ones, as bench/stats.py.
const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const half = Math.floor(sorted.length / 2);
  return sorted.length % 2 ? sorted[half] : (sorted[half - 1] + sorted[half]) / 2;
};

// Several rounds after a warm-up, as on Ostrevane's side; the clock is read
// once per batch of calls.
function timeSquarify(weights) {
  const sum = weights.reduce((a, b) => a + b, 0);
  const node = { value: sum, children: weights.map((w) => ({ value: w })) };
  for (let i = 0; i < 2000; i++) treemapSquarify(node, 0, 0, width, height);
  const rounds = [];
  for (let round = 0; round < 5; round++) {
    let calls = 0;
    const start = performance.now();
    let elapsed = 0;
    do {
      for (let i = 0; i < 100; i++) treemapSquarify(node, 0, 0, width, height);
      calls += 100;
      elapsed = performance.now() - start;
    } while (elapsed < 80);
    rounds.push(elapsed / 1000 / calls);
  }
  const areas = node.children.map((c) => (c.x1 - c.x0) * (c.y1 - c.y0));
  return { seconds: rounds, errors: errors(areas, weights) };
}

function timeVoronoi(weights) {
  const root = hierarchy({ children: weights.map((w, index) => ({ index, weight: w })) }).sum((d) => d.weight || 0);
  const layout = voronoiTreemap()
    .clip([
      [0, 0],
      [width, 0],
      [width, height],
      [0, height],
    ])
    .convergenceRatio(ours.tolerance)
    .maxIterationCount(ours.maxIterations);
  const runs = [];
  let failures = 0;
  let elapsed = 0;
  for (let seed = 1; (elapsed < 1500 || runs.length < 5) && seed <= 200; seed++) {
    layout.prng(mulberry32(seed));
    const start = performance.now();
    try {
      layout(root);
    } catch (error) {
      failures++;
      elapsed += performance.now() - start;
      continue;
    }
    const took = performance.now() - start;
    elapsed += took;
    const areas = new Array(weights.length).fill(0);
    for (const leaf of root.leaves()) areas[leaf.data.index] = leaf.polygon ? shoelace(leaf.polygon) : 0;
    runs.push({ seconds: took / 1000, errors: errors(areas, weights) });
  }
  return {
    runs: runs.length,
    failures,
    seconds: runs.map((r) => r.seconds),
    errors: {
      worst: median(runs.map((r) => r.errors.worst)),
      worstUnfloored: median(runs.map((r) => r.errors.worstUnfloored)),
      total: median(runs.map((r) => r.errors.total)),
      converged: median(runs.map((r) => r.errors.converged)),
    },
  };
}

// One unit for a figure's median and its spread: "12.30 µs (11.90–13.00, 5 runs)".
const unitOf = (s) => (s >= 1e-3 ? [1e3, 'ms'] : [1e6, 'µs']);
const fmtSpread = (values) => {
  const [scale, unit] = unitOf(median(values));
  const f = (v) => (v * scale).toFixed(2);
  return `${f(median(values))} ${unit} (${f(Math.min(...values))}–${f(Math.max(...values))}, ${values.length} run${values.length === 1 ? '' : 's'})`;
};
const fmtErr = (e) => (e < 1e-3 ? e.toExponential(1) : `${(e * 100).toFixed(2)} %`);
const pad = (text, n) => String(text).padStart(n);
const times = 33;

console.log(`Layout of N long-tailed weights in a ${width} x ${height} rectangle; Voronoi: at most ${ours.maxIterations} iterations, tolerance ${ours.tolerance} (both).`);
console.log('Times per layout: median (min–max, runs) over rounds, Ostrevane then d3; ratios are d3\'s median over ours.');
console.log('Area errors are |cell area - target| / target against each weight\'s true share; "worst" over all cells,');
console.log('"worst>=1%" over cells of at least 1 % of the largest weight (both methods raise smaller ones); "sum" = sum |area - target| / total area;');
console.log('"aim" = the same sum against the method\'s own targets, after its raising of small weights (Ostrevane: to 0.3 % of the total; d3: to 1 % of the largest).');
console.log('The package starts from random sites: its times are over seeded runs, its errors medians over them.\n');

console.log('Squarified treemap');
console.log(`${pad('N', 4)} ${pad('ours', times)} ${pad('d3', times)} ${pad('ratio', 7)} ${pad('worst ours', 11)} ${pad('worst d3', 11)}  target (>= 10x)`);
for (const entry of ours.sizes) {
  const mine = entry.squarify;
  const theirs = withD3 ? timeSquarify(entry.weights) : null;
  const ratio = theirs ? median(theirs.seconds) / median(mine.seconds) : NaN;
  console.log(
    `${pad(entry.n, 4)} ${pad(fmtSpread(mine.seconds), times)} ${pad(theirs ? fmtSpread(theirs.seconds) : '-', times)} ` +
      `${pad(theirs ? ratio.toFixed(1) + 'x' : '-', 7)} ${pad(fmtErr(mine.errors.worst), 11)} ` +
      `${pad(theirs ? fmtErr(theirs.errors.worst) : '-', 11)}  ${!theirs ? '(no d3)' : ratio >= 10 ? 'met' : 'MISSED'}`,
  );
}

console.log('\nWeighted Voronoi treemap');
console.log(
  `${pad('N', 4)} ${pad('ours', times)} ${pad('1 thread', times)} ${pad('d3', times)} ${pad('ratio', 7)} ${pad('1 thr.', 7)} ${pad('worst ours', 11)} ${pad('worst d3', 11)} ` +
    `${pad('>=1% ours', 10)} ${pad('>=1% d3', 10)} ${pad('sum ours', 9)} ${pad('sum d3', 9)} ${pad('aim ours', 9)} ${pad('aim d3', 9)} ${pad('d3 runs', 8)}  target (>= 10x, worst no larger)`,
);
for (const entry of ours.sizes) {
  const mine = entry.voronoi;
  const theirs = withD3 ? timeVoronoi(entry.weights) : null;
  const ratio = theirs ? median(theirs.seconds) / median(mine.seconds) : NaN;
  const serialRatio = theirs ? median(theirs.seconds) / median(mine.oneThreadSeconds) : NaN;
  const met = theirs && ratio >= 10 && mine.errors.worst <= theirs.errors.worst;
  const runs = !theirs ? '-' : theirs.failures ? `${theirs.runs}+${theirs.failures}err` : `${theirs.runs}`;
  const d3 = (text) => (theirs ? text() : '-');
  console.log(
    `${pad(entry.n, 4)} ${pad(fmtSpread(mine.seconds), times)} ${pad(fmtSpread(mine.oneThreadSeconds), times)} ` +
      `${pad(d3(() => fmtSpread(theirs.seconds)), times)} ${pad(d3(() => ratio.toFixed(1) + 'x'), 7)} ` +
      `${pad(d3(() => serialRatio.toFixed(1) + 'x'), 7)} ` +
      `${pad(fmtErr(mine.errors.worst), 11)} ${pad(d3(() => fmtErr(theirs.errors.worst)), 11)} ` +
      `${pad(fmtErr(mine.errors.worstUnfloored), 10)} ${pad(d3(() => fmtErr(theirs.errors.worstUnfloored)), 10)} ` +
      `${pad(fmtErr(mine.errors.total), 9)} ${pad(d3(() => fmtErr(theirs.errors.total)), 9)} ` +
      `${pad(fmtErr(mine.errors.converged), 9)} ${pad(d3(() => fmtErr(theirs.errors.converged)), 9)} ${pad(runs, 8)}  ` +
      `${!theirs ? '(no d3)' : entry.n > 100 ? '(reported only)' : met ? 'met' : 'MISSED'}` +
      (mine.emptyCells ? `  [${mine.emptyCells} empty cells]` : ''),
  );
}
