#include "module/convert/decode.h"

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/hash.h"
#include "common/stack_guard.h"
#include "py/errors.h"
#include "py/signals.h"
#include "py/text.h"
#include "results/convert/big_int.h"
#include "results/convert/key_tuple.h"

namespace quillmere::module {

namespace {

// Whether mapping keys are interned. An interned key is the very object of
// every equal literal in the caller's code, so lookups with those succeed on
// identity. Where the interpreter makes every interned string immortal (3.12,
// and the free-threaded builds), a loaded key would then outlive its last
// reference and a load of many distinct keys would keep all of them for the
// life of the process: there keys stay ordinary strs, still one per distinct
// text and document.
#if PY_VERSION_HEX < 0x030C0000 || (PY_VERSION_HEX >= 0x030D0000 && !defined(Py_GIL_DISABLED))
constexpr bool kInternKeys = true;
#else
constexpr bool kInternKeys = false;
#endif

// A new str for a mapping key's text, interned where keys are.
py::ref new_key_str(const Value& key) {
    py::ref str = py::text_to_str(key.text(), key.ascii_text());
    if (!str || !kInternKeys) return str;
    PyObject* interned = str.release();
    PyUnicode_InternInPlace(&interned);  // consumes the reference, leaves one to the interned str
    return py::ref::steal(interned);
}

}  // namespace

CallKeys::CallKeys(std::uint32_t ids) {
    const std::size_t count = std::size_t(ids) + 1;
    if (count <= kFirstEntries) {
        entries_ = {first_entries_, count};
    } else {
        more_entries_.resize(count);
        entries_ = more_entries_;
    }
}

CallKeys::~CallKeys() {
    for (const Entry& entry : entries_) Py_XDECREF(entry.str);
}

py::ref CallKeys::get(const Value& key) {
    Entry& entry = entries_[key.key_id()];
    if (entry.str != nullptr && (kInternKeys || entry.document == document_)) return py::ref::borrow(entry.str);
    py::ref str = new_key_str(key);
    if (!str) return {};
    // The entry takes its own reference; the str it held, if any, is let go.
    const py::ref older = py::ref::steal(std::exchange(entry.str, py::ref::borrow(str.get()).release()));
    entry.document = document_;
    return str;
}

namespace {

// One document's map from key bytes (borrowed from the tree) to the str
// made for them, for the keys that carry no id. Open addressing over a
// power-of-two table of slots that keep the full hash, so a probe compares
// texts only on equal hashes; it owns one reference per entry. The table
// is made when the first key without an id comes.
class KeyCache {
public:
    explicit KeyCache(CallKeys* ids) : seed_(hash_seed()), ids_(ids) {}
    KeyCache(const KeyCache&) = delete;
    KeyCache& operator=(const KeyCache&) = delete;
    ~KeyCache() {
        for (const Slot& slot : slots_) Py_XDECREF(slot.str);
    }

