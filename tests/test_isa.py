# Every level the processor has, chosen with QUORVANE_ISA, gives the same
# bytes for everything but the matrix product, NaNs included, and every NaN
# a computation returns is the canonical one.
import json
import os
import pathlib
import subprocess
import sys

import pytest

BATTERY = pathlib.Path(__file__).with_name("isa_battery.py")
LEVEL_FLAGS = {"avx2": {"avx2", "fma", "bmi2"}, "avx512": {"avx512f", "avx512bw", "avx512cd", "avx512dq", "avx512vl"}}


def machine_levels():
    flags = set()
    for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("flags"):
            flags = set(line.split(":", 1)[1].split())
            break
    levels = ["baseline"]
    for level in ("avx2", "avx512"):
        if LEVEL_FLAGS[level] <= flags:
            levels.append(level)
    return levels


LEVELS = machine_levels()


@pytest.fixture(scope="module")
def battery():
    def run(level):
        env = {**os.environ, "QUORVANE_ISA": level, "RAYON_NUM_THREADS": "2"}
        out = subprocess.run([sys.executable, str(BATTERY)], capture_output=True, text=True, env=env, timeout=600)
        assert out.returncode == 0, out.stderr
        return json.loads(out.stdout)

    return {level: run(level) for level in LEVELS}


def test_every_level_gives_the_same_bits(battery):
    print("levels run:", ", ".join(LEVELS))
    base = battery["baseline"]["digests"]
    for level in LEVELS[1:]:
        digests = battery[level]["digests"]
        differ = [name for name in base if name != "Tensor.matmul" and digests[name] != base[name]]
        assert not differ, f"{level} differs from baseline in {differ}"


@pytest.mark.parametrize("level", LEVELS)
def test_nan_results_are_the_canonical_nan(battery, level):
    assert not battery[level]["foreign_nans"], f"NaNs other than 0x7ff8000000000000 at {level}"


@pytest.mark.skipif(len(LEVELS) < 2, reason="this processor has the baseline level only")
def test_the_level_switch_takes_effect(battery):
    # The matrix product's bits show which build ran: it fuses multiply-add
    # from x86-64-v3 on, and AVX-512 tiles it differently.
    products = {battery[level]["digests"]["Tensor.matmul"] for level in LEVELS}
    assert len(products) == len(LEVELS)
