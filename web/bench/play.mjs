// Playback speed of every bundled example in the wasm build (in Node), next
// to the native BM_Play figures of yafa-bench, as a Markdown table.
//
//   node web/bench/play.mjs [build/web] [yafa-bench] [portable yafa-bench]
//
// The optional second native figure comes from a build with only the
// portable pixel paths (YAFA_PORTABLE_PIXELS), the ones wasm has too.
// Both play each example from its first frame to its last through the
// plugin's entry points as 32-bit pixels ("in module": LoadFrame and
// FreeFrame inside wasm, as BM_Play does). "To JS" is the player's own path:
// each frame also turned into RGBA and copied out of wasm memory into a
// reused buffer, as the player's worker does.
import { execFileSync } from 'node:child_process';
import { readdirSync, readFileSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const repo = fileURLToPath(new URL('../..', import.meta.url));
const [webDir = path.join(repo, 'build/web'), bench = path.join(repo, 'build/default/yafa-bench'), portableBench] =
  process.argv.slice(2);
// On a shared machine the fastest of several runs is the one least disturbed;
// native and wasm runs of one example follow each other, so both meet the
// same load.
const REPETITIONS = Number(process.env.REPETITIONS ?? 7);
const MIN_SECONDS = 0.3;

const { YafaDecoder } = await import(pathToFileURL(path.resolve(webDir, 'yafa-decoder.js')));
const decoder = await YafaDecoder.create();

// Frames per second of `playOnce` (which plays every frame once): the best
// of REPETITIONS runs of at least MIN_SECONDS each, after a warm-up that
// lets the engine optimise the module.
function framesPerSecond(playOnce) {
  for (const start = performance.now(); performance.now() - start < 300;) playOnce();
  const runs = [];
  for (let r = 0; r < REPETITIONS; ++r) {
    let frames = 0;
    const start = performance.now();
    let elapsed = 0;
    while (elapsed < MIN_SECONDS * 1000) {
      frames += playOnce();
      elapsed = performance.now() - start;
    }
    runs.push(frames / (elapsed / 1000));
  }
  return Math.max(...runs);
}

// Frames per second of BM_Play for one example: the best of its runs.
function nativeFps(benchmark, name) {
  if (!benchmark) return undefined;
  const report = JSON.parse(execFileSync(benchmark, [`--benchmark_filter=^BM_Play/${name}$`,
    `--benchmark_repetitions=${REPETITIONS}`, `--benchmark_min_time=${MIN_SECONDS}`, '--benchmark_format=json'],
  { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] }));
  return Math.max(...report.benchmarks.filter((b) => b.run_type === 'iteration').map((b) => b.fps));
}

const rows = [];
for (const file of readdirSync(path.join(repo, 'examples')).filter((f) => f.endsWith('.yafa')).sort()) {
  const name = file.replace(/\.yafa$/, '');
  const animation = decoder.open(readFileSync(path.join(repo, 'examples', file)));
  const inModule = framesPerSecond(() => animation.play(1));
  const rgba = new Uint8ClampedArray(animation.width * animation.height * 4);
  const toJs = framesPerSecond(() => {
    for (let i = 0; i < animation.frames; ++i) animation.frame(i, rgba);
    return animation.frames;
  });
  animation.close();
  const [n, p] = [nativeFps(bench, name), nativeFps(portableBench, name)];
  rows.push(`| \`${name}\` | ${fmt(n)} | ${fmt(inModule)} | **${ratio(inModule, n)}** | ${fmt(toJs)} | ${ratio(toJs, n)} | ` +
    `${fmt(p)} | ${ratio(inModule, p)} |`);
}

const load = os.loadavg().map((l) => l.toFixed(2)).join(', ');
console.log(`Node ${process.versions.node}, ${os.cpus().length} CPUs (${os.cpus()[0].model}), load average ${load}; ` +
  `best of ${REPETITIONS} runs of ${MIN_SECONDS} s each.\n`);
console.log('| Example | Native fps | Wasm fps, in module | Ratio | Wasm fps, to JS | Ratio | Native fps, portable paths | Ratio, in module |');
console.log('|---|---:|---:|---:|---:|---:|---:|---:|');
for (const row of rows) console.log(row);

function fmt(fps) {
  return fps === undefined ? '–' : Math.round(fps).toLocaleString('en');
}

function ratio(wasm, nativeFps) {
  return nativeFps ? `${(wasm / nativeFps).toFixed(2)}×` : '–';
}
