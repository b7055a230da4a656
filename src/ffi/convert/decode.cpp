#include "ffi/convert/decode.h"

#include <sys/random.h>

#include <atomic>
#include <random>
#include <string>
#include <cstring>
#include <vector>

#include "common/hash.h"
#include "common/stack_guard.h"
#include "ffi/errors.h"
#include "ffi/types/tag.h"
#include "ffi/types/types.h"

namespace quillmere::ffi {

namespace {


// The key cache's hash seed: drawn once per process from the operating
// system. Filling it never waits: a thread that loses the race to store its
// draw uses the stored one.
std::atomic<std::uint64_t> key_cache_seed{0};

std::uint64_t draw_seed() {
    std::uint64_t seed = 0;
    if (getrandom(&seed, sizeof seed, 0) != static_cast<ssize_t>(sizeof seed)) {
        std::random_device device;
        seed = (std::uint64_t{device()} << 32) ^ device();
    }
    return seed == 0 ? 0x9E3779B97F4A7C15ull : seed;
}

std::uint64_t process_seed() {
    std::uint64_t seed = key_cache_seed.load(std::memory_order_acquire);
    if (seed != 0) return seed;
    std::uint64_t expected = 0;
    const std::uint64_t drawn = draw_seed();
    if (key_cache_seed.compare_exchange_strong(expected, drawn, std::memory_order_acq_rel)) return drawn;
    return expected;
}

bool is_ascii(std::string_view text) {
    const char* p = text.data();
    std::size_t n = text.size();
    std::uint64_t any = 0;
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        any |= word;
    }
    for (; n > 0; ++p, --n) any |= static_cast<unsigned char>(*p);
    return (any & 0x8080808080808080ull) == 0;
}

// A new str from valid UTF-8. ASCII, the common case, is copied straight
// into a compact str.
py::ref text_to_str(std::string_view text) {
    const auto size = static_cast<Py_ssize_t>(text.size());
    if (!is_ascii(text)) return py::ref::steal(PyUnicode_DecodeUTF8(text.data(), size, "strict"));
    py::ref str = py::ref::steal(PyUnicode_New(size, 127));
    if (str && size > 0) std::memcpy(PyUnicode_1BYTE_DATA(str.get()), text.data(), text.size());
    return str;
}

// One document's map from key bytes (borrowed from the tree) to the
// interned str made for them. Open addressing over a power-of-two table of
// slots that keep the full hash, so a probe compares texts only on equal
// hashes; it owns one reference per entry.
class KeyCache {
public:
    KeyCache() : seed_(process_seed()), slots_(16), mask_(15) {}
    KeyCache(const KeyCache&) = delete;
    KeyCache& operator=(const KeyCache&) = delete;
    ~KeyCache() {
        for (const Slot& slot : slots_) Py_XDECREF(slot.str);
    }

    // The str for `text`: a new reference, or null with a Python error set.
    py::ref get(std::string_view text) {
        const std::uint64_t hash = hash_bytes(text, seed_);
        std::size_t i = hash & mask_;
        for (;; i = (i + 1) & mask_) {
            Slot& slot = slots_[i];
            if (slot.str == nullptr) break;
            if (slot.hash == hash && slot.size == text.size() &&
                (text.empty() || std::memcmp(slot.data, text.data(), text.size()) == 0))
                return py::ref::borrow(slot.str);
        }
        py::ref key = text_to_str(text);
        if (!key) return {};
        PyObject* interned = key.release();
        PyUnicode_InternInPlace(&interned);  // consumes the reference, leaves one to the interned str
        key = py::ref::steal(interned);
        slots_[i] = Slot{hash, text.data(), text.size(), py::ref::borrow(interned).release()};
        if (++used_ * 2 > slots_.size()) grow();
        return key;
    }

private:
    struct Slot {
        std::uint64_t hash = 0;
        const char* data = nullptr;
        std::size_t size = 0;
        PyObject* str = nullptr;  // owned
    };

    void grow() {
        std::vector<Slot> old(slots_.size() * 2);
        old.swap(slots_);
        mask_ = slots_.size() - 1;
        for (const Slot& slot : old) {
            if (slot.str == nullptr) continue;
            std::size_t i = slot.hash & mask_;
            while (slots_[i].str != nullptr) i = (i + 1) & mask_;
            slots_[i] = slot;
        }
    }

    std::uint64_t seed_;
    std::vector<Slot> slots_;
    std::size_t mask_;
    std::size_t used_ = 0;
};

py::ref value_to_object(const Value& value, const DecodeContext& context, KeyCache& cache);
py::ref value_to_hashable_key(const Value& value, const DecodeContext& context);

py::ref child_to_object(const Value& child, const DecodeContext& context, KeyCache& cache) {
    return with_stack_guard([&] { return value_to_object(child, context, cache); });
}

py::ref sequence_to_list(const Value& value, const DecodeContext& context, KeyCache& cache) {
    const auto items = value.items();
    py::ref list = py::ref::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
    if (!list) return {};
    for (std::size_t i = 0; i < items.size(); ++i) {
        py::ref item = child_to_object(items[i], context, cache);
        if (!item) return {};
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());  // the list steals it
    }
    return list;
}

