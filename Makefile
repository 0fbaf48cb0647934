# Thin wrapper over CMake so that a fresh machine needs two commands:
#   make demo   builds orvex alone and decodes the bundled sample
#   make test   builds everything and runs every test
BUILD   ?= build
CONFIG  ?= RelWithDebInfo
PREFIX  ?= /usr/local
WERROR  ?= ON
CMAKE_FLAGS ?=
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build demo test bench verify-formatter sanitize fuzz install package clean

all: build

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(CONFIG) \
	  -DORVEX_WERROR=$(WERROR) $(CMAKE_FLAGS)

build: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# Decodes examples/sample.fits into $(BUILD)/demo and shows what was written.
# Builds the program alone: the test suite is not needed to see it work.
demo: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target orvex
	rm -rf $(BUILD)/demo && mkdir -p $(BUILD)/demo
	cd $(BUILD)/demo && $(abspath $(BUILD))/orvex $(CURDIR)/examples/sample.fits
	@echo; echo "Files written in $(BUILD)/demo:"; ls -l $(BUILD)/demo
	@for f in $(BUILD)/demo/sample.0*; do echo; echo "==> $$f <=="; head -n 40 $$f; done

# The googletest suite as a few shards a job (tests/run_shards.py): starting
# a process costs more than most tests take. A shard that fails has each of
# its tests run again alone, so that the one that crashed or failed is
# named, as ctest's one process per test would name it (ctest --test-dir
# $(BUILD) still runs them that way). Then the scripts that are not
# googletest: the manual page, the completion and the package.
SCRIPT_TESTS = ^(man_page|bash_completion|debian_package)$$
SHARD_TIMEOUT ?= 1800

test: build
	python3 tests/run_shards.py --jobs $(JOBS) --timeout $(SHARD_TIMEOUT) --isolate $(BUILD)/tests/orvex_tests
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -R '$(SCRIPT_TESTS)'

# Installs bin/orvex, share/man/man1/orvex.1 and the bash completion
# share/bash-completion/completions/orvex under PREFIX, the program
# stripped. DESTDIR, when given, goes in front of every path (a staged
# install): make install PREFIX=/usr DESTDIR=/tmp/stage
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix $(PREFIX) --strip

# The Debian package $(BUILD)/orvex_<version>_amd64.deb, installing under /usr.
package: build
	cd $(BUILD) && cpack
	@ls -l $(BUILD)/orvex_*_amd64.deb

# Times orvex against the cost of the work itself, in a Release tree of its
# own (build-bench); see bench/README.md. Never part of `test`.
bench:
	python3 bench/run_bench.py

# Holds the "%.16g" formatter against std::to_chars on all 2^32 single-
# precision values widened to double, on every core, in the Release tree of
# `make bench`. Takes several minutes; never part of `test`.
BENCH_BUILD ?= build-bench

verify-formatter:
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVEX_BENCH=ON -DORVEX_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target verify_formatter
	$(BENCH_BUILD)/bench/verify_formatter

# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer
# in a tree of its own (at -O1 with line tables only: a third of the
# compile time of -O2 -g, and still a file and line in every report); any
# report of either fails the run. The instrumented test binary takes
# seconds to start, so its tests run as a few shards a job
# (tests/run_shards.py, which also checks that the shards ran every test the
# binary lists), not one process per test; the checks that are not
# googletest (manual page, completion, package) keep their own runs.
SANITIZE_BUILD ?= build-sanitize
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

sanitize:
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(CONFIG) \
	  -DORVEX_WERROR=$(WERROR) -DORVEX_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	$(SANITIZER_ENV) python3 tests/run_shards.py --jobs $(JOBS) --timeout $(SHARD_TIMEOUT) $(SANITIZE_BUILD)/tests/orvex_tests
	$(SANITIZER_ENV) ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j $(JOBS) -R '$(SCRIPT_TESTS)'

# The unit and end-to-end tests built with ThreadSanitizer in a tree of
# their own, the program they run included; a data race it sees fails the
# run. A few shards a job, as for `make sanitize`: setting up the
# instrumented test binary costs seconds, which once per test would be most
# of the time.
TSAN_BUILD ?= build-tsan
TSAN_ENV = TSAN_OPTIONS=halt_on_error=1:exitcode=66:second_deadlock_stack=1

tsan:
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(CONFIG) \
	  -DORVEX_WERROR=$(WERROR) -DORVEX_TSAN=ON $(CMAKE_FLAGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	$(TSAN_ENV) python3 tests/run_shards.py --jobs $(JOBS) --timeout $(SHARD_TIMEOUT) $(TSAN_BUILD)/tests/orvex_tests

# The libFuzzer target (fuzz/README.md), built with clang++ in a tree of its
# own and run for FUZZ_SECONDS on the seed corpus and what it found before.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 300

fuzz:
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(CONFIG) \
	  -DCMAKE_CXX_COMPILER=clang++ -DORVEX_FUZZ=ON -DORVEX_TESTS=OFF \
	  -DORVEX_WERROR=$(WERROR) $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	FUZZ_SECONDS=$(FUZZ_SECONDS) $(SANITIZER_ENV) fuzz/run_fuzz.sh $(FUZZ_BUILD)

clean:
	rm -rf $(BUILD)
