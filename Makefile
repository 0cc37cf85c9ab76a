# make demo   builds everything and runs the main job on its built-in default
# make test   builds both libraries and runs every test
# make build  builds build/native/ATSVorlan800.so and build/win32/ATSVorlan800.dll

JOBS ?= $(shell nproc)
NATIVE := build/native
WIN32 := build/win32

.PHONY: all bootstrap build native win32 test demo format clean

all: build

bootstrap:
	@scripts/bootstrap

native: bootstrap
	@cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Release -DATS_WIN32_DIR=$(CURDIR)/$(WIN32) >/dev/null
	@cmake --build $(NATIVE) -j $(JOBS)

win32: bootstrap
	@cmake -S . -B $(WIN32) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake >/dev/null
	@cmake --build $(WIN32) -j $(JOBS)

build: native win32

test: build
	@ctest --test-dir $(NATIVE) --output-on-failure -j $(JOBS)

# The main job: the headless host drives the built-in demo route, prints its
# timeline and leaves out/demo.csv and out/demo.svg.
demo: build
	@$(NATIVE)/atshost drive --out out

format:
	@clang-format -i $$(git ls-files '*.h' '*.cpp')

clean:
	rm -rf build out
