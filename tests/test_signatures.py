"""Introspection: every public callable has a signature that inspect can read."""
import inspect

import pytest

import quorvane as q


def _callables():
    for name in q.__all__:
        obj = getattr(q, name)
        yield name, obj
        if isinstance(obj, type):
            for attr, member in vars(obj).items():
                if not attr.startswith("_") and callable(getattr(obj, attr)):
                    yield f"{name}.{attr}", getattr(obj, attr)


@pytest.mark.parametrize("name, obj", list(_callables()), ids=lambda v: v if isinstance(v, str) else "")
def test_signature_is_readable(name, obj):
    inspect.signature(obj)


def test_class_signatures():
    assert str(inspect.signature(q.Tensor)) == "(array)"
    assert str(inspect.signature(q.VaneHashMap)) == "()"
    assert str(inspect.signature(q.Tensor.rand)) == "(shape, seed=None)"
