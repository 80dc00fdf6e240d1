# The two commands of the README: `make demo` and `make test`. Both set up first.

# The linker records its search folders in the PDB, so a machine's own (such as a CUDA stub folder
# some machines add) would make its release differ from another's.
unexport LIBRARY_PATH
.PHONY: setup native native-asan native-tsan windows windows64 fuzz bench-build bench test test-native \
        test-native-asan test-native-tsan test-windows test-windows64 test-fuzz test-setup demo dist differential \
        reproduce

setup:
	@bash tools/setup.sh

native: setup
	cmake --preset native >/dev/null
	cmake --build --preset native

native-asan: setup
	cmake --preset native-asan >/dev/null
	cmake --build --preset native-asan

native-tsan: setup
	cmake --preset native-tsan >/dev/null
	cmake --build --preset native-tsan

windows: setup
	cmake --preset windows >/dev/null
	cmake --build --preset windows

windows64: setup
	cmake --preset windows64 >/dev/null
	cmake --build --preset windows64

fuzz: setup
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz

# The benchmarks are built by every test run, so that they cannot rot; `make bench` runs them. The
# 32-bit Wine timings are built where they can run.
bench-build: setup
	cmake --preset bench >/dev/null
	cmake --build --preset bench --target vesk_dispatch_bench vesk_registrar_bench vesk_enabler_bench
	cmake --preset windows64 >/dev/null
	cmake --build --preset windows64 --target vesk_wine_bench
	@if tools/runs-32-bit >/dev/null; then cmake --preset windows >/dev/null && \
	  cmake --build --preset windows --target vesk_wine_bench; fi

# The Wine timings run against the 64-bit library everywhere, and the 32-bit one where it can run.
bench: bench-build
	./build/bench/vesk_dispatch_bench
	./build/bench/vesk_registrar_bench
	./build/bench/vesk_enabler_bench
	bash tools/wine-bench.sh build/windows64
	@if why=$$(tools/runs-32-bit); then bash tools/wine-bench.sh build/windows; \
	 else echo "bench: no 32-bit Wine timings: $$why"; fi

# The release in dist/: the bundle with both libraries (the 32-bit one is built and checked on every
# machine) and their symbols, and the four installer packages, made by the 64-bit build; their
# registry rows come from the server's own registration, run by the native build. Signed when
# VESK_SIGN_KEY and VESK_SIGN_CERT name a private key and its code-signing certificate (PEM files).
dist: setup
	cmake --preset native >/dev/null
	cmake --build --preset native --target vesk_registration_rows
	cmake --preset windows >/dev/null
	cmake --build --preset windows --target vesk_dll vesk_typelib
	cmake --preset windows64 -DVESK_SIGN_KEY="$(if $(VESK_SIGN_KEY),$(abspath $(VESK_SIGN_KEY)))" \
	  -DVESK_SIGN_CERT="$(if $(VESK_SIGN_CERT),$(abspath $(VESK_SIGN_CERT)))" >/dev/null
	cmake --build --preset windows64 --target vesk_bundle

# The release built twice, from two clones of HEAD in different folders, one after the other: the
# DLLs, PDBs, type library, zip and packages must be the same bytes.
reproduce: setup
	bash tools/reproduce

test-native: native
	ctest --preset native

test-native-asan: native-asan
	ctest --preset native-asan

test-native-tsan: native-tsan
	ctest --preset native-tsan

# The 64-bit tier also checks the 32-bit library as a file, which the release builds; both tiers test
# the release bundle from its zip, and compare the native build's replays with their own.
test-windows64: windows64 dist native
	ctest --preset windows64

# The 32-bit tier, and the 32-bit build of its tests, where 32-bit Wine runs; elsewhere the 64-bit
# tier's checks of the 32-bit library stand in for it.
test-windows: dist native
	@if why=$$(tools/runs-32-bit); then $(MAKE) --no-print-directory windows && ctest --preset windows; \
	 else echo "test: the 32-bit windows tier is skipped: $$why (the 32-bit Vesk.dll is checked as a file by the windows64 tier)"; fi

test-fuzz: fuzz
	ctest --preset fuzz

# The set-up against stand-ins for apt-get and dpkg: a mirror half in sync, a package that will not
# install, a 32-bit loader that cannot be had. No network.
test-setup:
	bash tests/setup/setup_test.sh

# The simulation against the platform at full size: 5,000 generated registry scripts and 5,000 Invoke
# cases, replayed natively and under Wine (64-bit, and 32-bit where the machine runs it).
DIFFERENTIAL_CASES ?= 5000
differential: native windows64 windows
	bash tools/differential --scripts $(DIFFERENTIAL_CASES) --invokes $(DIFFERENTIAL_CASES) \
	  build/native/vesk_replay build/windows64/vesk_replay.exe build/windows64/VeskLib.tlb
	@if why=$$(tools/runs-32-bit); then bash tools/differential --scripts $(DIFFERENTIAL_CASES) \
	  --invokes $(DIFFERENTIAL_CASES) build/native/vesk_replay build/windows/vesk_replay.exe build/windows/VeskLib.tlb; \
	 else echo "differential: no 32-bit replay: $$why"; fi

test: test-setup test-native test-native-asan test-native-tsan test-fuzz test-windows64 test-windows bench-build

# The demo runs the build this machine can run: the 32-bit one where it runs 32-bit programs.
demo: setup
	@if tools/runs-32-bit >/dev/null; then $(MAKE) --no-print-directory windows && bash tools/demo.sh build/windows; \
	 else echo "demo: $$(tools/runs-32-bit), so the demo runs the 64-bit build"; \
	      $(MAKE) --no-print-directory windows64 && bash tools/demo.sh build/windows64; fi
