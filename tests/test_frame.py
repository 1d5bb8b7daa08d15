"""The call frame: binding, conversion errors, registration, import rules."""
import glob
import importlib.metadata
import operator
import os
import pathlib
import shutil
import subprocess
import sys
import textwrap
import tomllib

import numpy as np
import pytest

import quorvane as q

EXPECTED_ORDER = """quicksort quicksort_f64 mergesort parallel_sort binary_search kth_smallest top_k dedup
levenshtein gcd lcm mod_pow is_prime sieve fibonacci mean median variance std_dev dot_product matmul
kmeans pairwise_manhattan pairwise_cosine determinant matrix_inverse relu relu_derivative leaky_relu
leaky_relu_derivative elu elu_derivative gelu silu silu_derivative sigmoid sigmoid_derivative tanh
tanh_derivative softmax softmax_cross_entropy one_hot mse_loss categorical_cross_entropy mae_loss
bce_loss sgd_momentum_step adam_step clip_grad_norm dropout Tensor VaneHashMap""".split()


def test_all_follows_registration_order():
    built = [name for name in EXPECTED_ORDER if hasattr(q, name)]
    assert q.__all__ == built
    assert len(set(q.__all__)) == len(q.__all__)
    public = {n for n in dir(q) if not n.startswith("__")}
    assert public == set(q.__all__)


def test_module_doc_and_name():
    assert q.__name__ == "quorvane"
    assert q.__doc__ == ""
    assert q.gcd.__module__ == "quorvane"
    assert q.gcd.__self__ is q


@pytest.mark.parametrize(
    "fn, sig",
    [("gcd", "(a, b)"), ("lcm", "(a, b)"), ("mod_pow", "(base, exp, modulus)"), ("is_prime", "(n)"),
     ("sieve", "(limit)"), ("fibonacci", "(n)")],
)
def test_text_signatures_and_no_docstring(fn, sig):
    f = getattr(q, fn)
    assert f.__text_signature__ == sig
    assert f.__doc__ is None


def declared_version():
    """The version of the distribution this module was installed from; for a
    build used in place (the sanitizer run), the one in pyproject.toml."""
    try:
        dist = importlib.metadata.distribution("quorvane")
        if any(pathlib.Path(dist.locate_file(f)).resolve() == pathlib.Path(q.__file__).resolve() for f in dist.files):
            return dist.version
    except importlib.metadata.PackageNotFoundError:
        pass
    return tomllib.loads((pathlib.Path(__file__).parents[1] / "pyproject.toml").read_text())["project"]["version"]


def test_version_is_the_projects():
    assert q.__version__ == declared_version() and "__version__" not in q.__all__


def test_import_twice_gives_same_module():
    saved = sys.modules.pop("quorvane")
    try:
        import quorvane as again
        assert again is saved
    finally:
        sys.modules["quorvane"] = saved


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: q.gcd(1, 2, 3), "gcd() takes 2 positional arguments but 3 were given"),
        (lambda: q.is_prime(1, 2), "is_prime() takes 1 positional arguments but 2 were given"),
        (lambda: q.gcd(a=4, c=2), "gcd() got an unexpected keyword argument 'c'"),
        (lambda: q.gcd(4, a=2), "gcd() got multiple values for argument 'a'"),
        (lambda: q.gcd(), "gcd() missing 2 required positional arguments: 'a' and 'b'"),
        (lambda: q.gcd(b=1), "gcd() missing 1 required positional argument: 'a'"),
        (lambda: q.mod_pow(), "mod_pow() missing 3 required positional arguments: 'base', 'exp', and 'modulus'"),
        (lambda: q.mod_pow(exp=1), "mod_pow() missing 2 required positional arguments: 'base' and 'modulus'"),
        # too many positional arguments is reported before a bad keyword
        (lambda: q.gcd(1, 2, 3, c=4), "gcd() takes 2 positional arguments but 3 were given"),
    ],
)
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_keywords_bind_by_name():
    assert q.mod_pow(modulus=1000, exp=10, base=2) == 24
    assert q.mod_pow(2, modulus=1000, exp=10) == 24


class Index:
    def __init__(self, v):
        self.v = v

    def __index__(self):
        return self.v


class Floaty:
    def __float__(self):
        return 2.0


def test_int_kinds_accept_index_objects_and_bools():
    assert q.gcd(Index(12), np.int64(18)) == 6
    assert q.gcd(True, 5) == 1
    assert q.fibonacci(Index(10)) == 55
    assert q.is_prime(np.uint64(2**61 - 1)) is True


@pytest.mark.parametrize(
    "call, exc, text",
    [
        (lambda: q.gcd(4.0, 2), TypeError, "argument 'a': 'float' object cannot be interpreted as an integer"),
        (lambda: q.gcd(4, "2"), TypeError, "argument 'b': 'str' object cannot be interpreted as an integer"),
        (lambda: q.gcd(2**63, 1), OverflowError, None),
        (lambda: q.gcd(-(2**63) - 1, 1), OverflowError, None),
        (lambda: q.is_prime(-1), OverflowError, None),
        (lambda: q.is_prime(2**64), OverflowError, None),
        (lambda: q.is_prime(Floaty()), TypeError, "argument 'n': "),
        (lambda: q.mod_pow(1, 2, None), TypeError, "argument 'modulus': "),
    ],
)
def test_conversion_errors(call, exc, text):
    with pytest.raises(exc) as info:
        call()
    if exc is TypeError:
        assert str(info.value).startswith(text)
    else:
        assert not str(info.value).startswith("argument")


