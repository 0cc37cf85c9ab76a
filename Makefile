# make demo   builds the plug-in libraries and atshost, and runs the built-in demo
# make test   lints the sources, builds the three libraries and runs every test
# make build  builds build/native/ATSVorlan800.so, build/win32/ATSVorlan800.dll,
#             build/win64/ATSVorlan800.dll and the WebAssembly builds (make web)
# make web    build/web/ATSVorlan800.wasm (the plug-in alone) and build/web/drive.wasm
#             (the driving page's module), with Debian's clang for wasm32
# make sanitize    the native library and its tests under ASan, LSan and UBSan (part of make test)
# make fuzz-run    the bounded fuzz run of make test
# make fuzz        a long fuzz run: FUZZ_SECONDS (default 3600) on FUZZ_JOBS cores
# make coverage    line and branch coverage of unit/ and plugin/ (build/coverage/html/)
# make frame-cost  instructions per frame, beacon and key event (callgrind)
# make web-bench   Elapse natively and as WebAssembly under node, side by side
# make screenshot  the README's picture of the cab view (docs/cab-view.png)
# make drive-screenshots  the driving page's pictures (docs/driving-page-*.png)
# make warning-box the keyboard watch's box under Wine (docs/warning-box.png)
# make dist        the release package dist/ATSVorlan800-VERSION.zip (both DLLs, guides, changelog)
# make lint        clang-format over the C++, Prettier and ESLint over the pages' scripts
# make docs        the authors' guide in docs/ (English and Japanese), printed by atshost
#                  from its reference tables
# make wine-prefix the Wine prefix the Windows tests share, set up once per machine
# make golden      tests/golden/runs/ written anew from today's atshost (only when a change of
#                  its outputs is meant: the commit says which changed and why)

JOBS ?= $(shell nproc)
export JOBS
# The makes called from here (make test's stages, make demo's build) print no
# "Entering directory" lines.
MAKEFLAGS += --no-print-directory
NATIVE := build/native
WEB := build/web

.PHONY: all bootstrap build native win32 win64 web web-build test demo \
        demo-build format lint clean \
        sanitize fuzz-run fuzz coverage frame-cost web-bench screenshot drive-screenshots docs dist \
        warning-box golden wine-prefix

all: build

bootstrap:
	@scripts/bootstrap

# Every build tree is configured from its preset in CMakePresets.json
# (native, win32, win64, web, asan, fuzz, cost, coverage), with CMake's output
# in build/logs/configure-PRESET.log, shown when configuring fails. A part a
# preset needs that is missing fails the configure, naming it. Every tree is
# built by Ninja, compiling the sources a few to a file (CMake's unity
# builds): the headers are read once for several sources, which halves the
# compilers' time, and Ninja keeps both cores busy across targets.
#   $(call configure,PRESET[,EXTRA CMAKE ARGUMENTS])
LOGS := build/logs
define configure
@mkdir -p $(LOGS)
@scripts/forget-other-generator build/$(1) Ninja
@cmake --preset $(1) $(2) >$(LOGS)/configure-$(1).log 2>&1 || \
  { tail -n 30 $(LOGS)/configure-$(1).log; \
    echo "make: configuring $(1) failed; the whole log: $(LOGS)/configure-$(1).log" >&2; exit 1; }
endef

native: bootstrap
	$(call configure,native)
	@cmake --build --preset native -j $(JOBS)

win32: bootstrap
	$(call configure,win32)
	@cmake --build --preset win32 -j $(JOBS)

win64: bootstrap
	$(call configure,win64)
	@cmake --build --preset win64 -j $(JOBS)

# The wasm32 build: the same sources and float rules, Debian's clang 14 with
# wasi-libc and libc++ for wasm32 (cmake/wasm32.cmake), which the bootstrap
# installs for make demo and make test alike.
web: bootstrap web-build

web-build:
	$(call configure,web)
	@cmake --build --preset web -j $(JOBS)

build: native win32 win64 web

# One line per stage (lint, build, sanitizers, fuzz, tests), each stage's output in
# build/logs/, shown only when it fails; then CTest's summary of the whole
# native suite and why each skipped test was skipped.
test:
	@scripts/test-stages $(MAKE)

# The one Wine prefix the Windows builds' tests share (tests/run_wine.sh), set
# up once per machine and Wine version; make test sets it up beside the builds.
wine-prefix: bootstrap
	@bash tests/run_wine.sh --init

# The native library and every test that needs no Windows build, again under
# AddressSanitizer (with its leak check) and UndefinedBehaviorSanitizer.
sanitize: bootstrap
	$(call configure,asan)
	@cmake --build --preset asan -j $(JOBS)
	@ctest --preset asan -j $(JOBS)

# The fuzzer (clang, libFuzzer) over the entry points: a bounded run, about a
# minute, from the committed seeds and what earlier runs here found.
fuzz-run: bootstrap
	$(call configure,fuzz)
	@cmake --build --preset fuzz -j $(JOBS)
	@ctest --preset fuzz

