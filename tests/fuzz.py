"""Fuzz every entry point of quorvane with arguments of random types and values.

    python tests/fuzz.py [--calls N] [--seed S] [--workers W]

Hypothesis draws the calls: an entry point of the call table, then for each
parameter a valid value of its kind, a value of the wrong type, or an object
whose conversion runs Python code (raising, calling back into the module or
into the same instance). Every call must end in a result or an exception the
entry point documents, leave read-only inputs unchanged and, when it fails,
leave writable arrays unchanged; never the internal failure, a crash or a
hang.

The calls run in worker subprocesses, so a crash or a hang is reported with
the call that caused it (the run goes on with the next seed). Prints what it
found; the exit status is 1 when it found anything.
"""
import argparse
import gc
import json
import math
import mmap
import os
import re
import subprocess
import sys
import tempfile
from pathlib import Path

import numpy as np

import call_table as ct
import quorvane as q

CALLS_PER_EXAMPLE = 8
# Hypothesis keeps a record of every example of a run: runs stay short.
EXAMPLES_PER_RUN = 500
LAST_CALL_SIZE = 4096
FOUND = 3  # a worker's exit status when it found something (a hang's watchdog exits with 1)


# --- what a worker reports ------------------------------------------------------

def run(calls, seed, workers=1, timeout=None, env=None):
    """Fuzz `calls` calls in worker processes; returns the findings (dicts)."""
    per = -(-calls // workers)
    procs = []
    for w in range(workers):
        last = tempfile.NamedTemporaryFile(prefix="qv-fuzz-", delete=False)
        last.write(b"\0" * LAST_CALL_SIZE)
        last.close()
        cmd = [sys.executable, str(Path(__file__)), "--worker", "--calls", str(per), "--seed", str(seed + 7919 * w),
               "--last", last.name]
        procs.append((subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env),
                      last.name, seed + 7919 * w))
    findings = []
    for proc, last, wseed in procs:
        try:
            out, err = proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            out, err = proc.communicate()
            err += "\n(killed: the worker ran out of time)"
        for line in out.splitlines():
            if line.startswith("{"):
                findings.append(json.loads(line))
        if proc.returncode not in (0, FOUND):
            call = Path(last).read_bytes().rstrip(b"\0").decode(errors="replace")
            findings.append({"entry": call.split("(")[0], "reason": f"worker ended with status {proc.returncode}",
                             "call": call, "count": 1, "detail": err[-3000:], "seed": wseed})
        os.unlink(last)
    return findings


def report(findings):
    if not findings:
        print("no findings")
        return
    for f in findings:
        print(f"{f['entry']}: {f['reason']} (x{f['count']})\n    call: {f['call']}")
        if f.get("detail"):
            print("    " + f["detail"].strip().replace("\n", "\n    "))


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--calls", type=int, default=1_000_000)
    ap.add_argument("--seed", type=int, default=0)
    ap.add_argument("--workers", type=int, default=2)
    ap.add_argument("--worker", action="store_true", help=argparse.SUPPRESS)
    ap.add_argument("--last", help=argparse.SUPPRESS)
    a = ap.parse_args(argv)
    if a.worker:
        return worker(a.calls, a.seed, a.last)
    findings = run(a.calls, a.seed, a.workers)
    report(findings)
    print(f"{a.calls} calls, seed {a.seed}")
    return 1 if findings else 0


# --- the worker --------------------------------------------------------------------

