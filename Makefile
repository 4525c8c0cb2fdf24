# Front door for people: `make`, `make test`, `make demo`, `make bench`, `make wizard`,
# `make screenshots`, `make fuzz`, `make install`, `make deb`, `make audit`.
# SANITIZE=1 builds into build-asan with AddressSanitizer and UndefinedBehaviorSanitizer,
# SANITIZE=thread into build-tsan with ThreadSanitizer.

SANITIZE ?= 0
JOBS ?= $(shell nproc)
ifeq ($(SANITIZE),1)
BUILD ?= build-asan
CMAKE_FLAGS += -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARY_SANITIZE=ON
else ifeq ($(SANITIZE),thread)
BUILD ?= build-tsan
CMAKE_FLAGS += -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARY_SANITIZE_THREAD=ON
else
BUILD ?= build
CMAKE_FLAGS += -DCMAKE_BUILD_TYPE=RelWithDebInfo
endif

PHOTOS ?= $(CURDIR)/samples/photos

.PHONY: all setup setup-test configure build test demo audit bench bench-photos wizard screenshots fuzz format clean install deb

all: build

setup:
	@bash scripts/setup.sh build

configure: setup
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The tests also open the sample gallery in Debian's Chromium.
setup-test:
	@bash scripts/setup.sh build browser

test: setup-test build
	@cd $(BUILD) && ctest -j $(JOBS) --output-on-failure --timeout 300

# Makes the sample gallery into demo-gallery/, the button images where the pages
# look for them when the folder is served as a web site's root, and the same photos
# in the modern page style into demo-gallery-modern/.
demo: build
	@$(BUILD)/bin/tessary-make --template samples/sample.cfg
	@mkdir -p demo-gallery/images && cp samples/images/*.gif demo-gallery/images/
	@$(BUILD)/bin/tessary-make --template samples/sample-modern.cfg --style modern
	@echo "To look at them: python3 -m http.server -d demo-gallery (or demo-gallery-modern), then open http://localhost:8000/"

# Lighthouse's four scores for every page of both sample galleries, mobile preset
# (AUDIT_FLAGS="--preset desktop" for the other, "--pages N" for fewer pages). Lighthouse
# is pinned in scripts/audit/package-lock.json and installed there.
AUDIT_FLAGS ?=

audit: demo
	@command -v npm >/dev/null && command -v chromium >/dev/null || bash scripts/setup.sh audit
	@cd scripts/audit && { test node_modules/.package-lock.json -nt package-lock.json || \
		npm ci --no-audit --no-fund --silent; }
	@python3 scripts/audit/audit.py demo-gallery demo-gallery-modern $(AUDIT_FLAGS)

# Benchmarks always run an optimised build without sanitizers, whatever SANITIZE says.
BENCH_BUILD ?= build
BENCH_PHOTOS ?= $(CURDIR)/build/bench-photos

bench: setup
	@bash scripts/setup.sh bench
	@cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARY_SANITIZE=OFF >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS) --target skimlet-bench skimlet-thumb vantrel-bench
	@$(BENCH_BUILD)/bin/skimlet-bench $(BENCH_FLAGS) $(PHOTOS)
	@$(BENCH_BUILD)/bin/vantrel-bench $(PHOTOS)

# Real photos of 4 to 20 megapixels from Debian's wallpaper packages.
bench-photos:
	@bash scripts/fetch-bench-photos.sh $(BENCH_PHOTOS)
	@$(MAKE) --no-print-directory bench PHOTOS=$(BENCH_PHOTOS)/photos BENCH_FLAGS="--megapixels 4-20"

wizard: build
	@$(BUILD)/bin/tessary

# Walks the wizard through a run over the sample photos under a virtual X
# server and saves a picture of each page into screenshots/.
screenshots: build
	@bash scripts/setup.sh screenshots
	@xvfb-run -a -s "-screen 0 1600x1200x24" \
		$(BUILD)/bin/tessary-screenshots $(CURDIR)/screenshots $(PHOTOS)

# Fuzzes the picture decoder, the JPEG writer and the photo metadata reader and stripper
# (libFuzzer, clang) in build-fuzz/, each for FUZZ_SECONDS; fails when any finds a fault
# (inputs in build-fuzz/crashes/).
FUZZ_SECONDS ?= 60

fuzz:
	@bash scripts/setup.sh build fuzz
	@FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) bash fuzz/run.sh

# Installs under PREFIX, below DESTDIR when given (staged installs, packaging).
PREFIX ?= /usr/local

install: build
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# Debian packages of the build in build/packages/ (tessary, skimlet-tools,
# libvantrel0, libskimlet0, libtessary-dev), their dependencies read from the
# binaries; the CMake setting TESSARY_PACKAGE_MAINTAINER names the packager.
# Packages of an earlier version are removed first, so that *.deb is one set.
deb: build
	@rm -f $(BUILD)/packages/*.deb
	@cd $(BUILD) && cpack -G DEB -B packages

format:
	@bash scripts/setup.sh format
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-tsan build-fuzz
