"""Side-by-side timing: quorvane against the peer a user would pick.

Each workload is timed interleaved with its peer in one process (ours, peer,
ours, peer, ...); the row reports both medians and the ratio peer / ours
(above 1: quorvane is faster) against the target ratio.

A peer that runs on BLAS or OpenMP threads leaves them spinning for up to a
tenth of a second after it returns, on the cores our next round needs. For
such rows, compare(..., settle=True) pauses after each of the peer's rounds,
so that each side is timed on a machine the other has left (and calls ours
once, untimed, to wake the cores after the pause).
"""
import gc
import os
import platform
import statistics
import time

ROWS = []
SUBSYSTEM = ["-"]  # the subsystem of the rows being added (set by run.py)


def _time(fn, number):
    t0 = time.perf_counter()
    for _ in range(number):
        fn()
    return (time.perf_counter() - t0) / number


def _calibrate(fn):
    """Repetitions so that one sample takes about 20 ms."""
    number = 1
    while True:
        t = _time(fn, number)
        if t * number >= 0.02 or number >= 1 << 20:
            return number
        number *= 4 if t * number < 0.005 else 2


SETTLE_SECONDS = 0.25


def compare(name, ours, peer, target=None, peer_name="peer", rounds=7, settle=False):
    """Time ours() and peer() interleaved; print and record one row."""
    number = max(_calibrate(ours), _calibrate(peer)) if rounds else 1
    t_ours, t_peer = [], []
    gc_was = gc.isenabled()
    gc.disable()
    try:
        for _ in range(rounds):
            t_ours.append(_time(ours, number))
            t_peer.append(_time(peer, number))
            if settle:
                time.sleep(SETTLE_SECONDS)
                ours()  # untimed: wakes the cores and the pool after the pause
    finally:
        if gc_was:
            gc.enable()
    m_ours, m_peer = statistics.median(t_ours), statistics.median(t_peer)
    ratio = m_peer / m_ours if m_ours > 0 else float("inf")
    verdict = "" if target is None else ("ok" if ratio >= target else "BELOW")
    row = (name, peer_name, m_ours, m_peer, ratio, target, verdict, SUBSYSTEM[0])
    ROWS.append(row)
    tgt = "-" if target is None else f"{target:g}"
    print(f"{name:<44} {peer_name:<30} {_fmt(m_ours):>10} {_fmt(m_peer):>10} {ratio:8.2f} {tgt:>6} {verdict}",
          flush=True)
    return ratio


def header(title):
    print(f"\n== {title}")
    print(f"{'workload':<44} {'peer':<30} {'quorvane':>10} {'peer':>10} {'ratio':>8} {'target':>6}")


def _fmt(seconds):
    if seconds >= 1:
        return f"{seconds:.2f} s"
    if seconds >= 1e-3:
        return f"{seconds * 1e3:.2f} ms"
    return f"{seconds * 1e6:.1f} us"


def machine():
    """CPU model, the x86-64 level its flags allow, and the cores we may use."""
    model, flags = platform.processor() or "unknown CPU", set()
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name") and model == (platform.processor() or "unknown CPU"):
                model = line.split(":", 1)[1].strip()
            elif line.startswith("flags"):
                flags = set(line.split(":", 1)[1].split())
    except OSError:
        pass
    if {"avx512f", "avx512bw", "avx512dq", "avx512vl"} <= flags:
        level = "x86-64-v4 (AVX-512)"
    elif {"avx2", "fma", "bmi2"} <= flags:
        level = "x86-64-v3 (AVX2, FMA)"
    else:
        level = "x86-64 baseline"
    return model, level, len(os.sched_getaffinity(0))
