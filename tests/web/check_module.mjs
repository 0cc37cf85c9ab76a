// The WebAssembly modules' boundaries, as a host meets them:
//   node check_module.mjs ENTRY_POINTS ATSVorlan800.wasm drive.wasm
// ENTRY_POINTS is the build's file of the plain entry-point names, one to a
// line. The plug-in module exports the sixteen of them, its memory and heap
// (and the reactor's _initialize, which a host calls once), imports nothing
// and stays under 32 KiB; the page's module exports the page_ interface and
// imports only the warning box.
import fs from 'node:fs';
import process from 'node:process';

const SKIP = 77;
const MAX_PLUGIN_BYTES = 32 * 1024;
const PAGE_EXPORTS = [
  'page_open_demo',
  'page_open_route',
  'page_error',
  'page_notches',
  'page_brake_notches',
  'page_control',
  'page_set_f7',
  'page_step',
  'page_test_fixed_step',
  'page_panel',
  'page_sound',
  'page_handles',
  'page_driver',
  'page_train',
  'page_frame',
  'page_autopilot',
  'page_timeline',
  'page_csv',
  'page_scenario',
  'page_autopilot_driver',
  'page_open_file',
  'page_run_frames',
  'page_seek',
  'page_run_has_route',
  'page_take_over',
  'page_ahead',
  'page_ahead_name',
  'page_trip',
];
const HEAP = ['memory', 'malloc', 'free', '_initialize'];

const [entryPointsFile, ...files] = process.argv.slice(2);
for (const f of files) {
  if (!fs.existsSync(f)) {
    console.error(`SKIPPED: ${f} is not built (make web)`);
    process.exit(SKIP);
  }
}
const [pluginFile, pageFile] = files;
// The plain names as the build reads them from the one list of them.
const ENTRY_POINTS = fs.readFileSync(entryPointsFile, 'utf8').split('\n').filter(Boolean);
if (ENTRY_POINTS.length !== 16) {
  console.error(`${entryPointsFile} names ${ENTRY_POINTS.length} entry points, not 16`);
  process.exit(1);
}
const problems = [];
const names = (list) => list.map((e) => `${e.module ? e.module + '.' : ''}${e.name}`).sort();
const same = (a, b) => JSON.stringify([...a].sort()) === JSON.stringify([...b].sort());

const pluginBytes = fs.readFileSync(pluginFile);
const plugin = await WebAssembly.compile(pluginBytes);
const pluginExports = names(WebAssembly.Module.exports(plugin));
if (!same(pluginExports, [...ENTRY_POINTS, ...HEAP])) {
  problems.push(`${pluginFile} exports ${pluginExports.join(' ')}`);
}
const pluginImports = names(WebAssembly.Module.imports(plugin));
if (pluginImports.length > 0) problems.push(`${pluginFile} imports ${pluginImports.join(' ')}`);
if (pluginBytes.length >= MAX_PLUGIN_BYTES) {
  problems.push(`${pluginFile} has ${pluginBytes.length} bytes, not under ${MAX_PLUGIN_BYTES}`);
}

const pageBytes = fs.readFileSync(pageFile);
const page = await WebAssembly.compile(pageBytes);
const pageExports = names(WebAssembly.Module.exports(page));
if (!same(pageExports, [...PAGE_EXPORTS, ...HEAP])) {
  problems.push(`${pageFile} exports ${pageExports.join(' ')}`);
}
const pageImports = names(WebAssembly.Module.imports(page));
if (!same(pageImports, ['env.page_warning_box'])) {
  problems.push(`${pageFile} imports ${pageImports.join(' ')}`);
}

if (problems.length > 0) {
  console.error(problems.join('\n'));
  process.exit(1);
}
console.log(`${pluginFile}: ${pluginBytes.length} bytes; ${pageFile}: ${pageBytes.length} bytes`);