def worker(calls, seed, last_path):
    import faulthandler
    import resource

    if "asan" not in os.environ.get("LD_PRELOAD", ""):
        # Allocations the machine could satisfy slowly fail at once instead.
        resource.setrlimit(resource.RLIMIT_AS, (8 << 30, 8 << 30))
    np.seterr(all="ignore")
    fz = Fuzzer(last_path)
    done = 0
    run_seed = seed
    while done < calls:
        examples = min(EXAMPLES_PER_RUN, -(-(calls - done) // CALLS_PER_EXAMPLE))
        faulthandler.dump_traceback_later(300, exit=True)
        fz.hypothesis_run(examples, run_seed)
        faulthandler.cancel_dump_traceback_later()
        done += examples * CALLS_PER_EXAMPLE
        run_seed += 1
    for f in fz.findings.values():
        print(json.dumps(f))
    return FOUND if fz.findings else 0


def fib(n):
    a, b = 0, 1
    for _ in range(n):
        a, b = b, a + b
    return a


class Boom(Exception):
    """Raised by the fuzzer's own conversion callbacks."""


class Hooked:
    """A number whose conversion runs a callback first."""

    def __init__(self, value, hook):
        self.value, self.hook = value, hook

    def __index__(self):
        self.hook()
        if isinstance(self.value, float):
            raise Boom("not an integer")
        return int(self.value)

    def __float__(self):
        self.hook()
        return float(self.value)

    def __repr__(self):
        return f"Hooked({self.value!r}, {self.hook.__name__})"


class HookedSeq:
    """A sequence whose length and items run a callback; `length` may lie."""

    def __init__(self, items, hook, length=None, at=0):
        self.items, self.hook, self.length, self.at = items, hook, length, at

    def __len__(self):
        if self.length == "boom":
            raise Boom("len")
        return len(self.items) if self.length is None else self.length

    def __getitem__(self, i):
        if i == self.at:
            self.hook()
        return self.items[i]

    def __repr__(self):
        return f"HookedSeq(len {len(self.items)}, claims {self.length}, {self.hook.__name__} at {self.at})"


class Sub(np.ndarray):
    """An ndarray subclass."""


def short(v):
    """A short description of an argument, for reports."""
    if isinstance(v, np.ndarray):
        flags = "" if v.flags.writeable else " ro"
        return f"{type(v).__name__}{v.shape}{v.dtype}{v.strides}{flags}"
    if isinstance(v, (list, tuple)):
        return f"{type(v).__name__}[{len(v)}]{[short(x) for x in v[:3]]}"
    if isinstance(v, str):
        return repr(v[:24]) + ("..." if len(v) > 24 else "")
    return repr(v)[:60]


class Fuzzer:
    def __init__(self, last_path):
        self.entries = [e for e in ct.ENTRIES if ct.available(e)]
        self.findings = {}
        self.last = None
        if last_path:
            fd = os.open(last_path, os.O_RDWR)
            self.last = mmap.mmap(fd, LAST_CALL_SIZE)
            os.close(fd)
        self.all_errors = [(t, rx) for e in ct.ENTRIES for t, rx in e.errors] + list(ct.ARRAY_ERRORS)

    # Hypothesis drives the choices; numpy fills the bulk values.
    def hypothesis_run(self, examples, seed):
        from hypothesis import HealthCheck, Phase, given, settings, seed as hseed, strategies as st

        @hseed(seed)
        @settings(max_examples=examples, database=None, deadline=None, phases=[Phase.generate],
                  suppress_health_check=list(HealthCheck))
        @given(st.data())
        def batch(data):
            self.batch(data)

        batch()

    def batch(self, data):
        from hypothesis import strategies as st

        self.st = st
        self.data = data
        self.rng = np.random.default_rng(data.draw(st.integers(0, 2**32 - 1)))
        self.map = q.VaneHashMap()
        self.model = {}
        for _ in range(CALLS_PER_EXAMPLE):
            self.one_call(data.draw(st.sampled_from(self.entries)))
        if sorted(self.map.items()) != sorted(self.model.items()):
            self.found("VaneHashMap", "contents differ from the log of successful operations", "")

    def found(self, entry, reason, call, detail=""):
        key = (entry, reason)
        if key in self.findings:
            self.findings[key]["count"] += 1
        else:
            self.findings[key] = {"entry": entry, "reason": reason, "call": call, "count": 1, "detail": detail}

    # --- drawing ----------------------------------------------------------------

    def draw(self, strategy):
        return self.data.draw(strategy)

    def pick(self, options):
        return options[int(self.rng.integers(len(options)))]

    def chance(self, p):
        return self.rng.random() < p

    def one_call(self, entry):
        self.entry = entry
        self.hooked = False
        self.raised = []
        self.arrays = []
        self.tame = self.chance(0.3)  # every argument valid and plain
        r = self.rng.random()
        self.n = int(self.rng.integers(0, 13)) if r < 0.96 else int(self.rng.integers(10_000, 12_000))
        if entry.name == "parallel_sort" and self.chance(0.1):
            self.n = int(self.rng.integers(50_000, 60_000))
        self.rows, self.cols = int(self.rng.integers(0, 5)), int(self.rng.integers(0, 5))
        if r > 0.99:
            self.rows = int(self.rng.integers(10_000, 10_100))
        self.instance, self.base = self.make_instance(entry)
        args, kwargs = [], {}
        positional = True
        for p in entry.params:
            if p.default is not ct.REQUIRED and self.chance(0.3):
                positional = False
                continue
            v = self.value(p)
            if positional and self.chance(0.8):
                args.append(v)
            else:
                positional = False
                kwargs[p.name] = v
        if self.chance(0.03):
            args.append(self.wild())
        if self.chance(0.03):
            kwargs[self.pick(["bogus", entry.params[0].name if entry.params else "x"])] = 1
        self.execute(entry, args, kwargs)

    def make_instance(self, entry):
        if entry.how not in ("method", "property", "len"):
            return None, None
        if self.chance(0.03):
            return self.wild(), None
        if entry.owner == "VaneHashMap":
            return self.map, None
        shape = self.shape()
        t = q.Tensor(self.floats(int(np.prod(shape))).reshape(shape))
        if self.chance(0.02):
            t = t.reshape(list(shape) + [1] * 3000)  # deeper than the interpreter's recursion limit
        if self.chance(0.2):
            base = t
            return base.reshape(shape), base  # shares base's buffer
        return t, None

    def shape(self):
        if self.chance(0.6):
            return (self.rows, self.cols)
        return tuple(int(d) for d in self.rng.integers(0, 4, self.rng.integers(0, 4)))

    # values of each kind

    def value(self, p):
        r = 1.0 if self.tame else self.rng.random()
        if r < 0.04:
            return self.wild()
        if r < 0.08:
            return self.hooked_value(p)
        return getattr(self, "v_" + p.kind)(p)

    def wild(self):
        return self.pick([
            None, "text", b"bytes", 1.5, -1, 2**64, 2**200, -(2**200), math.nan, [], [[]], [1, "a"], object(), {},
            {1, 2}, 1j, (1.0, 2.0), range(5), np.zeros(3, np.float32), np.zeros((2, 2, 2)), np.array(1.0),
            np.float64(2.5), np.int64(3), np.zeros(2, complex), np.array([1, None], dtype=object), self.map,
            Hooked(3, self.hook_boom), [[1.0, 2.0], "ab"],
        ])

    def hooked_value(self, p):
        hook = self.make_hook()
        if p.kind.endswith("list") or p.kind == "matrix":
            if p.kind == "matrix":
                items = [self.v_float64_list(p) for _ in range(self.rows)]
            else:
                items = list(self.v_int64_list(p) if p.kind != "float64_list" else self.v_float64_list(p))
            length = self.pick([None, None, 10**9, 10**15, "boom", -1, 0])
            return HookedSeq(items, hook, length, int(self.rng.integers(0, 3)))
        base = self.draw(self.st.integers(-3, 40)) if p.kind != "float" else self.draw(self.st.floats())
        return Hooked(base, hook)

    def ints(self, lo=-(2**63), hi=2**63 - 1):
        st = self.st
        return self.draw(st.one_of(st.integers(-4, 40), st.integers(lo, hi),
                                   st.sampled_from([0, 1, -1, 2**31 - 1, -(2**31), 2**31, 2**32, 2**53 + 1, 2**63 - 1,
                                                    -(2**63), 2**63, 2**64 - 1, 2**64, -(2**63) - 1, 10**30])))

    def v_int64(self, p):
        v = self.ints()
        return self.pick([v, v, v, bool(v & 1), np.int64(v) if -(2**63) <= v < 2**63 else v])

    def v_uint64(self, p):
        if p.scale == "loop":
            return int(self.rng.integers(0, 12))
        if p.scale == "alloc":
            return self.pick([int(self.rng.integers(0, 200)), self.draw(self.st.integers(2**41, 2**64 - 1)),
                              2**64 - 1, -1])
        v = self.ints(0, 2**64 - 1)
        return np.uint64(v) if 0 <= v < 2**64 and self.chance(0.1) else v

    v_size = v_uint64

    def v_int32(self, p):
        return self.pick([self.ints(-(2**31), 2**31 - 1), self.ints(), 1, 0, -1])

    def v_float(self, p):
        st = self.st
        return self.draw(st.one_of(st.floats(0, 1, exclude_max=True), st.floats(), st.integers(-5, 5), st.booleans(),
                                   st.floats(allow_nan=False).map(np.float64),
                                   st.sampled_from([math.nan, math.inf, -math.inf, 0.0, -0.0, 0.5, 1.0, 1e-300]),
                                   st.integers().map(lambda i: i * 10**300)))

    def v_flag(self, p):
        return self.pick([True, False, np.True_, np.False_, 1, 0, None])

    def v_seed(self, p):
        return self.pick([None, None, self.ints(0, 2**64 - 1), -1, 2**64])

    def v_str(self, p):
        st = self.st
        return self.draw(st.one_of(st.text(max_size=30), st.text("ab\u00e9", max_size=200),
                                   st.sampled_from(["\ud800", "a\udfffb", "", "kitten"])))

    def floats(self, n, style=None):
        rng = self.rng
        style = style or self.pick(["normal", "special", "probs", "ints"])
        if style == "normal":
            return rng.standard_normal(n) * 10.0 ** int(rng.integers(-3, 4))
        if style == "special":
            return rng.choice(np.array([0.0, -0.0, 1.0, -1.0, math.nan, math.inf, -math.inf, 5e-324, 1e308, -1e308,
                                        1e-15, 0.5, 1000.0, -1000.0]), n)
        if style == "probs":
            return rng.random(n)
        return rng.integers(-3, 4, n).astype(float)

    def container(self, values, kind):
        """values (a NumPy array) as the sequence type a list parameter is given."""
        how = "list" if self.tame or self.chance(0.5) else self.pick(["tuple", "array", "range", "gen", "str", "elems"])
        if how == "list":
            return values.tolist()
        if how == "tuple":
            return tuple(values.tolist())
        if how == "array":
            return values if self.chance(0.7) else values[::-1]
        if how == "range" and kind == "int":
            return range(int(self.rng.integers(-5, 5)), len(values))
        if how == "gen":
            return (v for v in values.tolist())  # not a sequence
        if how == "str":
            return "123"
        lst = values.tolist()
        if lst:
            i = int(self.rng.integers(len(lst)))
            lst[i] = self.pick([2**63, -(2**63) - 1, 1.5, "x", None, True, np.int64(4), np.float64(0.5), 2**64,
                                Hooked(5, self.make_hook())])
        return lst

    def v_int64_list(self, p):
        rng = self.rng
        lo, hi = self.pick([(-5, 5), (-(2**63), 2**63 - 1), (0, 1000)])
        vals = rng.integers(lo, hi, self.n, dtype=np.int64, endpoint=True)
        return self.container(vals, "int")

    def v_float64_list(self, p):
        return self.container(self.floats(self.n), "float")

    def v_size_list(self, p):
        if p.scale == "alloc" and self.chance(0.2):
            return self.pick([[2**41], [2**40, 2**30], [2**32, 2**32], [2**64 - 1, 2], [0, 2**62], [3, -1],
                              [2**64], [1.5], "12"])
        if isinstance(self.instance, getattr(q, "Tensor", ())) and self.chance(0.5):
            shape = list(self.instance.shape)
            self.rng.shuffle(shape)
            return shape if self.chance(0.7) else shape + [1]
        return list(self.shape())

    def v_matrix(self, p):
        rows = self.rows if self.chance(0.8) else int(self.rng.integers(0, 6))
        m = self.floats(rows * self.cols).reshape(rows, self.cols)
        if p.name == "matrix" and self.chance(0.6):
            rows = min(rows, 6)
            m = self.floats(rows * rows).reshape(rows, rows)
        how = self.pick(["lists", "lists", "lists", "array", "tuples", "ragged", "elems"])
        if how == "array":
            return m
        out = m.tolist()
        if how == "tuples":
            return tuple(tuple(r) for r in out)
        if how == "ragged" and out:
            i = int(self.rng.integers(len(out)))
            out[i] = out[i][: max(0, len(out[i]) - 1)] if self.chance(0.5) else out[i] + [1.0]
        if how == "elems" and out:
            out[int(self.rng.integers(len(out)))] = self.pick(["ab", 3.0, None, [1, "x"], np.ones(2, np.float32)])
        return out

    def layout(self, values, dims=1):
        """A float64 (or int64) array of these values in a random memory layout."""
        n = values.size
        how = "c" if self.tame or self.chance(0.7) else self.pick(["strided", "reversed", "readonly", "misaligned", "record",
                                                      "broadcast", "subclass", "fortran"])
        if how == "strided":
            buf = np.zeros(values.shape + (2,), values.dtype)
            buf[..., 0] = values
            return buf[..., 0]
        if how == "reversed" and values.ndim:
            return np.ascontiguousarray(np.flip(values))[(slice(None, None, -1),) * values.ndim]
        if how == "readonly":
            a = values.copy()
            a.flags.writeable = False
            return a
        if how == "misaligned":
            raw = np.zeros(values.nbytes + 1, np.uint8)
            a = raw[1:].view(values.dtype).reshape(values.shape)
            a[...] = values
            return a
        if how == "record" and values.ndim >= 1:
            rec = np.zeros(values.shape, dtype=[("a", "i1"), ("b", values.dtype)])
            rec["b"] = values
            return rec["b"]
        if how == "broadcast" and n:
            return np.broadcast_to(values.ravel()[:1].reshape((1,) * values.ndim), values.shape)
        if how == "subclass":
            return values.view(Sub)
        if how == "fortran":
            return np.asfortranarray(values)
        return values

    def array(self, values, dims):
        if self.arrays and not self.tame and self.chance(0.08):
            a = self.pick(self.arrays)  # the same memory for two parameters
            if a.ndim == dims or dims == 0:
                return a if self.chance(0.6) or a.size < 2 else a[::-1]
        if not self.tame and self.chance(0.04):
            values = values.astype(self.pick([np.float32, np.int64, np.complex128, np.float16]))
        a = self.layout(values, dims)
        self.arrays.append(a)
        return a

    def v_array1(self, p):
        return self.array(self.floats(self.n), 1)

    def v_array_mut(self, p):
        return self.array(self.floats(self.n), 1)

    def v_array2(self, p):
        return self.array(self.floats(self.rows * self.cols).reshape(self.rows, self.cols), 2)

    def v_array_any(self, p):
        if self.entry.name == "Tensor.add_bias_inplace" and self.chance(0.6):
            shape = self.pick([(self.cols,), (1, self.cols), (self.cols, 1)])
        else:
            shape = self.shape()
        return self.array(self.floats(int(np.prod(shape))).reshape(shape), 0)

    def v_index_array(self, p):
        n = self.rows if self.entry.name == "softmax_cross_entropy" and self.chance(0.8) else self.n
        hi = max(self.cols, 1) + 1
        return self.array(self.rng.integers(-1 if self.chance(0.1) else 0, hi, n).astype(np.int64), 1)

    def v_tensor(self, p):
        if self.instance is not None and self.chance(0.15):
            return self.instance
        shape = self.pick([self.instance.shape if hasattr(self.instance, "shape") else (2, 2),
                           (self.cols, self.rows), self.shape()])
        if len(shape) > 32:  # beyond NumPy's ranks: a tensor of the same shape another way
            return self.instance.mul_scalar(2.0)
        return q.Tensor(self.floats(int(np.prod(shape))).reshape(shape))

    # --- callbacks run during conversion -------------------------------------------

    def make_hook(self):
        kind = self.pick(["boom", "module", "instance", "array", "gc", "instance", "array"])
        propagate = self.chance(0.5)

        def hook():
            self.hooked = True
            if kind == "boom":
                e = Boom("boom")
                self.raised.append(e)
                raise e
            try:
                getattr(self, "hook_" + kind)()
            except Exception as e:
                self.check_inner(e)
                if propagate:
                    self.raised.append(e)
                    raise

        hook.__name__ = kind + ("!" if propagate else "")
        return hook

    def hook_boom(self):
        self.hooked = True
        e = Boom("boom")
        self.raised.append(e)
        raise e

    def hook_gc(self):
        gc.collect()

    def hook_module(self):
        assert q.gcd(12, 18) == 6
        assert q.quicksort([3, 1, 2]) == [1, 2, 3]
        q.relu(np.ones(3))

    def hook_instance(self):
        inst = self.instance
        if isinstance(inst, q.VaneHashMap):
            op = self.pick(["insert", "get", "remove", "len", "items"])
            if op == "insert":
                old = inst.insert(77, 1)
                if inst is self.map:
                    self.model[77] = 1
            elif op == "remove":
                inst.remove(77)
                if inst is self.map:
                    self.model.pop(77, None)
            else:
                {"get": lambda: inst.get(77), "len": lambda: len(inst), "items": inst.items}[op]()
        elif hasattr(q, "Tensor") and isinstance(inst, q.Tensor):
            op = self.pick(["relu_inplace", "to_list", "add", "mul_scalar", "data", "add_bias_inplace"])
            if op == "add":
                inst.add(inst)
            elif op == "mul_scalar":
                inst.mul_scalar(2.0)
            elif op == "data":
                inst.data
            elif op == "add_bias_inplace":
                inst.add_bias_inplace(np.zeros(inst.shape[1] if len(inst.shape) == 2 else 1))
            else:
                getattr(inst, op)()

    def hook_array(self):
        if not self.arrays:
            return
        a = self.pick(self.arrays)
        op = self.pick(["relu", "clip", "write"])
        if op == "relu":
            q.relu(a)
        elif op == "clip":
            q.clip_grad_norm(a, math.inf)  # borrows `a` exclusively, changes nothing
        elif a.flags.writeable:
            a[...] = a  # the same values, written while a call holds the array

    def check_inner(self, e):
        """An exception of a call made by a callback: a borrow refusal or a
        documented error, never anything else."""
        if isinstance(e, (TypeError, Boom)) or self.documented(e, self.all_errors + list(ct.BORROW_ERRORS)):
            return
        if isinstance(e, ValueError) and "read-only" in str(e):  # NumPy's own, from a write
            return
        self.found("(callback)", f"{type(e).__name__}: {str(e)[:80]}", self.describe(self.entry, [], {}))

    @staticmethod
    def documented(e, errors):
        return any(type(e) is t and re.search(rx, str(e)) for t, rx in errors)

    # --- running and judging a call -------------------------------------------------

    def describe(self, entry, args, kwargs):
        parts = [short(a) for a in args] + [f"{k}={short(v)}" for k, v in kwargs.items()]
        on = f" on {short(self.instance)}" if self.instance is not None else ""
        return f"{entry.name}({', '.join(parts)}){on}"

    def execute(self, entry, args, kwargs):
        desc = None
        if self.last is not None:
            desc = self.describe(entry, args, kwargs)
            self.last.seek(0)
            self.last.write(desc.encode(errors="replace")[: LAST_CALL_SIZE - 1].ljust(LAST_CALL_SIZE - 1, b"\0"))
        given = list(args) + list(kwargs.values())
        writable = {p.name for p in entry.params if p.kind == "array_mut"}
        bound = dict(zip([p.name for p in entry.params], args)) | kwargs
        snaps = []
        for name, v in bound.items():
            if isinstance(v, np.ndarray):
                snaps.append((name, v, v.copy()))
            elif isinstance(v, list):
                snaps.append((name, v, list(v)))
        base_before = self.base.data.copy() if self.base is not None else None
        try:
            result = ct.invoke(entry, self.instance, args, kwargs)
        except BaseException as e:  # noqa: B036 -- the internal failure is a BaseException
            reason = self.judge(entry, e, given)
            if reason:
                self.found(entry.name, reason, desc or self.describe(entry, args, kwargs), f"{type(e).__name__}: {e}"[:300])
            failed = True
        else:
            failed = False
            reason = self.check_result(entry, bound, result)
            if reason:
                self.found(entry.name, reason, desc or self.describe(entry, args, kwargs))
            self.log_map(entry, bound, result)
        if self.hooked:
            return  # callbacks may have written the arrays themselves
        for name, v, before in snaps:
            if isinstance(v, list):
                same = len(v) == len(before) and all(a is b for a, b in zip(v, before))
            elif name in writable and not failed:
                continue
            else:
                same = np.array_equal(v, before, equal_nan=True) if v.dtype.kind in "fc" else np.array_equal(v, before)
            if not same:
                self.found(entry.name, f"argument '{name}' changed" + (" by a failed call" if failed else ""),
                           desc or self.describe(entry, args, kwargs))
        if base_before is not None and not np.array_equal(self.base.data, base_before, equal_nan=True):
            self.found(entry.name, "a tensor sharing the buffer changed", desc or self.describe(entry, args, kwargs))

    def judge(self, entry, e, given):
        """None when e is what this call may raise, else the reason it is not."""
        if type(e).__name__ == "InternalFailure":
            return "internal failure"
        if not isinstance(e, Exception):
            return f"{type(e).__name__} (a BaseException)"
        if any(e is r for r in self.raised):
            return None
        msg = str(e)
        if type(e) is TypeError:
            names = {p.name for p in entry.params}
            m = re.match(r"argument '(\w+)': ", msg)
            if (m and m.group(1) in names) or msg.startswith((entry.label + " ", "descriptor '")):
                return None
            return "TypeError that names no argument of this call"
        if type(e) is OverflowError:
            return None
        if type(e) is MemoryError:
            return None if entry.grows else "MemoryError"
        if isinstance(e, UnicodeEncodeError) and any(p.kind == "str" for p in entry.params):
            return None
        errors = list(entry.errors) + list(ct.ARRAY_ERRORS)
        if self.hooked:
            errors += list(ct.BORROW_ERRORS)
        if self.documented(e, errors):
            return None
        return f"undocumented {type(e).__name__}: {msg[:80]}"

    def check_result(self, entry, bound, result):
        arr = bound.get("arr")
        plain = isinstance(arr, (list, tuple, range)) and all(type(v) in (int, float) for v in arr)
        if entry.name in ("quicksort", "mergesort", "parallel_sort") and plain:
            if result != sorted(int(v) for v in arr):
                return "not sorted"
        if entry.name == "quicksort_f64" and plain and not any(math.isnan(v) for v in arr):
            if result != sorted(float(v) for v in arr):
                return "not sorted"
        if entry.name == "dedup" and plain and result != list(dict.fromkeys(int(v) for v in arr)):
            return "wrong de-duplication"
        if entry.name in ("kth_smallest", "top_k") and plain and type(bound["k"]) is int:
            k, s = bound["k"], sorted(int(v) for v in arr)
            want = s[k - 1] if entry.name == "kth_smallest" else s[::-1][:k]
            if result != want:
                return "wrong selection"
        if entry.name == "binary_search" and plain and result is not None and int(arr[result]) != bound["target"] \
                and type(bound["target"]) is int:
            return "index of another value"
        exact = {
            "gcd": lambda a, b: math.gcd(a, b), "lcm": lambda a, b: math.lcm(a, b),
            "mod_pow": lambda base, exp, modulus: pow(base, exp, modulus),
            "fibonacci": lambda n: fib(n) if n < 2000 else None,
            "is_prime": lambda n: n > 1 and all(n % d for d in range(2, math.isqrt(n) + 1)) if n < 10**6 else None,
        }.get(entry.name)
        # (-2**63 has no absolute value in 64 bits: gcd and lcm keep their own rule for it)
        if exact and all(type(v) is int and v > -(2**63) for v in bound.values()):
            want = exact(**bound)
            if entry.name == "lcm":  # wrapped to 64 bits, then its absolute value
                want = (want + 2**63) % 2**64 - 2**63
                want = abs(want) if want != -(2**63) else want
            elif entry.name == "fibonacci" and want is not None:
                want %= 2**64
            if want is not None and result != want:
                return f"{result!r}, not {want!r}"
        if isinstance(result, np.ndarray) and not (result.dtype == np.float64 and result.flags.c_contiguous
                                                    and result.flags.writeable):
            return "array result is not a writeable C-contiguous float64 array"
        return None

    def log_map(self, entry, bound, result):
        if self.instance is not self.map or entry.name not in ("VaneHashMap.insert", "VaneHashMap.remove"):
            return
        key = int(getattr(bound["key"], "value", bound["key"]))
        if entry.name.endswith("insert"):
            if result != self.model.get(key):
                self.found(entry.name, "returned a value the log does not have", "")
            self.model[key] = int(getattr(bound["value"], "value", bound["value"]))
        else:
            if result != self.model.pop(key, None):
                self.found(entry.name, "returned a value the log does not have", "")


if __name__ == "__main__":
    sys.exit(main())
