"""Eight Python threads share hash maps, tensors and arrays for a few seconds.

Every result is checked; the maps end with exactly the contents that the log
of successful operations gives; arrays updated from several threads end as
the successful steps, replayed one after the other, leave them. The only
refusals allowed are borrow refusals of calls that really conflict (a writer
of a shared array or tensor, or a map whose key conversion runs Python code).

Run as a script (in a subprocess of the test, so that a crash or a hang fails
the test): QV_STRESS_SECONDS sets the duration.
"""
import json
import os
import subprocess
import sys
import threading
import time

import numpy as np

THREADS = 8
N = 20_000
KEYS = 4000
LR, MOMENTUM = 0.01, 0.9


class Slow:
    """A key whose conversion lets other threads run while a map is borrowed."""

    def __init__(self, v):
        self.v = v

    def __index__(self):
        time.sleep(0)
        return self.v


class World:
    def __init__(self, q):
        rng = np.random.default_rng(7)
        self.q = q
        self.maps = [q.VaneHashMap(), q.VaneHashMap()]
        self.w = rng.standard_normal(N)
        self.w2 = rng.standard_normal(N)
        self.relu_w = np.where(self.w > 0, self.w, 0.0)
        self.mse = q.mse_loss(self.w, self.w2)
        self.g = rng.standard_normal(N)
        self.p, self.vel = rng.standard_normal(N), np.zeros(N)
        self.p0 = self.p.copy()
        self.sgd_steps = 0
        self.lock = threading.Lock()  # guards the counters, never a module call
        self.tensors = hasattr(q, "Tensor")
        if self.tensors:
            self.t0 = rng.standard_normal((100, 100))
            self.t = q.Tensor(self.t0)
            self.view = self.t.reshape([N // 2])  # shares t's buffer until t is written
            self.t_states = [self.t0 + self.t0, np.where(self.t0 < 0, 0.0, self.t0) * 2]


def is_refusal(e):
    return isinstance(e, RuntimeError) and str(e) in ("Already borrowed", "Already mutably borrowed")


def worker(world, i, stop, out):
    q, rng = world.q, np.random.default_rng(100 + i)
    models = [{}, {}]
    mine = np.arange(i, KEYS, THREADS)
    params, m, v = rng.standard_normal(N), np.zeros(N), np.zeros(N)
    start_params, adam_steps = params.copy(), 0
    counts = {"ops": 0, "refused": 0}
    failures = out["failures"]
    alone = [False]  # the running operation touches nothing another thread writes

    def private():
        alone[0] = True

    def check(ok, what):
        if not ok:
            failures.append(f"thread {i}: {what}")

    def map_op():
        k = int(rng.choice(mine))
        which = int(rng.integers(2))
        mp, model = world.maps[which], models[which]
        key = Slow(k) if rng.random() < 0.2 else k
        op = rng.integers(5)
        if op == 0:
            val = int(rng.integers(-(2**63), 2**63 - 1))
            check(mp.insert(key, val) == model.get(k), "insert returned a value the log does not have")
            model[k] = val
        elif op == 1:
            check(mp.remove(key) == model.pop(k, None), "remove returned a value the log does not have")
        elif op == 2:
            check(mp.get(key) == model.get(k), "get disagrees with the log")
        elif op == 3:
            check(mp.contains(key) == (k in model), "contains disagrees with the log")
        else:
            keys = mp.keys()
            check(len(keys) == len(set(keys)), "a key listed twice")

    def array_op():
        op = rng.integers(6)
        if op == 0:
            check(np.array_equal(q.relu(world.w), world.relu_w), "relu of the shared array")
        elif op == 1:
            check(q.mse_loss(world.w, world.w2) == world.mse, "mse_loss of the shared arrays")
        elif op == 2:
            q.sgd_momentum_step(world.p, world.g, world.vel, LR, MOMENTUM)
            with world.lock:
                world.sgd_steps += 1
        elif op == 3:
            nonlocal adam_steps
            private()  # its own arrays; the shared gradients are only read
            q.adam_step(params, world.g, m, v, t=adam_steps + 1)
            adam_steps += 1
        elif op == 4:
            q.clip_grad_norm(world.w, np.inf)  # holds the shared array exclusively, writes nothing
        else:
            private()
            x = rng.standard_normal((10_000, 3))
            e = np.exp(x - x.max(axis=1, keepdims=True))
            check(np.allclose(q.softmax(x), e / e.sum(axis=1, keepdims=True), rtol=1e-12, atol=0), "softmax")

    def tensor_op():
        op = rng.integers(4)
        if op == 0:
            got = world.t.add(world.t).data.reshape(100, 100)
            check(any(np.array_equal(got, s) for s in world.t_states), "a torn tensor")
        elif op == 1 and i == 0:
            world.t.relu_inplace()
        elif op == 2:
            private()  # a tensor of its own that shares the written one's buffer
            check(np.array_equal(world.view.data, world.t0.ravel()), "a reshaped tensor changed")
        else:
            private()
            own = q.Tensor(rng.standard_normal((50, 4)))
            before = own.data.reshape(50, 4)
            bias = rng.standard_normal(4)
            own.add_bias_inplace(bias)
            check(np.array_equal(own.data.reshape(50, 4), bias + before), "add_bias_inplace")

    ops = [map_op, array_op] + ([tensor_op] if world.tensors else [])
    out["barrier"].wait()
    while not stop.is_set():
        counts["ops"] += 1
        alone[0] = False
        try:
            ops[int(rng.integers(len(ops)))]()
        except RuntimeError as e:
            if not is_refusal(e) or alone[0]:
                failures.append(f"thread {i}: {e!r}" + (" with nothing in conflict" if alone[0] else ""))
            counts["refused"] += 1
        except BaseException as e:  # noqa: B036 -- the internal failure is a BaseException
            failures.append(f"thread {i}: {type(e).__name__}: {e}")
    out["models"][i] = models
    replay_p, replay_m, replay_v = start_params.copy(), np.zeros(N), np.zeros(N)
    for t in range(1, adam_steps + 1):
        q.adam_step(replay_p, world.g, replay_m, replay_v, t=t)
    check(np.array_equal(replay_p, params) and np.array_equal(replay_v, v), "adam steps lost or torn")
    out["counts"][i] = counts


def main():
    import quorvane as q

    seconds = float(os.environ.get("QV_STRESS_SECONDS", "3"))
    world = World(q)
    stop = threading.Event()
    out = {"failures": [], "models": {}, "counts": {}, "barrier": threading.Barrier(THREADS)}
    threads = [threading.Thread(target=worker, args=(world, i, stop, out)) for i in range(THREADS)]
    for t in threads:
        t.start()
    time.sleep(seconds)
    stop.set()
    for t in threads:
        t.join(120)
        if t.is_alive():
            out["failures"].append("a thread did not finish (hang)")
    for which, mp in enumerate(world.maps):
        want = {}
        for models in out["models"].values():
            want.update(models[which])
        if dict(mp.items()) != want or len(mp) != len(want):
            out["failures"].append(f"map {which}: contents differ from the log")
    p, vel = world.p0.copy(), np.zeros(N)
    for _ in range(world.sgd_steps):
        q.sgd_momentum_step(p, world.g, vel, LR, MOMENTUM)
    if not (np.array_equal(p, world.p) and np.array_equal(vel, world.vel)):
        out["failures"].append(f"shared sgd arrays are not {world.sgd_steps} steps")
    print(json.dumps({"failures": out["failures"], "counts": out["counts"], "sgd_steps": world.sgd_steps}))


def test_threads_sharing_maps_tensors_and_arrays():
    seconds = float(os.environ.get("QV_STRESS_SECONDS", "3"))
    proc = subprocess.run([sys.executable, __file__], capture_output=True, text=True, timeout=seconds + 240)
    assert proc.returncode == 0, proc.stderr[-3000:]
    report = json.loads(proc.stdout.strip().splitlines()[-1])
    assert report["failures"] == []
    counts = report["counts"].values()
    assert len(counts) == THREADS and all(c["ops"] > 20 for c in counts)
    assert report["sgd_steps"] > 0


if __name__ == "__main__":
    main()