def test_type_error_prefix_keeps_the_cause():
    class Bad:
        def __index__(self):
            try:
                raise KeyError("inner")
            except KeyError as e:
                raise TypeError("custom index failure") from e

    with pytest.raises(TypeError) as info:
        q.gcd(Bad(), 1)
    assert str(info.value) == "argument 'a': custom index failure"
    assert isinstance(info.value.__cause__, KeyError)


def test_non_type_errors_pass_unchanged():
    class Bad:
        def __index__(self):
            raise ValueError("nope")

    with pytest.raises(ValueError, match="^nope$"):
        q.gcd(1, Bad())


def test_conversion_stops_at_first_failure():
    seen = []

    class Spy:
        def __init__(self, name, ok=True):
            self.name, self.ok = name, ok

        def __index__(self):
            seen.append(self.name)
            if not self.ok:
                raise TypeError("bad")
            return 3

    with pytest.raises(TypeError, match="argument 'exp'"):
        q.mod_pow(Spy("base"), Spy("exp", ok=False), Spy("modulus"))
    assert seen == ["base", "exp"]


SUBINTERPRETER = textwrap.dedent(
    """
    import quorvane
    try:
        import _interpreters as interp
        iid = interp.create("legacy")
        run = interp.exec
    except ImportError:
        import _xxsubinterpreters as interp
        iid = interp.create(isolated=False)
        run = interp.run_string
    code = "try:\\n    import quorvane\\n    raise SystemExit(3)\\nexcept ImportError as e:\\n    assert 'sub-interpreter' in str(e), e\\n"
    try:
        result = run(iid, code)
        assert result is None, result
    finally:
        interp.destroy(iid)
    print("refused")
    """
)


def test_second_interpreter_is_refused():
    out = subprocess.run([sys.executable, "-c", SUBINTERPRETER], capture_output=True, text=True, timeout=60)
    if "No module named '_xxsubinterpreters'" in out.stderr:
        pytest.skip("no sub-interpreter module on this Python")
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip() == "refused"


def other_pythons():
    """Every CPython 3.12+ on this machine besides the one running the tests."""
    found = set()
    for name in ("python3.12", "python3.13", "python3.14", "python3.15"):
        path = shutil.which(name)
        if path:
            found.add(path)
    root = os.environ.get("PYENV_ROOT", os.path.expanduser("~/.pyenv"))
    found.update(glob.glob(os.path.join(root, "versions", "3.1[2-9]*", "bin", "python3")))
    usable = []
    for path in sorted(found):
        try:
            v = subprocess.run([path, "-c", "import sys; print(sys.version_info >= (3, 12))"],
                               capture_output=True, text=True, timeout=30)
        except OSError:
            continue
        if v.returncode == 0 and v.stdout.strip() == "True":
            usable.append(path)
    return usable


def test_module_is_abi3_and_imports_on_every_python(tmp_path):
    assert q.__file__.endswith(".abi3.so")
    shutil.copy(q.__file__, tmp_path)
    libs = pathlib.Path(q.__file__).with_name("quorvane.libs")  # a wheel's own oneTBB
    if libs.is_dir():
        shutil.copytree(libs, tmp_path / libs.name)
    pythons = other_pythons()
    if not pythons:
        pytest.skip("no other Python 3.12+ here")
    for py in pythons:
        out = subprocess.run([py, "-c", "import quorvane, sys; print(quorvane.gcd(12, 18))"],
                             capture_output=True, text=True, timeout=60, cwd=tmp_path,
                             env={**os.environ, "PYTHONPATH": str(tmp_path)})
        assert out.returncode == 0 and out.stdout.strip() == "6", (py, out.stderr)


def _replace_tail(lst):
    lst[4:] = [10**12 + 100 + i for i in range(30)]  # fresh objects; the old ones are freed


def _cut(lst):
    del lst[6:]


def _grow(lst):
    lst.extend(10**12 + 200 + i for i in range(12))


@pytest.mark.parametrize("change", [_replace_tail, _cut, _grow])
@pytest.mark.parametrize("as_float", [False, True])
def test_list_changed_by_an_element_conversion_is_read_as_iteration_would(change, as_float):
    class Changer:
        def __init__(self, lst):
            self.lst = lst

        def __index__(self):
            change(self.lst)
            return 7

        def __float__(self):
            change(self.lst)
            return 7.0

    def run(convert):
        lst = [10**12 + i for i in range(40)]
        lst[3] = Changer(lst)
        return convert(lst)

    if as_float:
        assert run(q.quicksort_f64) == sorted(run(lambda lst: [float(x) for x in lst]))
    else:
        assert run(q.dedup) == run(lambda lst: [operator.index(x) for x in lst])
