# The two commands of the README: `make run` and `make test`. Everything else is their plumbing.
BUILD      ?= build
FUZZ_BUILD ?= build-fuzz
TSAN_BUILD ?= build-tsan
ASAN_BUILD ?= build-asan
SOAK_SECONDS ?= 60
WINDOWS_BUILD ?= build-windows
FUZZ_SECONDS ?= 10
JOBS ?= $(shell nproc)
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: run test deps build unit-tests fuzz-tests tsan-tests asan-tests soak-tests windows wine-tests clean

run: build
	cd $(BUILD) && ./webtessl

test: unit-tests fuzz-tests tsan-tests asan-tests soak-tests wine-tests
	@echo "All test stages passed."

deps:
	@bash tools/install-deps.sh

build: deps
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

unit-tests: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# A short run of every fuzz target, so that a regression in input handling is caught.
fuzz-tests: deps
	@test -f $(FUZZ_BUILD)/CMakeCache.txt || CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(GENERATOR) \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DWEBTESSL_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	bash tools/run-fuzz.sh $(FUZZ_BUILD)/fuzz $(FUZZ_SECONDS)

# The tests that exercise threads (test suites named *ConcurrencyTest), again under ThreadSanitizer.
tsan-tests: deps
	@test -f $(TSAN_BUILD)/CMakeCache.txt || CC=clang CXX=clang++ cmake -S . -B $(TSAN_BUILD) $(GENERATOR) \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DWEBTESSL_SANITIZE=thread -DWEBTESSL_BENCH=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
		ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -R 'ConcurrencyTest\.'

# The unit and loopback tests once more under AddressSanitizer and UndefinedBehaviorSanitizer:
# a memory error or undefined behaviour ends the test that met it.
asan-tests: deps
	@test -f $(ASAN_BUILD)/CMakeCache.txt || CC=clang CXX=clang++ cmake -S . -B $(ASAN_BUILD) $(GENERATOR) \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DWEBTESSL_SANITIZE=address,undefined -DWEBTESSL_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS="detect_leaks=1 abort_on_error=1" UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1" \
		ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The real server and tessel under a minute of mixed traffic (static files, downloads, searches,
# slow and vanishing clients, tessel killed in the middle); threads, descriptors and memory must
# come back afterwards.
soak-tests: build
	python3 tests/soak/soak_test.py $(BUILD) $(SOAK_SECONDS)

# The Windows executables, cross-built with mingw-w64: $(WINDOWS_BUILD)/webtessl.exe and its webroot.
windows: deps
	@test -f $(WINDOWS_BUILD)/CMakeCache.txt || cmake -S . -B $(WINDOWS_BUILD) $(GENERATOR) \
		-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)

# The Windows executables run under Wine and answer over loopback.
wine-tests: windows
	python3 tests/win32/wine_smoke_test.py $(WINDOWS_BUILD)

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) $(TSAN_BUILD) $(ASAN_BUILD) $(WINDOWS_BUILD)
