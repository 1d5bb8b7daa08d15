"""Every public entry point of quorvane in one table: how to call it (its
parameters, each with an argument kind) and which exceptions it documents.

The reliability suites (fuzzing, leaks, threads) are driven by this table.
Entries whose name the module does not have yet are skipped, not failed;
`available()` says which ones can run.

Argument kinds (the `kind` of a Param):
  int64 uint64 size int32 float flag seed str    scalars
  int64_list float64_list size_list matrix       sequences copied by the call
  array1 array2 array_any array_mut index_array  NumPy arrays borrowed by the call
  tensor                                         a Tensor (borrowed shared)
A Param may have a `scale`: "alloc" when its value sizes an allocation
(generators keep it small or make it far too large to allocate at all),
"loop" when it counts work (generators keep it small).
"""
from dataclasses import dataclass

import quorvane as q

REQUIRED = object()


@dataclass(frozen=True)
class Param:
    name: str
    kind: str
    default: object = REQUIRED
    scale: str = ""


@dataclass(frozen=True)
class Entry:
    name: str                 # "gcd", "Tensor.add", "Tensor.shape", "len(VaneHashMap)"
    how: str                  # function, method, classmethod, property, constructor, len
    params: tuple = ()
    errors: tuple = ()        # (exception type, regex of its message) documented for it
    grows: bool = False       # may raise MemoryError for a huge "alloc" argument
    borrow: str = ""          # the borrow of `self`: shared or exclusive
    parallel: bool = False    # runs on the worker pool (or its own threads) for large inputs

    @property
    def owner(self):
        """The class of a method, property, constructor or len()."""
        if self.how == "function":
            return None
        return self.name.split(".")[0].removeprefix("len(").removesuffix(")")

    @property
    def attr(self):
        return self.name.split(".")[-1]

    @property
    def label(self):
        """How binding errors name the entry point ("gcd()", "Tensor.add()")."""
        if self.how == "constructor":
            return f"{self.name}.__new__()"
        return f"{self.name}()"


def P(name, kind, default=REQUIRED, scale=""):
    return Param(name, kind, default, scale)


def fn(name, *params, errors=(), grows=False, parallel=False):
    return Entry(name, "function", tuple(params), tuple(errors), grows, "", parallel)


def method(name, *params, borrow="shared", errors=(), grows=False, how="method", parallel=False):
    return Entry(name, how, tuple(params), tuple(errors), grows, borrow, parallel)


V = ValueError
K_RANGE = (IndexError, r"^k out of range$")
SAME_LEN = (V, r"^vectors must be same length$")
MATMUL_DIMS = (V, r"^incompatible matrix dimensions")
SQUARE = (V, r"^Matrix must be square\.$")
PAIR_LEN = (V, r"^Predictions and targets must have matching non-zero lengths\.$")
TENSOR_TOO_LARGE = (V, r"^Tensor shape is too large")

ACTIVATIONS = ["relu", "relu_derivative", "gelu", "silu", "silu_derivative", "sigmoid", "sigmoid_derivative",
               "tanh", "tanh_derivative"]
LOSSES = ["mse_loss", "categorical_cross_entropy", "mae_loss", "bce_loss"]
SHAPE_MESSAGES = {"add": "element-wise addition", "sub": "subtraction", "mul_elementwise": "element-wise multiplication"}

