# The two commands of the README: `make run` and `make test`. Everything else is their plumbing.
BUILD      ?= build
TSAN_BUILD ?= build-tsan
# One tree for the fuzz targets and the tests under Address- and UndefinedBehaviorSanitizer: the
# libraries are built once for both stages.
ASAN_BUILD ?= build-asan
SOAK_SECONDS ?= 60
WINDOWS_BUILD ?= build-windows
FUZZ_SECONDS ?= 10
JOBS ?= $(shell nproc)
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
# Every configure step compiles through ccache when the machine has it.
LAUNCHER := $(shell command -v ccache >/dev/null 2>&1 && \
	echo "-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
# Paths below the checkout are hashed relative to it, so that clones in other folders share hits.
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1
# The builds of the test command stop at the first warning.
WERROR ?= ON

.PHONY: run test deps layering build unit-tests browser-tests asan-configure fuzz-tests tsan-tests asan-tests soak-tests windows wine-tests clean

run: build
	cd $(BUILD) && ./webtessl

test: layering unit-tests browser-tests fuzz-tests tsan-tests asan-tests soak-tests wine-tests
	@echo "All test stages passed."

deps:
	@bash tools/install-deps.sh

# Includes run the one way the libraries declare, and only the platform layer sees the system.
layering:
	python3 tools/check-layering.py

build: deps
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) $(GENERATOR) $(LAUNCHER) -DWEBTESSL_WERROR=$(WERROR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

unit-tests: layering build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The search page in headless Chromium, against the real server and tessel over a tree of awkward
# names; a failing check leaves a screenshot in $(BUILD)/page-test-failures/.
browser-tests: build
	/usr/bin/python3 tests/page/page_test.py $(BUILD)

asan-configure: deps
	@grep -qs "WEBTESSL_FUZZ:BOOL=ON" $(ASAN_BUILD)/CMakeCache.txt || CC=clang CXX=clang++ cmake -S . -B $(ASAN_BUILD) $(GENERATOR) $(LAUNCHER) -DWEBTESSL_WERROR=$(WERROR) \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DWEBTESSL_FUZZ=ON -DWEBTESSL_BENCH=OFF

# A short run of every fuzz target, so that a regression in input handling is caught.
fuzz-tests: asan-configure
	cmake --build $(ASAN_BUILD) -j $(JOBS) --target webtessl_fuzz_targets
	bash tools/run-fuzz.sh $(ASAN_BUILD)/fuzz $(FUZZ_SECONDS) $(JOBS)

# The tests that drive threads against each other (label "concurrency"), again under ThreadSanitizer.
tsan-tests: deps
	@test -f $(TSAN_BUILD)/CMakeCache.txt || CC=clang CXX=clang++ cmake -S . -B $(TSAN_BUILD) $(GENERATOR) $(LAUNCHER) -DWEBTESSL_WERROR=$(WERROR) \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DWEBTESSL_SANITIZE=thread -DWEBTESSL_BENCH=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
		ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -L concurrency

# The unit and loopback tests once more under AddressSanitizer and UndefinedBehaviorSanitizer:
# a memory error or undefined behaviour ends the test that met it.
asan-tests: asan-configure
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
	@test -f $(WINDOWS_BUILD)/CMakeCache.txt || cmake -S . -B $(WINDOWS_BUILD) $(GENERATOR) $(LAUNCHER) -DWEBTESSL_WERROR=$(WERROR) \
		-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)

# The Windows executables run under Wine and answer over loopback.
wine-tests: windows
	python3 tests/win32/wine_smoke_test.py $(WINDOWS_BUILD)

clean:
	rm -rf $(BUILD) $(TSAN_BUILD) $(ASAN_BUILD) $(WINDOWS_BUILD)

# Installing and packaging. `make install PREFIX=/usr/local DESTDIR=` installs the programs, their
# web page, the user unit and the documents; `make package` builds the Debian package and
# `make windows-installer` the Windows installer; their test stages run with `make test` and
# `make wine-tests`.
PREFIX ?= /usr/local
PACKAGE_BUILD ?= build-package
VERSION := $(shell sed -n 's/.*kProgramVersion\[\] = "\(.*\)";/\1/p' app/ProgramInfo.h)
DEB_FILE := $(PACKAGE_BUILD)/webtessl_$(VERSION)_amd64.deb
INSTALLER_FILE := $(WINDOWS_BUILD)/webtessl-$(VERSION)-setup.exe
BUILD_FLAGS := DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags

.PHONY: install package windows-installer package-tests wine-installer-tests clean-package

install: deps
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) $(GENERATOR) $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS) --target webtessl tessel webtessl_docs
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)" --strip

# A build of its own: optimised, with Debian's hardening flags, without tests or benchmarks.
package: deps
	@test -f $(PACKAGE_BUILD)/CMakeCache.txt || \
		CXXFLAGS="$$($(BUILD_FLAGS) --get CXXFLAGS) $$($(BUILD_FLAGS) --get CPPFLAGS)" \
		LDFLAGS="$$($(BUILD_FLAGS) --get LDFLAGS)" \
		cmake -S . -B $(PACKAGE_BUILD) $(GENERATOR) $(LAUNCHER) -DCMAKE_BUILD_TYPE=Release \
			-DWEBTESSL_TESTS=OFF -DWEBTESSL_BENCH=OFF
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	cd $(PACKAGE_BUILD) && cpack -G DEB
	@echo "Package: $(DEB_FILE)"

windows-installer: windows
	cmake --build $(WINDOWS_BUILD) --target windows-installer
	@echo "Installer: $(INSTALLER_FILE)"

package-tests: package
	python3 tests/packaging/deb_package_test.py $(DEB_FILE) $(VERSION)

wine-installer-tests: windows-installer
	python3 tests/packaging/wine_installer_test.py $(INSTALLER_FILE) $(VERSION)

clean-package:
	rm -rf $(PACKAGE_BUILD)

test: package-tests
wine-tests: wine-installer-tests
clean: clean-package
