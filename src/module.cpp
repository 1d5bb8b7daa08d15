// PyInit_quorvane: the module object, created once per process, and the
// registration table. Functions are registered in this order, then the
// classes; __all__ follows the same order.
#include "frame/python.hpp"
#include "numeric/numeric_bind.hpp"

#include <cstdint>

namespace {

using namespace qv;

PyMethodDef* const kFunctions[] = {
    // sorting, selection, search
    // &sorting::bind::quicksort, &sorting::bind::quicksort_f64, &sorting::bind::mergesort,
    // &sorting::bind::parallel_sort, &sorting::bind::binary_search, &sorting::bind::kth_smallest,
    // &sorting::bind::top_k, &sorting::bind::dedup, &numeric::bind::levenshtein,
    &numeric::bind::gcd,
    &numeric::bind::lcm,
    &numeric::bind::mod_pow,
    &numeric::bind::is_prime,
    &numeric::bind::sieve,
    &numeric::bind::fibonacci,
};

// Class constructors: each creates its type once per process.
struct ClassEntry {
    const char* name;
    PyObject* (*create)();
};
const ClassEntry kClasses[] = {
    // {"Tensor", &tensor::bind::create_type},
    // {"VaneHashMap", &hashmap::bind::create_type},
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
    if (!all || PyModule_AddObjectRef(module, "__all__", all) < 0) goto fail;
    for (PyMethodDef* def : kFunctions) {
        PyObject* fn = PyCMethod_New(def, module, PyModule_GetNameObject(module), nullptr);
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
    Py_DECREF(all);
    return module;
fail:
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