# A long fuzz run; new inputs go to build/fuzz/fuzz/corpus, a crash input to
# build/fuzz/fuzz/crash-*.
FUZZ_SECONDS ?= 3600
FUZZ_JOBS ?= $(JOBS)
fuzz: bootstrap
	$(call configure,fuzz)
	@cmake --build --preset fuzz -j $(JOBS)
	@cd build/fuzz/fuzz && ./fuzz_entry_points -max_total_time=$(FUZZ_SECONDS) \
	  -fork=$(FUZZ_JOBS) -artifact_prefix=./ corpus $(CURDIR)/fuzz/corpus

# Line and branch coverage of the plug-in's own code by every native test.
# The Windows-only keyboard code is not compiled here, so it is not counted.
# Built without ccache's base directory: with it, ccache hands the compiler
# relative source paths, which gcov cannot find again from outside the root.
# gcovr looks for counters in the coverage build alone: a Wine prefix in
# another build folder leads, through its drive Z:, to the whole disk.
COVERAGE := build/coverage
coverage: bootstrap
	$(call configure,coverage)
	@env -u CCACHE_BASEDIR cmake --build --preset coverage -j $(JOBS)
	@find $(COVERAGE) -name '*.gcda' -delete
	@ctest --preset coverage -j $(JOBS) --progress
	@mkdir -p $(COVERAGE)/html
	@gcovr --root . --object-directory $(COVERAGE) --exclude-directories '.*/CMakeFiles/[0-9.]+' \
	  --filter 'unit/' --filter 'plugin/' --exclude 'plugin/keyboard_directinput\.cpp' \
	  --exclude-throw-branches --exclude-unreachable-branches \
	  --txt --html-details $(COVERAGE)/html/index.html --print-summary $(COVERAGE)

lint: bootstrap
	@scripts/lint

frame-cost: bootstrap
	@scripts/frame-cost

web-bench: native web
	@scripts/web-bench

# The main job: the headless host drives the built-in demo route, prints its
# timeline and leaves out/demo.csv, out/demo.svg and out/demo.html (the cab
# view: open it in a browser). It installs and builds only what that needs
# (the plug-in libraries and atshost), and keeps the build's output in a log
# unless the build fails.
demo:
	@scripts/bootstrap demo
	@mkdir -p build
	@echo "make demo: building the plug-in libraries and atshost (log: build/demo-build.log)"
	@$(MAKE) --no-print-directory demo-build >build/demo-build.log 2>&1 || \
	  { tail -n 40 build/demo-build.log; \
	    echo "make demo: the build failed; the whole log is build/demo-build.log" >&2; exit 1; }
	@$(NATIVE)/atshost drive --out out
	@cp $(WEB)/drive.html out/drive.html
	@echo "make demo: out/drive.html is the driving page: open it in a browser"

# The tests' own parts are configured only where their tools are installed,
# so that a machine with the demo's packages alone can build it.
DEMO_TESTING = $(shell scripts/bootstrap --check test && echo ON || echo OFF)
demo-build:
	$(call configure,native,-DBUILD_TESTING=$(DEMO_TESTING) -DATS_BENCH=$(DEMO_TESTING))
	@cmake --build --preset native -j $(JOBS) --target ATSVorlan800 atshost
	$(call configure,win32)
	@cmake --build --preset win32 -j $(JOBS) --target ATSVorlan800
	$(call configure,win64)
	@cmake --build --preset win64 -j $(JOBS) --target ATSVorlan800
	@$(MAKE) --no-print-directory web-build

# The README's picture: the demo's cab view at the trip, taken by headless
# Chromium.
screenshot: native
	@$(NATIVE)/atshost drive --out out --quiet
	@scripts/screenshot out/demo.html out/demo.csv docs/cab-view.png
drive-screenshots: web
	@scripts/drive-page-screenshots $(WEB)/drive.html docs
# The keyboard watch's warning box, as Wine's X11 driver shows it on a
# virtual display, for docs/keyboard-watch.md.
warning-box: win64
	@scripts/warning-box
# The authors' guide is generated: a test fails when docs/ differ from it.
docs: native
	@$(NATIVE)/atshost reference > docs/authors-guide.md
	@$(NATIVE)/atshost reference --text > docs/authors-guide.txt
	@$(NATIVE)/atshost reference --lang ja > docs/authors-guide.ja.md
	@$(NATIVE)/atshost reference --lang ja --text > docs/authors-guide.ja.txt

# The release package: both DLLs, the authors' guide as plain text in English
# and Japanese, the changelog and SHA256SUMS, reproducibly (same sources, same
# bytes).
dist: build
	@scripts/dist

format:
	@clang-format -i $$(git ls-files '*.h' '*.cpp')
	@scripts/lint >/dev/null 2>&1 || true
	@node_modules/.bin/prettier --write --log-level warn $$(git ls-files 'host/*.js' 'host/*.css' 'tests/*.mjs' '*.mjs')

clean:
	rm -rf build out dist

golden: native
	@python3 host/tests/golden.py $(NATIVE)/atshost $(NATIVE)/golden --update
