# Front door for people: `make`, `make test`, `make bench`, `make wizard`, `make screenshots`.
# SANITIZE=1 builds into build-asan with AddressSanitizer and UndefinedBehaviorSanitizer.

SANITIZE ?= 0
JOBS ?= $(shell nproc)
ifeq ($(SANITIZE),1)
BUILD ?= build-asan
CMAKE_FLAGS += -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARY_SANITIZE=ON
else
BUILD ?= build
CMAKE_FLAGS += -DCMAKE_BUILD_TYPE=RelWithDebInfo
endif

PHOTOS ?= $(CURDIR)/samples/photos

.PHONY: all setup configure build test bench wizard screenshots format clean

all: build

setup:
	@bash scripts/setup.sh build

configure: setup
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest -j $(JOBS) --output-on-failure --timeout 300

bench: build
	@$(BUILD)/bin/skimlet-bench $(PHOTOS)

wizard: build
	@$(BUILD)/bin/tessary

# Walks the wizard through a run over the sample photos under a virtual X
# server and saves a picture of each page into screenshots/.
screenshots: build
	@bash scripts/setup.sh screenshots
	@xvfb-run -a -s "-screen 0 1600x1200x24" \
		$(BUILD)/bin/tessary-screenshots $(CURDIR)/screenshots $(PHOTOS)

format:
	@bash scripts/setup.sh format
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan
