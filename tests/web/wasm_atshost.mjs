// atshost's replay and drive with the plug-in as a WebAssembly module, for
// tests/compare_traces.py's --host:
//   node wasm_atshost.mjs trace_runner.wasm [--quiet] [--out DIR] --plugin ATSVorlan800.wasm
//        (replay SCENARIO | drive [ROUTE])
// trace_runner.wasm is the simulation core; its sixteen plug-in imports are
// bridged here to the plug-in module's exports. The bridge holds no logic of
// either: a record passed by value arrives as a pointer into the runner's
// memory and is copied into a buffer of the plug-in's own (malloc'd there);
// Elapse's panel and sound arrays are copied in and back, and its returned
// record is copied back through the runner's hidden first pointer. Writes
// OUT/NAME.csv and exits with atshost's status.
import fs from 'node:fs';
import path from 'node:path';
import process from 'node:process';
import { WASI } from 'node:wasi';

const SKIP = 77;
// Record sizes of the plug-in interface (plugin/atsplugin.h).
const SPEC_BYTES = 20;
const STATE_BYTES = 40;
const BEACON_BYTES = 16;
const HANDLES_BYTES = 16;
const PANEL_BYTES = 256 * 4;
const SOUND_BYTES = 101 * 4;

const [runnerFile, ...argv] = process.argv.slice(2);
let out = '.';
let pluginFile = null;
const rest = [];
for (let i = 0; i < argv.length; ++i) {
  if (argv[i] === '--quiet' || argv[i] === '-q') continue;
  if (argv[i] === '--out') out = argv[++i];
  else if (argv[i] === '--plugin') pluginFile = argv[++i];
  else rest.push(argv[i]);
}
const [command, input] = rest;
for (const f of [runnerFile, pluginFile]) {
  if (!f || !fs.existsSync(f)) {
    console.error(`SKIPPED: ${f} is not built (make web)`);
    process.exit(SKIP);
  }
}

const plugin = (await WebAssembly.instantiate(fs.readFileSync(pluginFile), {})).instance.exports;
plugin._initialize();
const at = {
  spec: plugin.malloc(SPEC_BYTES),
  state: plugin.malloc(STATE_BYTES),
  beacon: plugin.malloc(BEACON_BYTES),
  handles: plugin.malloc(HANDLES_BYTES),
  panel: plugin.malloc(PANEL_BYTES),
  sound: plugin.malloc(SOUND_BYTES),
};

let runner = null;
const bytesOf = (exports) => new Uint8Array(exports.memory.buffer);
const toPlugin = (from, to, n) => bytesOf(plugin).set(bytesOf(runner).subarray(from, from + n), to);
const toRunner = (from, to, n) => bytesOf(runner).set(bytesOf(plugin).subarray(from, from + n), to);

const bridge = {
  Load: () => plugin.Load(),
  Dispose: () => plugin.Dispose(),
  GetPluginVersion: () => plugin.GetPluginVersion(),
  SetVehicleSpec: (spec) => {
    toPlugin(spec, at.spec, SPEC_BYTES);
    plugin.SetVehicleSpec(at.spec);
  },
  Initialize: (brake) => plugin.Initialize(brake),
  Elapse: (handles, state, panel, sound) => {
    toPlugin(state, at.state, STATE_BYTES);
    if (panel) toPlugin(panel, at.panel, PANEL_BYTES);
    if (sound) toPlugin(sound, at.sound, SOUND_BYTES);
    plugin.Elapse(at.handles, at.state, panel ? at.panel : 0, sound ? at.sound : 0);
    if (panel) toRunner(at.panel, panel, PANEL_BYTES);
    if (sound) toRunner(at.sound, sound, SOUND_BYTES);
    toRunner(at.handles, handles, HANDLES_BYTES);
  },
  SetPower: (n) => plugin.SetPower(n),
  SetBrake: (n) => plugin.SetBrake(n),
  SetReverser: (n) => plugin.SetReverser(n),
  KeyDown: (k) => plugin.KeyDown(k),
  KeyUp: (k) => plugin.KeyUp(k),
  HornBlow: (h) => plugin.HornBlow(h),
  DoorOpen: () => plugin.DoorOpen(),
  DoorClose: () => plugin.DoorClose(),
  SetSignal: (s) => plugin.SetSignal(s),
  SetBeaconData: (beacon) => {
    toPlugin(beacon, at.beacon, BEACON_BYTES);
    plugin.SetBeaconData(at.beacon);
  },
};

const wasi = new WASI({ version: 'preview1', returnOnExit: true });
const module = await WebAssembly.compile(fs.readFileSync(runnerFile));
const instance = await WebAssembly.instantiate(module, {
  ...wasi.getImportObject(),
  plugin: bridge,
});
wasi.initialize(instance);
runner = instance.exports;

const encoder = new TextEncoder();
const decoder = new TextDecoder();
const place = (bytes) => {
  const p = runner.malloc(bytes.length + 1);
  bytesOf(runner).set(bytes, p);
  bytesOf(runner)[p + bytes.length] = 0;
  return p;
};
const text = (p) => {
  const memory = bytesOf(runner);
  let end = p;
  while (memory[end] !== 0) ++end;
  return decoder.decode(memory.subarray(p, end));
};

const demo = command === 'drive' && input === undefined;
const name = demo ? 'demo' : path.parse(input).name;
const content = demo ? new Uint8Array() : fs.readFileSync(input);
const file = place(encoder.encode(demo ? '' : input));
const body = place(content);
const length = demo ? -1 : content.length;
const status =
  command === 'replay'
    ? runner.run_replay(file, body, length)
    : runner.run_drive(file, body, length);
process.stderr.write(text(runner.run_message()));
const csv = text(runner.run_csv());
if (csv.length > 0) {
  fs.mkdirSync(out, { recursive: true });
  fs.writeFileSync(path.join(out, `${name}.csv`), csv);
}
process.exitCode = status;