    // The str for the String `key`: a new reference, or null with a Python
    // error set.
    py::ref get(const Value& key) {
        if (ids_ != nullptr && key.key_id() != 0) return ids_->get(key);
        const std::string_view text = key.text();
        if (slots_.empty()) {
            slots_.resize(16);
            mask_ = 15;
        }
        const std::uint64_t hash = hash_bytes(text, seed_);
        std::size_t i = hash & mask_;
        for (;; i = (i + 1) & mask_) {
            Slot& slot = slots_[i];
            if (slot.str == nullptr) break;
            if (slot.hash == hash && slot.size == text.size() &&
                (text.empty() || std::memcmp(slot.data, text.data(), text.size()) == 0))
                return py::ref::borrow(slot.str);
        }
        py::ref str = new_key_str(key);
        if (!str) return {};
        slots_[i] = Slot{hash, text.data(), text.size(), py::ref::borrow(str.get()).release()};
        if (++used_ * 2 > slots_.size()) grow();
        return str;
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
    CallKeys* ids_;
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t used_ = 0;
};

// What one conversion keeps while it runs.
struct Conversion {
    const results::DecodeContext& context;
    KeyCache cache;
    py::SignalCheck signals;
};

py::ref value_to_object(const Value& value, Conversion& conversion);
py::ref value_to_hashable_key(const Value& value, Conversion& conversion);

py::ref child_to_object(const Value& child, Conversion& conversion) {
    return with_stack_guard([&] { return value_to_object(child, conversion); });
}

py::ref sequence_to_list(const Value& value, Conversion& conversion) {
    const auto items = value.items();
    py::ref list = py::ref::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
    if (!list) return {};
    for (std::size_t i = 0; i < items.size(); ++i) {
        py::ref item = child_to_object(items[i], conversion);
        if (!item) return {};
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());  // the list steals it
    }
    return list;
}

// A dict with room for `count` keys, so that filling it never resizes its
// table (an empty dict grows at its sixth key, and again at each doubling).
// The presized constructor is the interpreter's own, public to extensions
// until 3.13; from then on the dict grows as it fills.
PyObject* new_dict_for([[maybe_unused]] std::size_t count) {
#if PY_VERSION_HEX < 0x030D0000
    if (count > 5) return _PyDict_NewPresized(static_cast<Py_ssize_t>(count));
#endif
    return PyDict_New();
}

py::ref mapping_to_dict(const Value& value, Conversion& conversion) {
    py::ref dict = py::ref::steal(new_dict_for(value.pairs().size()));
    if (!dict) return {};
    for (const Pair& pair : value.pairs()) {
        py::ref key;
        switch (pair.key.kind()) {
            case ValueKind::String:
                key = conversion.cache.get(pair.key);
                break;
            case ValueKind::Sequence:
            case ValueKind::Mapping:
                key = with_stack_guard([&] { return value_to_hashable_key(pair.key, conversion); });
                break;
            default:
                key = child_to_object(pair.key, conversion);
                break;
        }
        if (!key) return {};
        py::ref item = child_to_object(pair.value, conversion);
        if (!item) return {};
        if (PyDict_SetItem(dict.get(), key.get(), item.get()) < 0) {
            PyErr_Clear();
            py::decode_error();
            return {};
        }
    }
    return dict;
}

py::ref value_to_object(const Value& value, Conversion& conversion) {
    if (!conversion.signals.tick()) return {};
    switch (value.kind()) {
        case ValueKind::Null:
            return py::none();
        case ValueKind::Bool:
            return py::boolean(value.as_bool());
        case ValueKind::Int:
            return py::ref::steal(PyLong_FromLongLong(value.as_int()));
        case ValueKind::BigInt:
            return results::big_int_to_python(value.text());
        case ValueKind::Float:
            return py::ref::steal(PyFloat_FromDouble(value.as_float()));
        case ValueKind::String:
            return py::text_to_str(value.text(), value.ascii_text());
        case ValueKind::Sequence:
            return sequence_to_list(value, conversion);
        case ValueKind::Mapping:
            return mapping_to_dict(value, conversion);
        case ValueKind::Tagged: {
            const TaggedValue& tagged = value.tagged_value();
            py::ref inner = child_to_object(tagged.inner, conversion);
            if (!inner) return {};
            return results::tagged_to_python(tagged.tag, inner.get(), conversion.context);
        }
    }
    py::raise_fault("value of unknown kind");
    return {};
}

// A collection used as a mapping key: nested tuples. Scalars inside are
// converted as whole documents of their own (fresh key cache).
py::ref value_to_hashable_key(const Value& value, Conversion& conversion) {
    if (!conversion.signals.tick()) return {};
    auto element = [&](const Value& child) {
        return with_stack_guard([&] { return value_to_hashable_key(child, conversion); });
    };
    if (value.is(ValueKind::Sequence)) return results::items_key_tuple(value.items(), element);
    if (value.is(ValueKind::Mapping)) return results::pairs_key_tuple(value.pairs(), element);
    Conversion fresh{conversion.context, KeyCache(nullptr), {}};
    return value_to_object(value, fresh);
}

}  // namespace

py::ref value_to_python(const Value& value, const results::DecodeContext& context, CallKeys* keys) {
    if (keys != nullptr) keys->start_document();
    Conversion conversion{context, KeyCache(keys), {}};
    return with_stack_guard([&] { return value_to_object(value, conversion); });
}

}  // namespace quillmere::module
