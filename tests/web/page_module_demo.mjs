// drive.wasm on autopilot over the built-in demo, stepping the route's own
// frame time, against atshost: its CSV trace must be `atshost drive`'s byte
// for byte, and the run it saves must replay under `atshost replay` to that
// same trace.
//   node page_module_demo.mjs drive.wasm ATSHOST OUTDIR
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import process from 'node:process';

const SKIP = 77;
const PAGE_RUNNING = 0;
const PAGE_ROUTE_ENDED = 1;
const PAGE_AUTOPILOT = 8;
const PAGE_ROUTE_DRIVER = 2; // the route's own driver: atshost drive's

const [moduleFile, atshost, outdir] = process.argv.slice(2);
if (!fs.existsSync(moduleFile)) {
  console.error(`SKIPPED: ${moduleFile} is not built (make web)`);
  process.exit(SKIP);
}
const fail = (message) => {
  console.error(message);
  process.exit(1);
};

const { instance } = await WebAssembly.instantiate(fs.readFileSync(moduleFile), {
  env: { page_warning_box: () => fail('a warning box without F7') },
});
const x = instance.exports;
x._initialize();
const text = (pointer) => {
  const memory = new Uint8Array(x.memory.buffer);
  let end = pointer;
  while (memory[end] !== 0) ++end;
  return new TextDecoder().decode(memory.subarray(pointer, end));
};

x.page_test_fixed_step(1);
x.page_autopilot_driver(PAGE_ROUTE_DRIVER);
if (x.page_open_demo() !== 0) fail(`the demo is refused: ${text(x.page_error())}`);
x.page_control(PAGE_AUTOPILOT, 1);
let status = PAGE_RUNNING;
while (status === PAGE_RUNNING) status = x.page_step(16);
if (status !== PAGE_ROUTE_ENDED) fail(`page_step answered ${status}`);
const csv = text(x.page_csv());

fs.rmSync(outdir, { recursive: true, force: true });
fs.mkdirSync(outdir, { recursive: true });
const scenario = path.join(outdir, 'saved.txt');
fs.writeFileSync(scenario, text(x.page_scenario()));
const run = (...args) => {
  const out = path.join(outdir, args[0]);
  execFileSync(atshost, [...args, '--quiet', '--out', out], { stdio: 'inherit' });
  const [file] = fs.readdirSync(out).filter((f) => f.endsWith('.csv'));
  return fs.readFileSync(path.join(out, file), 'utf8');
};
const difference = (a, b) => {
  const [la, lb] = [a.split('\n'), b.split('\n')];
  const row = la.findIndex((line, i) => line !== lb[i]);
  return row < 0
    ? `${la.length} and ${lb.length} lines`
    : `line ${row + 1}:\n  ${la[row]}\n  ${lb[row]}`;
};
const drive = run('drive');
if (csv !== drive) fail(`the page's trace is not atshost drive's: ${difference(drive, csv)}`);
const replay = run('replay', scenario);
if (replay !== csv) fail(`the saved run replays otherwise: ${difference(csv, replay)}`);
console.log(`demo on autopilot: ${csv.split('\n').length - 2} frames, the same as atshost's`);
