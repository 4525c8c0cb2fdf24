# Front door for people: `make`, `make test`, `make bench`.
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

.PHONY: all setup setup-test configure build test demo bench format clean

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
# look for them when the folder is served as a web site's root.
demo: build
	@$(BUILD)/bin/tessary-make --template samples/sample.cfg
	@mkdir -p demo-gallery/images && cp samples/images/*.gif demo-gallery/images/
	@echo "To look at it: python3 -m http.server -d demo-gallery, then open http://localhost:8000/"

bench: build
	@$(BUILD)/bin/skimlet-bench $(PHOTOS)

format:
	@bash scripts/setup.sh format
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan
