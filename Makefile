# The two commands of the README: `make demo` and `make test`. Both set up first.
.PHONY: setup native native-asan windows test test-native test-native-asan test-windows demo

setup:
	@bash tools/setup.sh

native: setup
	cmake --preset native >/dev/null
	cmake --build --preset native

native-asan: setup
	cmake --preset native-asan >/dev/null
	cmake --build --preset native-asan

windows: setup
	cmake --preset windows >/dev/null
	cmake --build --preset windows

test-native: native
	ctest --preset native

test-native-asan: native-asan
	ctest --preset native-asan

test-windows: windows
	ctest --preset windows

test: test-native test-native-asan test-windows

demo: windows
	bash tools/demo.sh build/windows
