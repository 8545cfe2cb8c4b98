# The two commands of the README are the contract: `make test` builds and
# passes every test, `make demo` runs the main job. Both install missing
# Debian packages first.

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
WINDOWS_BUILD ?= build-windows
# What the Windows zip holds (scripts/package-windows).
WINDOWS_PACKAGE_TARGETS = trasvik dravontdll qnsys dravontaux64 dravont-aux dravont-service send_file receive_files
FUZZ_SECONDS ?= 20
JOBS       ?= $(shell nproc)
CMAKE_FLAGS ?=

# Runs the suite of build $(1), says why tests were skipped, and fails as
# well when a program of the build is left running after it.
run_suite = (cd $(1) && ctest --output-on-failure -j$(JOBS)); status=$$?; scripts/skipped-tests $(1); \
  scripts/leftover-processes $(1) || status=1; exit $$status
# Configures the Windows build (MinGW-w64) with the extra flags $(1).
configure_windows = cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRASVIK_BENCH=OFF $(1) $(CMAKE_FLAGS) > /dev/null

.PHONY: all deps build test test-asan fuzz windows test-windows bench demo demo-windows package package-windows clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) > /dev/null
	@scripts/quiet-build $(BUILD) -j$(JOBS)

test: build
	@$(call run_suite,$(BUILD))

# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTRASVIK_SANITIZE=ON -DTRASVIK_BENCH=OFF $(CMAKE_FLAGS) > /dev/null
	@scripts/quiet-build $(ASAN_BUILD) -j$(JOBS)
	@$(call run_suite,$(ASAN_BUILD))

# The fuzz targets (libFuzzer, clang-16, with the sanitizers) in a build of
# their own; each runs FUZZ_SECONDS seconds from its committed seeds.
fuzz: deps
	@cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang-16 \
	  -DCMAKE_CXX_COMPILER=clang++-16 -DTRASVIK_FUZZ=ON -DTRASVIK_SANITIZE=ON -DTRASVIK_BENCH=OFF $(CMAKE_FLAGS) > /dev/null
	@cmake --build $(FUZZ_BUILD) --target fuzzers -j$(JOBS)
	@scripts/fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Windows x64, cross-compiled with MinGW-w64 into a build of its own; the
# tests run under Wine. One of them runs the Windows gateway against the
# Linux service of the Linux build, which test-windows builds first.
windows:
	@scripts/install-deps windows
	@$(call configure_windows,-DTRASVIK_LINUX_SERVICE=$(abspath $(BUILD))/service/dravont-service)
	@scripts/quiet-build $(WINDOWS_BUILD) -j$(JOBS)

test-windows: windows
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) > /dev/null
	@cmake --build $(BUILD) --target dravont-service -j$(JOBS)
	@scripts/wine-tests $(WINDOWS_BUILD) $(JOBS)

# The main job on a built-in sample setup: two participants exchange a file
# through a fresh service.
demo: build
	@scripts/demo $(BUILD)

# The Debian package, trasvik_<version>_<arch>.deb, in the build directory.
package: build
	@cd $(BUILD) && cpack --config CPackConfig.cmake

# The Windows package, trasvik-<version>-windows-x64.zip, in the Windows
# build: only what the zip holds is built.
package-windows:
	@scripts/install-deps windows
	@$(call configure_windows,)
	@scripts/quiet-build $(WINDOWS_BUILD) -j$(JOBS) --target $(WINDOWS_PACKAGE_TARGETS)
	@scripts/package-windows $(WINDOWS_BUILD)

# The same with the Windows programs, under Wine.
demo-windows: windows
	@scripts/demo $(WINDOWS_BUILD) windows

# Benchmarks print their figures and the ratios they are judged by.
bench: build
	@$(BUILD)/bench/transport_bench
	@$(BUILD)/bench/service/service_bench
	@$(BUILD)/bench/converter/converter_bench
	@$(BUILD)/bench/gateway/gateway_bench
	@$(BUILD)/bench/status/status_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(WINDOWS_BUILD)
