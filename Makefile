# make demo  - run the main example
# make test  - build and run every test (native and Python)
# make bench - run the side-by-side benchmarks
# make test-asan - every test again under AddressSanitizer and UBSan
# make wheel - the self-contained abi3 wheel, in dist/
# make coverage - every test against a build with coverage counters, and a report
# make fuzz  - a million random calls to every entry point (FUZZ_CALLS, FUZZ_SEED)
# make mutants - how many injected faults the tests catch (MUTANTS, MUTANTS_SEED, MUTANTS_FILES)
# make docs  - the documentation site, in docs/_build/html
SHELL := /bin/bash
.SHELLFLAGS := -o pipefail -ec
VENV := .venv
PY := $(VENV)/bin/python
# Our own builds hold our sources to -Werror (pip's builds through
# scikit-build-core's SKBUILD_CMAKE_ARGS); a user's plain `pip install .` does not.
WERROR := -DQV_WERROR=ON
export SKBUILD_CMAKE_ARGS := $(WERROR)
SOURCES := $(shell find src -type f) CMakeLists.txt pyproject.toml

.PHONY: all demo test check-includes test-native test-python test-asan test-wheel test-source-build wheel fuzz mutants bench docs deps clean coverage

all: $(VENV)/.built

$(VENV)/.deps: scripts/system-deps
	@scripts/system-deps
	@mkdir -p $(VENV) && touch $@

$(VENV)/.venv: $(VENV)/.deps requirements-dev.txt requirements-demo.txt
	@if [ ! -x $(PY) ]; then py=$$(scripts/find-python) && echo "creating $(VENV) with $$py" && $$py -m venv $(VENV); fi
	@$(PY) -m pip install -q --disable-pip-version-check -r requirements-dev.txt
	@touch $@

$(VENV)/.built: $(VENV)/.venv $(SOURCES)
	@$(PY) -m pip install -q --disable-pip-version-check --no-build-isolation --no-deps .
	@touch $@

build/native/Makefile: CMakeLists.txt $(VENV)/.deps
	@cmake -S . -B build/native -DQV_NATIVE_TESTS=ON -DQV_PYTHON_MODULE=OFF -DCMAKE_BUILD_TYPE=Release $(WERROR) >/dev/null

test-native: build/native/Makefile
	@cmake --build build/native -j2 >/dev/null
	@scripts/run-ctest build/native

test-python: $(VENV)/.built
	@$(PY) -m pytest tests
	@$(PY) -m mypy.stubtest quorvane
	@$(PY) -m mypy --strict examples/

# Kernels include no part of the Python layer.
check-includes:
	@scripts/check-includes

test: check-includes test-native test-python test-wheel test-source-build

# The portable abi3 wheel (glibc 2.28 and later), in dist/; its build venv,
# glibc stubs and CMake tree are kept under build/wheel.
wheel: $(VENV)/.venv
	@scripts/build-wheel $(PY)

# The whole suite against the wheel on every CPython 3.12+ here and on
# Debian sid's 3.14 and 3.15, NumPy 1.26 on the oldest; the native tests,
# linked as the wheel is, on Debian bullseye's glibc 2.31; the wheel's
# digests at every level against the ordinary build's.
test-wheel: wheel $(VENV)/.built
	@scripts/test-wheel $(PY)

# pip install . in a fresh venv with oneTBB and Eigen from PyPI, as on a
# machine without their system packages, then the smoke test.
test-source-build: $(VENV)/.venv
	@scripts/test-source-build $(PY)

# The whole suite again against a build with AddressSanitizer and UBSan.
test-asan: $(VENV)/.venv
	@scripts/test-asan $(PY)

$(VENV)/.coverage-tools: $(VENV)/.venv
	@$(PY) -m pip install -q --disable-pip-version-check gcovr
	@touch $@

# Lines and branches over src/ after the whole suite, forked children counted.
coverage: $(VENV)/.coverage-tools
	@scripts/coverage/run $(PY)

FUZZ_CALLS ?= 1000000
FUZZ_SEED ?= $(shell date +%s)
fuzz: $(VENV)/.built
	@$(PY) tests/fuzz.py --calls $(FUZZ_CALLS) --seed $(FUZZ_SEED) --workers 2

# MUTANTS random one-token faults in the kernels, each rebuilt into the trees
# that `make test` builds and run against the fast tests; a developer's tool.
# MUTANTS_FILES: draw from these kernel sources only.
MUTANTS ?= 40
MUTANTS_SEED ?= $(shell date +%s)
mutants: $(VENV)/.built build/native/Makefile
	@$(PY) scripts/mutants -n $(MUTANTS) --seed $(MUTANTS_SEED) $(MUTANTS_FILES)

$(VENV)/.demo: $(VENV)/.venv requirements-demo.txt
	@$(PY) -m pip install -q --disable-pip-version-check -r requirements-demo.txt
	@touch $@

demo: $(VENV)/.built $(VENV)/.demo
	@$(PY) examples/main.py

$(VENV)/.bench: $(VENV)/.venv requirements-bench.txt
	@$(PY) -m pip install -q --disable-pip-version-check -r requirements-bench.txt
	@touch $@

bench: $(VENV)/.built $(VENV)/.bench
	@cmake -S . -B build/bench -DQV_BENCH=ON -DQV_PYTHON_MODULE=OFF -DCMAKE_BUILD_TYPE=Release $(WERROR) >/dev/null
	@cmake --build build/bench -j2 --target qv_bench >/dev/null
	@QV_BENCH_LIB=build/bench/libqv_bench.so env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE $(PY) bench/run.py

$(VENV)/.docs: $(VENV)/.venv requirements-docs.txt
	@$(PY) -m pip install -q --disable-pip-version-check -r requirements-docs.txt
	@touch $@

# The site: pages from docs/, the reference from the stub file. Warnings are errors.
docs: $(VENV)/.docs
	@$(VENV)/bin/sphinx-build -E -W --keep-going -q -b html docs docs/_build/html

clean:
	rm -rf --one-file-system build $(VENV)
