# Two entry points: `make demo` sets everything up, turns the example app's Pydantic models
# into a contract bundle and that into TypeScript; `make test` runs every test. Both are safe
# to run again.
PYTHON ?= python3
BUILD ?= build
EXAMPLE ?= examples/contract.json

.PHONY: demo test lint goldens setup npm install wheel test-cpp test-sanitize test-python test-fuzz

# The demo needs only a compiler, CMake, RapidJSON and Pydantic: no test or lint tools.
demo:
	PYTHON=$(PYTHON) ./scripts/setup.sh demo
	PIP_ROOT_USER_ACTION=ignore $(PYTHON) -m pip install -q --disable-pip-version-check \
	  --no-build-isolation . -Cbuild-dir=$(BUILD)/wheel
	cd examples && $(PYTHON) -m brenvale bundle --models app.models -o contract.json
	$(PYTHON) -m brenvale emit $(EXAMPLE) -o $(BUILD)/demo/contract.ts
	@echo "== $(BUILD)/demo/contract.ts, generated from $(EXAMPLE):"
	@cat $(BUILD)/demo/contract.ts
	@echo "== brenvale compat examples/contract-v0.json $(EXAMPLE):"
	$(PYTHON) -m brenvale compat examples/contract-v0.json $(EXAMPLE) --fail-on never

test: lint test-cpp test-sanitize test-python test-fuzz

setup:
	PYTHON=$(PYTHON) ./scripts/setup.sh

# The pinned TypeScript compiler and SDKs, and the JSON conformance cases.
npm: setup
	./tests/typescript/install.sh

install: setup
	PIP_ROOT_USER_ACTION=ignore $(PYTHON) -m pip install -q --disable-pip-version-check \
	  --no-build-isolation . -Cbuild-dir=$(BUILD)/wheel

test-cpp: npm
	cmake -S . -B $(BUILD)/cpp -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRENVALE_TESTS=ON -DBRENVALE_WERROR=ON >/dev/null
	cmake --build $(BUILD)/cpp
	ctest --test-dir $(BUILD)/cpp --output-on-failure -j2

test-sanitize: npm
	cmake -S . -B $(BUILD)/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBRENVALE_TESTS=ON -DBRENVALE_SANITIZE=ON >/dev/null
	cmake --build $(BUILD)/asan
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir $(BUILD)/asan --output-on-failure -j2

# Formatting and static checks of the C++ (the core and the module surface) and the Python.
lint: setup
	clang-format --dry-run --Werror $$(git ls-files '*.cpp' '*.hpp')
	cmake -S . -B $(BUILD)/tidy -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DSKBUILD=ON -DPython_EXECUTABLE="$$(command -v $(PYTHON))" \
	  -DSKBUILD_SABI_VERSION="$$(sed -n 's/^wheel.py-api = "cp3\([0-9]*\)"/3.\1/p' pyproject.toml)" \
	  -DCMAKE_MODULE_PATH="$$($(PYTHON) -c 'import os, scikit_build_core.resources as r; print(os.path.dirname(r.__file__))')/find_python" >/dev/null
	cmake --build $(BUILD)/tidy --target brenvale_tables >/dev/null
	run-clang-tidy -quiet -j2 -p $(BUILD)/tidy $$(git ls-files 'src/*.cpp') >$(BUILD)/tidy.log 2>&1 \
	  || { grep -E 'warning:|error:' $(BUILD)/tidy.log; exit 1; }
	$(PYTHON) -m ruff check .
	$(PYTHON) -m ruff format --check .
	$(PYTHON) -m mypy

# Every generated file kept in the repository (tests/golden/cases.tsv: golden modules, example
# bundles), regenerated through the command line; `git status` then shows what a change did.
goldens: install
	$(PYTHON) tools/make_goldens.py

# The abi3 wheel, repaired by auditwheel into a manylinux wheel that needs no compiler to install.
wheel: setup
	rm -rf $(BUILD)/dist dist
	PIP_ROOT_USER_ACTION=ignore $(PYTHON) -m pip wheel -q --disable-pip-version-check --no-deps \
	  --no-build-isolation -w $(BUILD)/dist . -Cbuild-dir=$(BUILD)/wheel
	$(PYTHON) -m auditwheel repair -w dist $(BUILD)/dist/brenvale-*.whl

# A worker per CPU, each taking whole files: a file's module fixtures (the tsc stage's programs,
# the Zod runs) are made once.
test-python: install wheel npm
	$(PYTHON) -m pytest -n auto --dist loadfile

# A short libFuzzer run of every target (fuzz/run.sh); without clang it skips, except in CI.
test-fuzz: setup
	BRENVALE_FUZZ_BUILD=$(BUILD)/fuzz ./fuzz/run.sh 10
