"""Every entry point against random arguments (a short seeded slice of the
fuzzer in tests/fuzz.py; `make fuzz` runs the long one), and the call table
that drives it."""
import inspect

import pytest

import call_table as ct
import fuzz
import quorvane as q


def test_seeded_slice_finds_nothing():
    findings = fuzz.run(calls=6000, seed=20261208, workers=1, timeout=600)
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
