# The two commands of the quick start are `make run` and `make test`; each installs what it needs.
SHELL := /bin/bash
.DEFAULT_GOAL := test
FUZZ_SECONDS ?= 30

.PHONY: test test-native test-windows run bench bench-ui bench-cli fuzz dist dist-check clean

test: test-native test-windows

test-native:
	@bash scripts/setup.sh native
	cmake --preset native >/dev/null
	cmake --build --preset native
	bash scripts/with-small-disk.sh ctest --preset native

test-windows:
	@bash scripts/setup.sh windows
	cmake --preset windows >/dev/null
	cmake --build --preset windows
	bash scripts/with-small-disk.sh bash scripts/wine-session.sh ctest --preset windows

run:
	@bash scripts/setup.sh run
	cmake --preset windows >/dev/null
	cmake --build --preset windows --target Kestrino Showcase
	bash scripts/run.sh

bench:
	@bash scripts/setup.sh native
	cmake --preset bench >/dev/null
	cmake --build --preset bench --target core_bench
	build/bench/bench/core_bench --benchmark_counters_tabular=true

bench-ui:
	@bash scripts/setup.sh windows
	cmake --preset windows >/dev/null
	cmake --build --preset windows --target ui_bench
	bash scripts/wine-session.sh scripts/wine-exec.sh build/windows/bin/ui_bench.exe

bench-cli:
	@bash scripts/setup.sh native bench-cli
	cmake --preset bench >/dev/null
	cmake --build --preset bench --target kestrino-cli
	/usr/bin/python3 bench/cli/bench_cli.py build/bench/bin/kestrino-cli build/bench/scratch

# Each target runs for FUZZ_SECONDS with its own corpus and dictionary.
FUZZ_TARGETS := number_text imei_list
fuzz:
	@bash scripts/setup.sh native fuzz
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	@set -e; for t in $(FUZZ_TARGETS); do \
	  mkdir -p build/fuzz/corpus-$$t; \
	  build/fuzz/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -dict=fuzz/$$t.dict build/fuzz/corpus-$$t; \
	done

# The zip a Windows user receives: build/dist/kestrino-<version>-win64.zip, built from a clean state.
dist:
	@bash scripts/setup.sh dist
	bash scripts/dist.sh

# Builds the zip in two fresh clones of HEAD, in different folders at different times, and compares the bytes.
dist-check:
	@bash scripts/setup.sh dist
	bash scripts/dist-check.sh

clean:
	rm -rf build
