// Runs a WASI command module under node (Debian's) and exits with its status:
//   node run_wasi.mjs MODULE.wasm [ARGS...]
// A module that has not been built is a skip (CTest's status 77), saying so.
import fs from 'node:fs';
import process from 'node:process';
import { WASI } from 'node:wasi';

const SKIP = 77;
const [file, ...args] = process.argv.slice(2);
if (!fs.existsSync(file)) {
  console.error(`SKIPPED: ${file} is not built (make web)`);
  process.exit(SKIP);
}
const wasi = new WASI({ version: 'preview1', args: [file, ...args], returnOnExit: true });
const module = await WebAssembly.compile(fs.readFileSync(file));
const instance = await WebAssembly.instantiate(module, wasi.getImportObject());
process.exitCode = wasi.start(instance);