ENTRIES = [
    fn("quicksort", P("arr", "int64_list")),
    fn("quicksort_f64", P("arr", "float64_list")),
    fn("mergesort", P("arr", "int64_list")),
    fn("parallel_sort", P("arr", "int64_list"), parallel=True),
    fn("binary_search", P("arr", "int64_list"), P("target", "int64")),
    fn("kth_smallest", P("arr", "int64_list"), P("k", "size"), errors=[K_RANGE]),
    fn("top_k", P("arr", "int64_list"), P("k", "size")),
    fn("dedup", P("arr", "int64_list")),
    fn("levenshtein", P("a", "str"), P("b", "str")),
    fn("gcd", P("a", "int64"), P("b", "int64")),
    fn("lcm", P("a", "int64"), P("b", "int64")),
    fn("mod_pow", P("base", "uint64"), P("exp", "uint64"), P("modulus", "uint64"),
       errors=[(V, r"^mod_pow\(\) modulus must be at least 1$")]),
    fn("is_prime", P("n", "uint64")),
    fn("sieve", P("limit", "uint64", scale="alloc"), grows=True),
    fn("fibonacci", P("n", "uint64")),
    fn("mean", P("arr", "float64_list")),
    fn("median", P("arr", "float64_list")),
    fn("variance", P("arr", "float64_list")),
    fn("std_dev", P("arr", "float64_list")),
    fn("dot_product", P("a", "float64_list"), P("b", "float64_list"), errors=[SAME_LEN]),
    fn("matmul", P("a", "matrix"), P("b", "matrix"), errors=[MATMUL_DIMS]),
    fn("kmeans", P("data", "matrix"), P("k", "size"), P("max_iters", "size", scale="loop"), P("tolerance", "float"),
       errors=[(V, r"^Invalid input data size or cluster count 'k'\.$"), (V, r"^row \d+ of data has \d+ ")],
       parallel=True),
    fn("pairwise_manhattan", P("matrix_a", "matrix"), P("matrix_b", "matrix"), parallel=True),
    fn("pairwise_cosine", P("matrix_a", "matrix"), P("matrix_b", "matrix"), parallel=True),
    fn("determinant", P("matrix", "matrix"), errors=[SQUARE]),
    fn("matrix_inverse", P("matrix", "matrix"), errors=[SQUARE, (V, r"^Matrix is singular and cannot be inverted\.$")]),
    *[fn(name, P("x", "array1"), parallel=True) for name in ACTIVATIONS[:2]],
    fn("leaky_relu", P("x", "array1"), P("alpha", "float", 0.01), parallel=True),
    fn("leaky_relu_derivative", P("x", "array1"), P("alpha", "float", 0.01), parallel=True),
    fn("elu", P("x", "array1"), P("alpha", "float", 1.0), parallel=True),
    fn("elu_derivative", P("x", "array1"), P("alpha", "float", 1.0), parallel=True),
    *[fn(name, P("x", "array1"), parallel=True) for name in ACTIVATIONS[2:]],
    fn("softmax", P("x", "array2"), errors=[(V, r"^input must be C-contiguous$")], parallel=True),
    fn("softmax_cross_entropy", P("logits", "array2"), P("targets", "index_array"),
       errors=[(V, r"^logits must be C-contiguous$"), (V, r"^targets must be contiguous$"),
               (V, r"^targets length must match logits batch size$"),
               (V, r"^target class index out of range for logits\.shape\[1\]$")], parallel=True),
    fn("one_hot", P("indices", "index_array"), P("num_classes", "size", scale="alloc"),
       errors=[(V, r"^indices must be contiguous$"), (V, r"^class index out of range for num_classes$"),
               (V, r"^one_hot result too large: ")], grows=True),
    *[fn(name, P("predictions", "array1"), P("targets", "array1"), errors=[PAIR_LEN], parallel=True)
      for name in LOSSES],
    fn("sgd_momentum_step", P("params", "array_mut"), P("grads", "array1"), P("velocity", "array_mut"),
       P("lr", "float"), P("momentum", "float"),
       errors=[(V, r"^(grads|params|velocity) must be contiguous$"),
               (V, r"^params, grads, and velocity must be the same length$")], parallel=True),
    fn("adam_step", P("params", "array_mut"), P("grads", "array1"), P("m", "array_mut"), P("v", "array_mut"),
       P("lr", "float", 0.001), P("beta1", "float", 0.9), P("beta2", "float", 0.999), P("eps", "float", 1e-8),
       P("t", "int32", 1),
       errors=[(V, r"^(grads|params|m|v) must be contiguous$"),
               (V, r"^params, grads, m, and v must be the same length$")], parallel=True),
    fn("clip_grad_norm", P("grads", "array_mut"), P("max_norm", "float"),
       errors=[(V, r"^grads must be contiguous$")], parallel=True),
    fn("dropout", P("x", "array1"), P("p", "float"), P("seed", "seed", None),
       errors=[(V, r"^dropout probability p must be in \[0, 1\)$"), (V, r"^input must be contiguous$")],
       parallel=True),
    # Tensor
    method("Tensor", P("array", "array_any"), how="constructor", borrow=""),
    method("Tensor.data", how="property"),
    method("Tensor.shape", how="property"),
    method("Tensor.strides", how="property"),
    *[method(f"Tensor.{name}", P("other", "tensor"), errors=[(V, rf"^Shapes must match for {text}\.$")],
             parallel=True) for name, text in SHAPE_MESSAGES.items()],
    method("Tensor.mul_scalar", P("scalar", "float"), parallel=True),
    method("Tensor.reshape", P("new_shape", "size_list", scale="alloc"),
           errors=[(V, r"^Total number of elements cannot change during reshape\.$"), TENSOR_TOO_LARGE]),
    method("Tensor.matmul", P("other", "tensor"), P("transpose_a", "flag", False), P("transpose_b", "flag", False),
           errors=[(V, r"^matmul requires rank-2 tensors\.$"), (V, r"^Dimension mismatch for multiplication: \d+ vs \d+\.$"),
                   TENSOR_TOO_LARGE], grows=True),
    method("Tensor.to_list", errors=[(RecursionError, r"while converting a Tensor to lists$")]),
    *[method(f"Tensor.{name}", P("shape", "size_list", scale="alloc"), P("seed", "seed", None), how="classmethod",
             borrow="", errors=[TENSOR_TOO_LARGE], grows=True, parallel=True) for name in ("rand", "randn")],
    method("Tensor.add_bias_inplace", P("bias", "array_any"), borrow="exclusive",
           errors=[(V, r"^Bias array must be contiguous\.$"),
                   (V, r"^Bias length must match the second dimension of the tensor: \d+ vs \d+\.$"),
                   (V, r"^add_bias_inplace requires a rank-2 tensor\.$")], parallel=True),
    method("Tensor.relu_inplace", borrow="exclusive", parallel=True),
    method("Tensor.relu_derivative", parallel=True),
    # VaneHashMap
    method("VaneHashMap", how="constructor", borrow=""),
    method("VaneHashMap.insert", P("key", "int64"), P("value", "int64"), borrow="exclusive"),
    method("VaneHashMap.get", P("key", "int64")),
    method("VaneHashMap.remove", P("key", "int64"), borrow="exclusive"),
    method("VaneHashMap.contains", P("key", "int64")),
    method("VaneHashMap.keys"),
    method("VaneHashMap.values"),
    method("VaneHashMap.items"),
    method("len(VaneHashMap)", how="len"),
]

