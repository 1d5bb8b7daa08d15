"""VaneHashMap against dict: inserts, gets and removes."""
import random

import quorvane as qv
from harness import compare, header

N = 200_000


def run():
    rnd = random.Random(11)
    keys = [rnd.randint(-(2**62), 2**62) for _ in range(N)]

    shuffled = keys[:]
    rnd.shuffle(shuffled)

    def ours(order):
        m = qv.VaneHashMap()
        for k in keys:
            m.insert(k, k)
        for k in order:
            m.get(k)
        for k in order:
            m.remove(k)

    def peer(order):
        d = {}
        for k in keys:
            d[k] = k
        for k in order:
            d.get(k)
        for k in order:
            d.pop(k, None)

    header("VaneHashMap (200 000 keys)")
    compare("insert + get + remove", lambda: ours(keys), lambda: peer(keys), 0.7, "dict")
    # dict keeps its entries in insertion order: gets and removes in that
    # order walk them sequentially; in another order both tables are probed
    # at random.
    compare("insert + get + remove, shuffled lookups", lambda: ours(shuffled), lambda: peer(shuffled), None, "dict")
