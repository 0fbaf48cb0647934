# Thin wrapper over CMake so that a fresh machine needs two commands:
#   make demo   builds orvex and decodes the bundled sample
#   make test   builds everything and runs every test
BUILD   ?= build
CONFIG  ?= RelWithDebInfo
PREFIX  ?= /usr/local
WERROR  ?= ON
CMAKE_FLAGS ?=
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build demo test bench install clean

all: build

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(CONFIG) \
	  -DORVEX_WERROR=$(WERROR) $(CMAKE_FLAGS)

build: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# Decodes examples/sample.fits into $(BUILD)/demo and shows what was written.
demo: build
	rm -rf $(BUILD)/demo && mkdir -p $(BUILD)/demo
	cd $(BUILD)/demo && ../orvex ../../examples/sample.fits
	@echo; echo "Files written in $(BUILD)/demo:"; ls -l $(BUILD)/demo
	@for f in $(BUILD)/demo/sample.0*; do echo; echo "==> $$f <=="; head -n 40 $$f; done

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Times orvex against the cost of the work itself, in a Release tree of its
# own (build-bench); see bench/README.md. Never part of `test`.
bench:
	python3 bench/run_bench.py

clean:
	rm -rf $(BUILD)
