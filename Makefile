# SPDX-License-Identifier: Apache-2.0
# Thin driver over CMake: the real build lives in CMakeLists.txt. build.sh
# does the same without make, on a machine that has nothing installed yet.
# The README's Quick start says what demo and test show and how long they take.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 600
FUZZ_RUNS    ?= 20000

.PHONY: all build demo test test-plain test-asan test-fuzz fuzz deps package clean

all: build

# The Debian packages that building and testing need: installed when
# missing and run as root, otherwise the command that installs them.
deps:
	@sh scripts/install-deps.sh

# Configured each time: a build folder that the demo configured for
# vorlith and the runtime only gets everything.
build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLITH_DEMO_ONLY=OFF
	cmake --build $(BUILD) -j $(JOBS)

# Installs only what the demo needs, builds only vorlith and the Java
# runtime (in $(BUILD)), runs vorlith on examples/geo.x in
# $(BUILD)/demo, compiles the Java and lets a client call a server.
demo:
	@sh scripts/install-deps.sh demo
	@bash scripts/demo.sh $(BUILD)

# Every stage, one line each and a summary; the details go to logs in
# $(BUILD)/test-logs. Stages: packages (make deps), a bounded fuzzing run,
# the build and its tests, then the sanitizer build and its tests; the
# single stages are the targets below.
test:
	@bash scripts/test.sh $(BUILD) $(ASAN_BUILD) $(FUZZ_RUNS) $(JOBS)

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The same suite again with AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVORLITH_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# A bounded fuzzing run of the whole pipeline (clang, libFuzzer, ASan, UBSan).
test-fuzz:
	bash tests/fuzz/run-fuzzer.sh --runs $(FUZZ_RUNS)

# Fuzzing for as long as asked: make fuzz FUZZ_SECONDS=3600
fuzz:
	bash tests/fuzz/run-fuzzer.sh $(FUZZ_SECONDS)

# The two Debian packages, in $(BUILD): vorlith_<version>_<arch>.deb (the
# compiler, its manual page and the msgclient example) and
# libkelvaro-zelt-java_<version>_all.deb (the Java runtime, its Maven
# metadata and API documentation).
package: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz
