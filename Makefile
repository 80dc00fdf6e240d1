# The two commands of the README: `make demo` and `make test`. Both set up first.
.PHONY: setup native native-asan native-tsan windows fuzz bench-build bench test test-native test-native-asan test-native-tsan test-windows test-fuzz demo

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

fuzz: setup
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz

# The benchmarks are built by every test run, so that they cannot rot; `make bench` runs them.
bench-build: setup
	cmake --preset bench >/dev/null
	cmake --build --preset bench --target vesk_dispatch_bench vesk_registrar_bench vesk_enabler_bench
	cmake --preset windows >/dev/null
	cmake --build --preset windows --target vesk_wine_bench

bench: bench-build
	./build/bench/vesk_dispatch_bench
	./build/bench/vesk_registrar_bench
	./build/bench/vesk_enabler_bench
	bash tools/wine-bench.sh build/windows

test-native: native
	ctest --preset native

test-native-asan: native-asan
	ctest --preset native-asan

test-native-tsan: native-tsan
	ctest --preset native-tsan

test-windows: windows
	ctest --preset windows

test-fuzz: fuzz
	ctest --preset fuzz

test: test-native test-native-asan test-native-tsan test-fuzz test-windows bench-build

demo: windows
	bash tools/demo.sh build/windows
