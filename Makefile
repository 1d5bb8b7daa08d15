# make demo  - run the main example
# make test  - build and run every test (native and Python)
# make bench - run the side-by-side benchmarks
# make test-asan - every test again under AddressSanitizer and UBSan
# make wheel - the self-contained abi3 wheel, in dist/
# make fuzz  - a million random calls to every entry point (FUZZ_CALLS, FUZZ_SEED)
SHELL := /bin/bash
.SHELLFLAGS := -o pipefail -ec
VENV := .venv
PY := $(VENV)/bin/python
SOURCES := $(shell find src -type f) CMakeLists.txt pyproject.toml

.PHONY: all demo test check-includes test-native test-python test-asan test-wheel wheel fuzz bench deps clean

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
	@cmake -S . -B build/native -DQV_NATIVE_TESTS=ON -DQV_PYTHON_MODULE=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null

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

test: check-includes test-native test-python test-wheel

$(VENV)/.wheel-tools: $(VENV)/.venv requirements-wheel.txt
	@$(PY) -m pip install -q --disable-pip-version-check -r requirements-wheel.txt
	@touch $@

# The self-contained abi3 wheel, in dist/.
wheel: $(VENV)/.built $(VENV)/.wheel-tools
	@scripts/build-wheel $(PY)

# The wheel installed into a fresh venv of every CPython 3.12+ here.
test-wheel: wheel
	@scripts/test-wheel

# The whole suite again against a build with AddressSanitizer and UBSan.
test-asan: $(VENV)/.venv
	@scripts/test-asan $(PY)

FUZZ_CALLS ?= 1000000
FUZZ_SEED ?= $(shell date +%s)
fuzz: $(VENV)/.built
	@$(PY) tests/fuzz.py --calls $(FUZZ_CALLS) --seed $(FUZZ_SEED) --workers 2

$(VENV)/.demo: $(VENV)/.venv requirements-demo.txt
	@$(PY) -m pip install -q --disable-pip-version-check -r requirements-demo.txt
	@touch $@

demo: $(VENV)/.built $(VENV)/.demo
	@$(PY) examples/main.py

$(VENV)/.bench: $(VENV)/.venv requirements-bench.txt
	@$(PY) -m pip install -q --disable-pip-version-check -r requirements-bench.txt
	@touch $@

bench: $(VENV)/.built $(VENV)/.bench
	@cmake -S . -B build/bench -DQV_BENCH=ON -DQV_PYTHON_MODULE=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build/bench -j2 --target qv_bench >/dev/null
	@QV_BENCH_LIB=build/bench/libqv_bench.so env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE $(PY) bench/run.py

clean:
	rm -rf build $(VENV)
