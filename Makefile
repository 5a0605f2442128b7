# The two commands a new user runs: `make demo` and `make test`.
BUILD      ?= build
TEST_BUILD ?= build-test
TSAN_BUILD ?= build-tsan
WIN_BUILD  ?= build-win32
WIN64_BUILD ?= build-win64
BENCH_BUILD ?= build-bench
GENERATOR  := -G Ninja
RENDER     := $(BUILD)/quellor-render

.PHONY: all deps build demo test test-build tsan-build tsan-test golden cross bench bench-wine install clean fuzz fuzz-build fuzz-check data docs

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) --target Quellor Quellor.lv2 quellor-render

demo: build
	@bash scripts/render-demo.sh $(RENDER)

test-build: deps
	@cmake -S . -B $(TEST_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DQUELLOR_SANITIZE=ON \
	    -DQUELLOR_WARNINGS_AS_ERRORS=ON >/dev/null
	@cmake --build $(TEST_BUILD)

# The test of editing while the synth plays, alone under ThreadSanitizer.
tsan-build: deps
	@cmake -S . -B $(TSAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DQUELLOR_TSAN=ON \
	    -DQUELLOR_WARNINGS_AS_ERRORS=ON >/dev/null
	@cmake --build $(TSAN_BUILD) --target quellor_live_edit_tests

tsan-test: tsan-build
	@bash scripts/tsan-test.sh $(TSAN_BUILD)

# Records the golden renders again (tests/golden/) after an intended change
# to the sound; review the diff before committing it.
golden: deps
	@cmake -S . -B $(TEST_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DQUELLOR_SANITIZE=ON >/dev/null
	@cmake --build $(TEST_BUILD) --target quellor_golden_tests
	@QUELLOR_RECORD_GOLDEN=1 $(TEST_BUILD)/quellor_golden_tests --gtest_brief=1
	@git status --short tests/golden 2>/dev/null || true

# The Windows plug-ins: 64-bit (build-win64/Quellor.dll) and 32-bit
# (build-win32/Quellor.dll), each with the smoke host and the window check
# that Wine runs. First the Linux build draws the editor's artwork (the
# generator runs on this machine only), which the Windows builds link in as
# resources; libpng and FreeType are cross-built once into each build folder.
ARTWORK := $(CURDIR)/$(BUILD)/artwork
cross: deps
	@cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) --target quellor_artwork
	@bash scripts/build-win-deps.sh x86_64 $(WIN64_BUILD)/deps
	@cmake -S . -B $(WIN64_BUILD) $(GENERATOR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
	    -DCMAKE_BUILD_TYPE=Release -DQUELLOR_CROSS_CHECK=ON -DQUELLOR_ARTWORK_DIR=$(ARTWORK) >/dev/null
	@cmake --build $(WIN64_BUILD)
	@bash scripts/build-win-deps.sh i686 $(WIN_BUILD)/deps
	@cmake -S . -B $(WIN_BUILD) $(GENERATOR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	    -DCMAKE_BUILD_TYPE=Release -DQUELLOR_CROSS_CHECK=ON -DQUELLOR_ARTWORK_DIR=$(ARTWORK) >/dev/null
	@cmake --build $(WIN_BUILD)

test: test-build tsan-build cross fuzz-check
	@bash scripts/check-format.sh
	@bash scripts/check-layers.sh
	@cd $(TEST_BUILD) && ctest --output-on-failure
	@bash scripts/tsan-test.sh $(TSAN_BUILD)
	@bash scripts/wine-test.sh $(TEST_BUILD) $(WIN64_BUILD) $(WIN_BUILD)
	@cmake --build $(BUILD) --target QuellorClap quellor_qtractor_test_tools
	@bash scripts/qtractor-test.sh $(BUILD)

bench: deps
	@cmake -S . -B $(BENCH_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DQUELLOR_BENCH=ON >/dev/null
	@cmake --build $(BENCH_BUILD)
	@for b in $(BENCH_BUILD)/bench_*; do [ -x "$$b" ] && "$$b"; done

# The 64-bit Windows plug-in's speed under Wine beside the Linux plug-in's.
bench-wine: cross
	@cmake -S . -B $(BENCH_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DQUELLOR_BENCH=ON >/dev/null
	@cmake --build $(BENCH_BUILD) --target quellor_wine_smoke
	@bash scripts/wine-bench.sh $(BENCH_BUILD) $(WIN64_BUILD)

install: build
	@cmake --build $(BUILD) --target QuellorClap
	@mkdir -p $(HOME)/.vst $(HOME)/.clap
	@cp $(BUILD)/Quellor.so $(HOME)/.vst/
	@cp $(BUILD)/Quellor.clap $(HOME)/.clap/
	@mkdir -p $(HOME)/.lv2
	@rm -rf $(HOME)/.lv2/Quellor.lv2
	@cp -r $(BUILD)/Quellor.lv2 $(HOME)/.lv2/
	@bash scripts/install-data.sh
	@echo "Installed Quellor.so into $(HOME)/.vst/, Quellor.clap into $(HOME)/.clap/ and Quellor.lv2 into $(HOME)/.lv2/"

# The guide's pictures, drawn by the headless window with the factory programs
# the guide names; the factory banks page, from the program sources; each
# bank's sound example. Run it after a change to the window or the banks and
# commit what changed (a test compares the pictures with the window).
docs: deps
	@cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) --target quellor-docs quellor-render
	@$(BUILD)/quellor-docs data docs/pictures
	@bash scripts/make-sound-examples.sh $(BUILD) docs/sounds
	@python3 tools/make-bank-page.py sounds/programs docs/sounds docs/banks.md

# Rebuilds the factory data folder from its text sources in sounds/.
data: deps
	@cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) --target quellor-program
	@$(BUILD)/quellor-program build-data sounds data

clean:
	@rm -rf $(BUILD) $(TEST_BUILD) $(TSAN_BUILD) $(WIN_BUILD) $(WIN64_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) demo.wav

# Fuzzing: one libFuzzer target per parser, each run for FUZZ_SECONDS on a copy
# of its seed corpus with the flags in fuzz/<name>.options; prints the inputs
# run and the rate of each. make test runs them for 20 seconds each.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz-build: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(GENERATOR) -DQUELLOR_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD)

fuzz: fuzz-build
	@bash scripts/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

fuzz-check: fuzz-build
	@bash scripts/run-fuzzers.sh $(FUZZ_BUILD) 20
