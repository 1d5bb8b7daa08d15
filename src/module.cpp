// PyInit_quorvane: the module object, created once per process, and the
// registration table. Functions are registered in this order, then the
// classes; __all__ follows the same order.
#include "frame/python.hpp"
#include "dl/dl_bind.hpp"
#include "hashmap/hashmap_bind.hpp"
#include "ml/ml_bind.hpp"
#include "numeric/numeric_bind.hpp"
#include "numeric/stats_bind.hpp"
#include "sorting/sorting_bind.hpp"
#include "tensor/tensor_bind.hpp"

#include <cstdint>

namespace {

using namespace qv;

// One row per function, in registration order (a row stays commented out
// until its function is built).
PyMethodDef* const kFunctions[] = {
    &sorting::bind::quicksort,               // 1
    &sorting::bind::quicksort_f64,           // 2
    &sorting::bind::mergesort,               // 3
    &sorting::bind::parallel_sort,           // 4
    &sorting::bind::binary_search,           // 5
    &sorting::bind::kth_smallest,            // 6
    &sorting::bind::top_k,                   // 7
    &sorting::bind::dedup,                   // 8
    &numeric::bind::levenshtein,             // 9
    &numeric::bind::gcd,                     // 10
    &numeric::bind::lcm,                     // 11
    &numeric::bind::mod_pow,                 // 12
    &numeric::bind::is_prime,                // 13
    &numeric::bind::sieve,                   // 14
    &numeric::bind::fibonacci,               // 15
    &numeric::bind::mean,                    // 16
    &sorting::bind::median,                  // 17
    &numeric::bind::variance,                // 18
    &numeric::bind::std_dev,                 // 19
    &numeric::bind::dot_product,             // 20
    &numeric::bind::matmul,                  // 21
    &ml::bind::kmeans,                       // 22
    &ml::bind::pairwise_manhattan,           // 23
    &ml::bind::pairwise_cosine,              // 24
    &ml::bind::determinant,                  // 25
    &ml::bind::matrix_inverse,               // 26
    &dl::bind::relu,                         // 27
    &dl::bind::relu_derivative,              // 28
    &dl::bind::leaky_relu,                   // 29
    &dl::bind::leaky_relu_derivative,        // 30
    &dl::bind::elu,                          // 31
    &dl::bind::elu_derivative,               // 32
    &dl::bind::gelu,                         // 33
    &dl::bind::silu,                         // 34
    &dl::bind::silu_derivative,              // 35
    &dl::bind::sigmoid,                      // 36
    &dl::bind::sigmoid_derivative,           // 37
    &dl::bind::tanh,                         // 38
    &dl::bind::tanh_derivative,              // 39
    &dl::bind::softmax,                      // 40
    &dl::bind::softmax_cross_entropy,        // 41
    &dl::bind::one_hot,                      // 42
    &dl::bind::mse_loss,                     // 43
    &dl::bind::categorical_cross_entropy,    // 44
    &dl::bind::mae_loss,                     // 45
    &dl::bind::bce_loss,                     // 46
    &dl::bind::sgd_momentum_step,            // 47
    &dl::bind::adam_step,                    // 48
    &dl::bind::clip_grad_norm,               // 49
    &dl::bind::dropout,                      // 50
};

// Class constructors: each creates its type once per process.
struct ClassEntry {
    const char* name;
    PyObject* (*create)();
};
const ClassEntry kClasses[] = {
    {"Tensor", &tensor::bind::create_type},
    {"VaneHashMap", &hashmap::bind::create_type},
};

PyModuleDef g_def = {PyModuleDef_HEAD_INIT, "quorvane", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr};
PyObject* g_module = nullptr;
std::int64_t g_interpreter = -1;

int add_public(PyObject* module, PyObject* all, const char* name, PyObject* value) {
    PyObject* key = PyUnicode_FromString(name);
    if (!key) return -1;
    int rc = PyList_Append(all, key);
    if (rc == 0) rc = PyObject_SetAttr(module, key, value);
    Py_DECREF(key);
    return rc;
}

PyObject* build_module() {
    PyObject* module = PyModule_Create2(&g_def, PYTHON_API_VERSION);
    if (!module) return nullptr;
    PyObject* all = PyList_New(0);
    PyObject* name_of_module = PyModule_GetNameObject(module);  // the functions' __module__
    if (!all || !name_of_module || PyModule_AddObjectRef(module, "__all__", all) < 0) goto fail;
    if (PyModule_AddStringConstant(module, "__version__", QV_VERSION) < 0) goto fail;  // not in __all__
    for (PyMethodDef* def : kFunctions) {
        PyObject* fn = PyCMethod_New(def, module, name_of_module, nullptr);
        if (!fn) goto fail;
        PyObject* name = PyObject_GetAttrString(fn, "__name__");
        const char* text = name ? PyUnicode_AsUTF8AndSize(name, nullptr) : nullptr;
        int rc = text ? add_public(module, all, text, fn) : -1;
        Py_XDECREF(name);
        Py_DECREF(fn);
        if (rc < 0) goto fail;
    }
    for (const ClassEntry& c : kClasses) {
        PyObject* type = c.create();
        int rc = type ? add_public(module, all, c.name, type) : -1;
        Py_XDECREF(type);
        if (rc < 0) goto fail;
    }
    Py_DECREF(name_of_module);
    Py_DECREF(all);
    return module;
fail:
    Py_XDECREF(name_of_module);
    Py_XDECREF(all);
    Py_DECREF(module);
    return nullptr;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) PyObject* PyInit_quorvane() {
    std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id < 0) return nullptr;
    if (g_interpreter >= 0 && id != g_interpreter) {
        PyErr_SetString(PyExc_ImportError,
                        "quorvane does not support sub-interpreters: it is already loaded in another interpreter "
                        "of this process");
        return nullptr;
    }
    if (g_module) return Py_NewRef(g_module);
    PyObject* module = build_module();
    if (!module) return nullptr;
    g_module = Py_NewRef(module);
    g_interpreter = id;
    return module;
}
