"""VaneHashMap against a dict."""
import threading

import pytest
from hypothesis import given, settings, strategies as st

import quorvane as qv

I64 = st.integers(-(2**63), 2**63 - 1)
KEYS = st.sampled_from([0, -1, 1, 2, 3, 16, 17, -(2**63), 2**63 - 1]) | st.integers(-40, 40) | I64


def check_against(m, d):
    assert len(m) == len(d)
    keys, values, items = m.keys(), m.values(), m.items()
    assert sorted(keys) == sorted(d)
    assert items == list(zip(keys, values))
    assert dict(items) == d


@given(ops=st.lists(st.tuples(st.sampled_from(["insert", "get", "remove", "contains"]), KEYS, I64), max_size=300))
@settings(max_examples=150)
def test_random_operations_match_a_dict(ops):
    m, d = qv.VaneHashMap(), {}
    for op, key, value in ops:
        if op == "insert":
            assert m.insert(key, value) == d.get(key)
            d[key] = value
        elif op == "get":
            assert m.get(key) == d.get(key)
        elif op == "remove":
            assert m.remove(key) == d.pop(key, None)
        else:
            assert m.contains(key) is (key in d)
    check_against(m, d)


def test_new_map_and_basic_updates():
    m = qv.VaneHashMap()
    assert len(m) == 0 and m.get(5) is None and m.remove(5) is None and m.contains(5) is False
    assert m.keys() == m.values() == m.items() == []
    assert m.insert(1, 10) is None
    assert m.insert(1, 20) == 10
    assert len(m) == 1 and m.get(1) == 20
    assert m.remove(1) == 20 and len(m) == 0 and m.remove(1) is None


def test_long_churn_of_new_keys_stays_correct():
    # Few live keys, ever new ones: the tombstones must not exhaust the table.
    m, d = qv.VaneHashMap(), {}
    for k in range(100_000):
        m.insert(k * 7919, k)
        d[k * 7919] = k
        if k >= 6:
            assert m.remove((k - 6) * 7919) == d.pop((k - 6) * 7919)
        if k % 10_007 == 0:
            assert m.get(-1) is None and m.contains(k * 7919)
    check_against(m, d)


def test_growth_keeps_everything():
    m = qv.VaneHashMap()
    for k in range(50_000):
        m.insert(k, -k)
    assert len(m) == 50_000
    assert all(m.get(k) == -k for k in range(0, 50_000, 97))
    for k in range(0, 50_000, 2):
        m.remove(k)
    check_against(m, {k: -k for k in range(1, 50_000, 2)})


def test_tombstone_reuse_keeps_listing_order_consistent():
    m = qv.VaneHashMap()
    for k in range(10):
        m.insert(k, k)
    order = m.keys()
    m.remove(order[3])
    m.insert(order[3], 99)  # back into its own (first deleted) slot
    assert m.keys() == order
    assert m.values()[3] == 99


def test_class_shape():
    assert qv.VaneHashMap.__text_signature__ == "()"
    assert qv.VaneHashMap.insert.__text_signature__ == "($self, key, value)"
    assert qv.VaneHashMap.keys.__text_signature__ == "($self)"
    with pytest.raises(TypeError):
        qv.VaneHashMap(16)
    with pytest.raises(TypeError):
        type("Sub", (qv.VaneHashMap,), {})
    with pytest.raises(TypeError):
        qv.VaneHashMap.get(object(), 1)
    assert not hasattr(qv.VaneHashMap(), "__dict__")


@pytest.mark.parametrize("bad, exc, text", [(2**63, OverflowError, None), (1.5, TypeError, "argument 'key': ")])
def test_bad_keys_leave_the_map_untouched(bad, exc, text):
    m = qv.VaneHashMap()
    m.insert(1, 1)
    with pytest.raises(exc) as info:
        m.insert(bad, 2)
    if text:
        assert str(info.value).startswith(text)
    with pytest.raises(TypeError, match="^argument 'value': "):
        m.insert(2, "x")
    assert m.items() == [(1, 1)]


class Key:
    """An int-like key whose conversion calls back into the map."""

    def __init__(self, m, action):
        self.m, self.action = m, action

    def __index__(self):
        self.action(self.m)
        return 5


@pytest.mark.parametrize(
    "outer, inner, message",
    [
        ("insert", lambda m: m.get(1), "Already mutably borrowed"),
        ("insert", lambda m: m.insert(1, 1), "Already borrowed"),
        ("remove", lambda m: len(m), "Already mutably borrowed"),
        ("get", lambda m: m.remove(1), "Already borrowed"),
    ],
)
def test_reentrant_use_during_conversion_is_refused(outer, inner, message):
    m = qv.VaneHashMap()
    args = (Key(m, inner), 1) if outer == "insert" else (Key(m, inner),)
    with pytest.raises(RuntimeError, match=f"^{message}$"):
        getattr(m, outer)(*args)
    assert m.insert(3, 3) is None  # the borrows were returned


def test_repr_shows_the_length_and_never_raises_for_a_borrow():
    m = qv.VaneHashMap()
    assert repr(m) == "VaneHashMap(len=0)"
    seen = []
    m.insert(Key(m, lambda mm: seen.append(repr(mm))), 1)  # held exclusively by insert
    m.get(Key(m, lambda mm: seen.append(repr(mm))))  # shared with get
    assert seen == ["VaneHashMap(<borrowed>)", "VaneHashMap(len=1)"]


def test_shared_borrows_do_not_conflict():
    m = qv.VaneHashMap()
    m.insert(5, 50)
    assert m.get(Key(m, lambda mm: mm.contains(5))) == 50
    assert m.contains(Key(m, lambda mm: len(mm))) is True


def test_threads_sharing_a_map():
    m = qv.VaneHashMap()

    def work(base):
        for k in range(base, base + 5000):
            m.insert(k, k)

    threads = [threading.Thread(target=work, args=(i * 5000,)) for i in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert len(m) == 20_000
