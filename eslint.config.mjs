// The linter over the pages' scripts and the WebAssembly tests (make lint).
// The pages' scripts are plain browser scripts, inlined into one page each
// with the names the build fills in (the module's constants) as globals; the
// tests are node modules.
import js from '@eslint/js';
import globals from 'globals';

export default [
  { ignores: ['build/**', 'out/**', 'dist/**'] },
  js.configs.recommended,
  {
    files: ['host/**/*.js'],
    languageOptions: {
      sourceType: 'script',
      globals: { ...globals.browser },
    },
  },
  // Each page's scripts share one global scope: cab.js defines Cab, audio.js
  // CabAudio, and the build fills in PAGE_API from the module's header and
  // ATS and CAB from the plug-in's header and the core's cab.h.
  {
    files: ['host/output/page/cab.js', 'host/web/page/audio.js'],
    languageOptions: { globals: { ATS: 'readonly', CAB: 'readonly' } },
    rules: { 'no-unused-vars': ['error', { varsIgnorePattern: '^(Cab|CabAudio)$' }] },
  },
  {
    files: ['host/output/page/cab_view.js', 'host/web/page/drive.js'],
    languageOptions: {
      globals: {
        Cab: 'readonly',
        CabAudio: 'readonly',
        PAGE_API: 'readonly',
        ATS: 'readonly',
        CAB: 'readonly',
      },
    },
  },
  {
    files: ['tests/**/*.mjs'],
    languageOptions: {
      sourceType: 'module',
      globals: { ...globals.node },
    },
  },
];
