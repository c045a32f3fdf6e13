# Two entry points: `make demo` sets everything up and runs the generator on the example
# bundle; `make test` runs every test. Both are safe to run again.
PYTHON ?= python3
BUILD ?= build
EXAMPLE ?= examples/contract.json

.PHONY: demo test setup install test-cpp test-sanitize test-python

demo: install
	$(PYTHON) -c 'import sys, brenvale; sys.stdout.write(brenvale.emit(open(sys.argv[1]).read()))' $(EXAMPLE)

test: test-cpp test-sanitize test-python

setup:
	./scripts/setup.sh

install: setup
	$(PYTHON) -m pip install -q --disable-pip-version-check --no-build-isolation . -Cbuild-dir=$(BUILD)/wheel 2>&1 \
	  | { grep -v "Running pip as the 'root' user" || true; }

test-cpp: setup
	cmake -S . -B $(BUILD)/cpp -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRENVALE_TESTS=ON -DBRENVALE_WERROR=ON >/dev/null
	cmake --build $(BUILD)/cpp
	ctest --test-dir $(BUILD)/cpp --output-on-failure -j2

test-sanitize: setup
	cmake -S . -B $(BUILD)/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBRENVALE_TESTS=ON -DBRENVALE_SANITIZE=ON >/dev/null
	cmake --build $(BUILD)/asan
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir $(BUILD)/asan --output-on-failure -j2

test-python: install
	./tests/typescript/install.sh
	$(PYTHON) -m pytest
