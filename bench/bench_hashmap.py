"""VaneHashMap against dict: inserts, gets and removes."""
import random

import quorvane as qv
from harness import compare, header

N = 200_000


def run():
    rnd = random.Random(11)
    keys = [rnd.randint(-(2**62), 2**62) for _ in range(N)]

    def ours():
        m = qv.VaneHashMap()
        for k in keys:
            m.insert(k, k)
        for k in keys:
            m.get(k)
        for k in keys:
            m.remove(k)

    def peer():
        d = {}
        for k in keys:
            d[k] = k
        for k in keys:
            d.get(k)
        for k in keys:
            d.pop(k, None)

    header("VaneHashMap (200 000 keys)")
    compare("insert + get + remove", ours, peer, 0.7, "dict")