py::ref mapping_to_dict(const Value& value, const DecodeContext& context, KeyCache& cache) {
    py::ref dict = py::ref::steal(PyDict_New());
    if (!dict) return {};
    for (const Pair& pair : value.pairs()) {
        py::ref key;
        switch (pair.key.kind()) {
            case ValueKind::String:
                key = cache.get(pair.key.text());
                break;
            case ValueKind::Sequence:
            case ValueKind::Mapping:
                key = with_stack_guard([&] { return value_to_hashable_key(pair.key, context); });
                break;
            default:
                key = child_to_object(pair.key, context, cache);
                break;
        }
        if (!key) return {};
        py::ref item = child_to_object(pair.value, context, cache);
        if (!item) return {};
        if (PyDict_SetItem(dict.get(), key.get(), item.get()) < 0) {
            PyErr_Clear();
            decode_error();
            return {};
        }
    }
    return dict;
}

py::ref value_to_object(const Value& value, const DecodeContext& context, KeyCache& cache) {
    switch (value.kind()) {
        case ValueKind::Null:
            return py::none();
        case ValueKind::Bool:
            return py::boolean(value.as_bool());
        case ValueKind::Int:
            return py::ref::steal(PyLong_FromLongLong(value.as_int()));
        case ValueKind::BigInt:
            return big_int_to_python(value.text());
        case ValueKind::Float:
            return py::ref::steal(PyFloat_FromDouble(value.as_float()));
        case ValueKind::String:
            return text_to_str(value.text());
        case ValueKind::Sequence:
            return sequence_to_list(value, context, cache);
        case ValueKind::Mapping:
            return mapping_to_dict(value, context, cache);
        case ValueKind::Tagged: {
            const TaggedValue& tagged = value.tagged_value();
            py::ref inner = child_to_object(tagged.inner, context, cache);
            if (!inner) return {};
            return tagged_to_python(tagged.tag, inner.get(), context);
        }
    }
    raise_fault("value of unknown kind");
    return {};
}

// A collection used as a mapping key: nested tuples. Scalars inside are
// converted as whole documents of their own (fresh key cache).
py::ref value_to_hashable_key(const Value& value, const DecodeContext& context) {
    auto element = [&](const Value& child) {
        return with_stack_guard([&] { return value_to_hashable_key(child, context); });
    };
    if (value.is(ValueKind::Sequence)) {
        const auto items = value.items();
        py::ref tuple = py::ref::steal(PyTuple_New(static_cast<Py_ssize_t>(items.size())));
        if (!tuple) return {};
        for (std::size_t i = 0; i < items.size(); ++i) {
            py::ref item = element(items[i]);
            if (!item) return {};
            PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), item.release());  // stolen
        }
        return tuple;
    }
    if (value.is(ValueKind::Mapping)) {
        const auto pairs = value.pairs();
        py::ref tuple = py::ref::steal(PyTuple_New(static_cast<Py_ssize_t>(pairs.size())));
        if (!tuple) return {};
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            py::ref key = element(pairs[i].key);
            if (!key) return {};
            py::ref item = element(pairs[i].value);
            if (!item) return {};
            PyObject* entry = PyTuple_Pack(2, key.get(), item.get());
            if (!entry) return {};
            PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), entry);  // stolen
        }
        return tuple;
    }
    return value_to_python(value, context);
}

}  // namespace

py::ref value_to_python(const Value& value, const DecodeContext& context) {
    KeyCache cache;
    return with_stack_guard([&] { return value_to_object(value, context, cache); });
}

py::ref tagged_to_python(std::string_view tag, PyObject* value, const DecodeContext& context) {
    if (context.tags || context.tag_handler) {
        py::ref tag_text = text_to_str(tag);
        if (!tag_text) return {};
        if (context.tags) {
            PyObject* callable = nullptr;
#if PY_VERSION_HEX >= 0x030D0000
            if (PyDict_GetItemRef(context.tags, tag_text.get(), &callable) < 0) return {};
            py::ref entry = py::ref::steal(callable);  // a new reference, or null
#else
            callable = PyDict_GetItemWithError(context.tags, tag_text.get());
            if (!callable && PyErr_Occurred()) return {};
            py::ref entry = py::ref::borrow(callable);  // borrowed from the dict: take our own
#endif
            if (entry) return py::ref::steal(PyObject_CallOneArg(entry.get(), value));
        }
        if (context.tag_handler) {
            PyObject* call_args[] = {tag_text.get(), value};
            return py::ref::steal(PyObject_Vectorcall(context.tag_handler, call_args, 2, nullptr));
        }
    }
    if (context.passthrough_tag) {
        PyTypeObject* type = tag_type();
        if (!type) return {};
        return new_tag_object(type, tag, value);
    }
    return py::ref::borrow(value);
}

py::ref big_int_to_python(std::string_view text) {
    std::string digits;
    digits.reserve(text.size());
    for (char c : text) {
        if (c != '_') digits.push_back(c);
    }
    char* end = nullptr;
    py::ref number = py::ref::steal(PyLong_FromString(digits.c_str(), &end, 10));
    if (number) return number;
    PyErr_Clear();
    return text_to_str(digits);
}

}  // namespace quillmere::ffi
