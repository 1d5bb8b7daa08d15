#include "hashmap/hashmap_bind.hpp"

#include <cstdint>
#include <string>

#include "frame/classes.hpp"
#include "hashmap/hash_map.hpp"

namespace qv::hashmap::bind {
namespace {

using arg::Int64;
using Shared = arg::Shared<HashMap>;
using Exclusive = arg::Exclusive<HashMap>;

HashMap make_map() { return HashMap(); }

std::optional<std::int64_t> insert(HashMap& m, std::int64_t key, std::int64_t value) { return m.insert(key, value); }
std::optional<std::int64_t> get(HashMap& m, std::int64_t key) { return m.get(key); }
std::optional<std::int64_t> remove(HashMap& m, std::int64_t key) { return m.remove(key); }
bool contains(HashMap& m, std::int64_t key) { return m.contains(key); }
std::vector<std::int64_t> keys(HashMap& m) { return m.keys(); }
std::vector<std::int64_t> values(HashMap& m) { return m.values(); }
std::vector<std::pair<std::int64_t, std::int64_t>> items(HashMap& m) { return m.items(); }

// len(): under a shared borrow, like the reading methods.
Py_ssize_t length(PyObject* self) noexcept {
    Shared::storage me;
    if (!Shared::convert(self, me)) return -1;
    std::uint64_t n = Shared::get(me).size();
    if (n > static_cast<std::uint64_t>(PY_SSIZE_T_MAX)) {
        PyErr_SetNone(PyExc_OverflowError);
        return -1;
    }
    return static_cast<Py_ssize_t>(n);
}

// repr(): "VaneHashMap(len=3)".
std::string describe(const HashMap& m) { return "len=" + std::to_string(m.size()); }

PyMethodDef methods[] = {
    Method<HashMap, "insert", Exclusive, Lock::Held, insert, P<Int64, "key">, P<Int64, "value">>::def(
        "insert($self, key, value)\n--\n\n"),
    Method<HashMap, "get", Shared, Lock::Held, get, P<Int64, "key">>::def("get($self, key)\n--\n\n"),
    Method<HashMap, "remove", Exclusive, Lock::Held, remove, P<Int64, "key">>::def("remove($self, key)\n--\n\n"),
    Method<HashMap, "contains", Shared, Lock::Held, contains, P<Int64, "key">>::def("contains($self, key)\n--\n\n"),
    Method<HashMap, "keys", Shared, Lock::Held, keys>::def("keys($self)\n--\n\n"),
    Method<HashMap, "values", Shared, Lock::Held, values>::def("values($self)\n--\n\n"),
    Method<HashMap, "items", Shared, Lock::Held, items>::def("items($self)\n--\n\n"),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyObject* create_type() {
    return qv::create_type<HashMap>(
        "VaneHashMap()\n--\n\n",
        {
            {Py_tp_new, reinterpret_cast<void*>(&Constructor<HashMap, Lock::Held, make_map>::call)},
            {Py_tp_methods, methods},
            {Py_mp_length, reinterpret_cast<void*>(&length)},
            {Py_tp_repr, reinterpret_cast<void*>(&repr<HashMap, describe>)},
            {0, nullptr},
        });
}

}  // namespace qv::hashmap::bind
