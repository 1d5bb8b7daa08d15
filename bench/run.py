"""Run every bench_*.py in this folder (or those named on the command line)."""
import importlib
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import harness  # noqa: E402


def main(argv):
    names = argv or sorted(p.stem for p in HERE.glob("bench_*.py"))
    for name in names:
        module = importlib.import_module(name if name.startswith("bench_") else f"bench_{name}")
        module.run()
    below = [r for r in harness.ROWS if r[6] == "BELOW"]
    print(f"\n{len(harness.ROWS)} rows, {len(below)} below target")


if __name__ == "__main__":
    main(sys.argv[1:])
