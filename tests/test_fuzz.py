"""Every entry point against random arguments (a short seeded slice of the
fuzzer in tests/fuzz.py; `make fuzz` runs the long one), and the call table
that drives it."""
import inspect

import numpy as np
import pytest

import call_table as ct
import fuzz
import quorvane as q


def test_seeded_slice_finds_nothing():
    findings = fuzz.run(calls=6000, seed=20261208, workers=1, timeout=400)
    fuzz.report(findings)
    assert not findings, [f"{f['entry']}: {f['reason']} -- {f['call']}" for f in findings]


def test_table_covers_every_public_name():
    covered = {e.name for e in ct.ENTRIES}
    assert set(q.__all__) <= covered
    for cls in (c for c in ("Tensor", "VaneHashMap") if hasattr(q, c)):
        members = {n for n in vars(getattr(q, cls)) if not n.startswith("__")}
        assert {f"{cls}.{n}" for n in members} <= covered, cls


@pytest.mark.parametrize("name", ct.names())
def test_table_row_matches_the_entry_point(name):
    entry = ct.BY_NAME[name]
    if not ct.available(entry):
        pytest.skip(f"quorvane has no {name} yet")
    args, instance = ct.valid_call(entry)
    ct.invoke(entry, instance, args, {})  # the row's valid call is accepted
    if entry.how in ("function", "method", "classmethod") and entry.params:
        target = getattr(q, name) if entry.how == "function" else getattr(getattr(q, entry.owner), entry.attr)
        params = list(inspect.signature(target).parameters.values())
        params = [p for p in params if p.name not in ("self", "cls")]
        assert [p.name for p in params] == [p.name for p in entry.params]
        for have, want in zip(params, entry.params):
            assert (have.default is inspect.Parameter.empty) == (want.default is ct.REQUIRED)


# --- what the fuzzer found ------------------------------------------------------------

def misaligned(values):
    raw = np.zeros(len(values) * 8 + 1, np.uint8)
    out = raw[1:].view(np.float64)
    out[:] = values
    return out


def record_field(values):
    rec = np.zeros(len(values), dtype=[("tag", "i1"), ("value", "f8")])
    rec["value"] = values
    return rec["value"]  # 9 bytes from one element to the next


@pytest.mark.parametrize("make", [misaligned, record_field])
def test_arrays_of_unaligned_elements_are_read_right(make):
    # a buffer received from another process may start at any byte; a field
    # of a packed record array steps 9 bytes from one element to the next
    values = np.linspace(-3.0, 3.0, 20_001)
    x = make(values)
    assert np.array_equal(q.relu(x), q.relu(values))
    assert q.mse_loss(x, values[::-1].copy()) == q.mse_loss(values, values[::-1].copy())
    rows = make(values[:12]).reshape(3, 4)
    if make is record_field:  # still not contiguous
        with pytest.raises(ValueError, match="^input must be contiguous$"):
            q.dropout(x, 0.5)
        with pytest.raises(ValueError, match="^input must be C-contiguous$"):
            q.softmax(rows)
    else:
        assert np.array_equal(q.dropout(x, 0.5, seed=3), q.dropout(values, 0.5, seed=3))
        assert np.array_equal(q.softmax(rows), q.softmax(values[:12].reshape(3, 4)))
    assert q.mean(x) == q.mean(values)
    assert q.relu(make([])).shape == (0,)
    # an array the call writes cannot be read from a copy: refused untouched
    g = make([3.0, 4.0])
    with pytest.raises(ValueError, match=r"^argument 'grads': array elements are not aligned to 8 bytes$"):
        q.clip_grad_norm(g, 1.0)
    assert g.tolist() == [3.0, 4.0]


def test_a_sequence_claiming_a_huge_length_is_read_as_it_is():
    class Liar:
        def __len__(self):
            return 10**15

        def __getitem__(self, i):
            if i < 3:
                return float(i)
            raise IndexError

    assert q.mean(Liar()) == 1.0
    assert q.matmul([Liar()], [[1.0], [1.0], [1.0]]) == [[3.0]]