BY_NAME = {e.name: e for e in ENTRIES}

# Frame-level refusals any entry with array parameters may raise.
ARRAY_ERRORS = ((V, r"^\w+(\.\w+)?\(\): '\w+' and '\w+' share memory$"), (V, r"^argument '\w+': array is read-only$"),
                (V, r"^argument '\w+': array elements are not aligned to 8 bytes$"))
BORROW_ERRORS = ((RuntimeError, r"^Already (mutably )?borrowed$"),)


def available(entry):
    """The module has this entry point (the classes' members once the class exists)."""
    owner = entry.owner
    if owner is None:
        return hasattr(q, entry.name)
    if not hasattr(q, owner):
        return False
    return entry.how in ("constructor", "len") or hasattr(getattr(q, owner), entry.attr)


def names():
    return [e.name for e in ENTRIES]


def invoke(entry, instance, args, kwargs):
    """Call entry with positional args and keyword kwargs; `instance` is the
    object methods, properties and len() apply to (any object: a wrong one is
    a test of the self check)."""
    if entry.how == "function":
        return getattr(q, entry.name)(*args, **kwargs)
    cls = getattr(q, entry.owner)
    if entry.how == "constructor":
        return cls(*args, **kwargs)
    if entry.how == "classmethod":
        return getattr(cls, entry.attr)(*args, **kwargs)
    if entry.how == "len":
        return cls.__len__(instance)
    if entry.how == "property":
        return getattr(cls, entry.attr).__get__(instance, cls)
    # Through the class, so that a wrong `instance` reaches the self check.
    return getattr(cls, entry.attr)(instance, *args, **kwargs)


def valid_call(entry, rng=None, big=False):
    """Valid (args, instance) for entry: small inputs, or with big=True inputs
    above the parallel thresholds. Used by the table, leak and fork tests."""
    import numpy as np

    rng = rng or np.random.default_rng(0)
    n = (60_000 if entry.name == "parallel_sort" else 20_000) if big else 8
    rows = n // 2 if big else 4  # rows of matrices and 2-D arrays; columns of tensors
    square = entry.name in ("determinant", "matrix_inverse", "matmul")
    values = {
        "int64": lambda p: 12, "uint64": lambda p: 7, "size": lambda p: 2, "int32": lambda p: 1,
        "float": lambda p: 0.5, "flag": lambda p: False, "seed": lambda p: 3, "str": lambda p: "kitten",
        "int64_list": lambda p: [int(v) for v in rng.integers(-50, 50, n)],
        "float64_list": lambda p: [float(v) for v in rng.standard_normal(n)],
        "size_list": lambda p: [rows, 2],
        "matrix": lambda p: rng.standard_normal((4 if square or p.name == "matrix_b" else rows, 4)).tolist(),
        "array1": lambda p: rng.random(n), "array_mut": lambda p: rng.random(n),
        "array2": lambda p: rng.standard_normal((rows, 3)),
        "array_any": lambda p: rng.standard_normal(rows if entry.name.endswith("bias_inplace") else (2, 4)),
        "index_array": lambda p: rng.integers(0, 2, rows if entry.name == "softmax_cross_entropy" else n),
        "tensor": lambda p: q.Tensor(rng.standard_normal((2, rows))),
    }
    args = [values[p.kind](p) for p in entry.params]
    if entry.name == "Tensor.matmul":
        args[0] = q.Tensor(rng.standard_normal((rows, 3)))
    if entry.name == "mod_pow":
        args[2] = 1000
    if entry.name == "kth_smallest":
        args[1] = 3
    instance = None
    if entry.owner == "Tensor" and entry.how in ("method", "property"):
        instance = q.Tensor(rng.standard_normal((2, rows)))
    elif entry.owner == "VaneHashMap" and entry.how in ("method", "len"):
        instance = q.VaneHashMap()
        for k in range(5):
            instance.insert(k, k * 10)
    return args, instance
