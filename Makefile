# Everyday entry points. Each one installs what is missing first.
JOBS  ?= 2
BUILD ?= build
# Where `make install` puts KIVO (DESTDIR is honoured as well). The programs learn the
# prefix at build time, so install and package each configure the one they need.
PREFIX ?= /usr/local
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps build test test-asan test-tsan test-windows build-windows package-windows \
	screenshot-windows bench bench-windows fuzz run screenshot install package clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) --timeout 300

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKIVO_SANITIZE=address >/dev/null
	@cmake --build build-asan -j$(JOBS)
	cd build-asan && ctest --output-on-failure -j$(JOBS) --timeout 300

# The whole suite under ThreadSanitizer (the programs the tests start included). Qt is not
# instrumented: tests/tsan.supp sets its own internals aside, and die_after_fork=0 lets a
# process go on after QProcess has started a child (Qt's vfork-like start otherwise leaves
# ThreadSanitizer believing the parent is the forked child).
TSAN_OPTIONS := suppressions=$(CURDIR)/tests/tsan.supp die_after_fork=0
test-tsan: deps
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DKIVO_SANITIZE=thread >/dev/null
	@cmake --build build-tsan -j$(JOBS)
	cd build-tsan && TSAN_OPTIONS="$(TSAN_OPTIONS)" ctest --output-on-failure -j$(JOBS) --timeout 300

# The Windows program, its packages and its tests cross-built for 64-bit Windows
# (statically linked); the tests run under Wine in a private prefix whose COM ports are
# pseudo-terminal pairs.
build-windows:
	@scripts/install-deps.sh windows
	@cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake \
		$(CMAKE_FLAGS) >/dev/null
	@cmake --build build-windows -j$(JOBS)

test-windows: build-windows
	@scripts/wine-prefix.sh build-windows \
		ctest --test-dir build-windows --output-on-failure -j$(JOBS) --timeout 300

# build-windows/kivo-<version>-win64.zip and build-windows/kivo-<version>-win64-setup.exe.
package-windows: build-windows
	@ls -l build-windows/kivo-*-win64*

# docs/windows-main.png and docs/windows-smode.png, under Wine on a private Xvfb display.
screenshot-windows: build-windows
	@scripts/screenshots-windows.sh build-windows docs

# kivo.exe's start-up to its first frame against a bare Win32 window, under Wine on Xvfb.
bench-windows: build-windows
	@scripts/bench-windows.sh build-windows

# Benchmarks, not tests: each figure against its baseline measured in the same run.
bench: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j$(JOBS) --target kivo_benchmarks
	@scripts/bench.sh $(BUILD)

# Every fuzz target (tests/fuzz), built with clang in its own folder, for FUZZ_SECONDS each.
FUZZ_SECONDS ?= 180
fuzz: deps
	@cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DKIVO_FUZZ=ON \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build-fuzz -j$(JOBS)
	@scripts/run-fuzz.sh build-fuzz $(FUZZ_SECONDS)

run: build
	@scripts/run-with-sim.sh $(BUILD)

screenshot: build
	@scripts/screenshots.sh $(BUILD) docs

install: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DCMAKE_INSTALL_PREFIX=$(PREFIX) >/dev/null
	@cmake --build $(BUILD) -j$(JOBS) --target kivo kivo-sim kivo_package_files
	cmake --install $(BUILD)

# The Debian package build/kivo_<version>_<arch>.deb, for /usr.
package: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
	@cmake --build $(BUILD) -j$(JOBS) --target kivo kivo-sim kivo_package_files
	cd $(BUILD) && cpack -G DEB
	@rm -rf $(BUILD)/_CPack_Packages

clean:
	rm -rf build build-asan build-tsan build-windows build-fuzz
