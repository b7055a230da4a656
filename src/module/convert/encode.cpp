#include "module/convert/encode.h"

#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/stack_guard.h"
#include "common/utf8.h"
#include "module/options.h"
#include "py/borrow.h"
#include "py/errors.h"
#include "py/once_cell.h"
#include "py/ref.h"
#include "py/signals.h"
#include "results/types/tag.h"

namespace quillmere::module {

namespace {


constexpr std::string_view kTooDeepMessage = "object is too deeply nested to serialize (possible self-reference)";
constexpr std::string_view kBytesMessage =
    "cannot serialize bytes that are not valid UTF-8; decode them yourself (e.g. base64) before dumping";
constexpr std::string_view kTagsCallbackMessage = "a tags callback must return a QuillmereTag or a (tag, value) tuple";

// What a duck-typing rule made of an object.
enum class Outcome : std::uint8_t { Handled, NotHandled, Failed };

// The attribute names that the rules read, interned once per conversion.
enum class Name : std::uint8_t {
    Isoformat,
    Value,
    DataclassFields,
    FieldType,
    MarkerName,
    Tolist,
    Item,
    Module,
    Fspath,
};
constexpr std::array<const char*, 9> kNameTexts = {
    "isoformat", "value", "__dataclass_fields__", "_field_type", "name", "tolist", "item", "__module__", "__fspath__",
};

// The numpy ndarray and generic types as a pair, or () when numpy cannot be
// imported in this process; filled on the first conversion that asks for
// numpy support, and never again.
py::OnceCell numpy_types;

py::ref import_numpy_types() {
    py::ref numpy = py::ref::steal(PyImport_ImportModule("numpy"));
    py::ref ndarray = numpy ? py::ref::steal(PyObject_GetAttrString(numpy.get(), "ndarray")) : py::ref();
    py::ref generic = ndarray ? py::ref::steal(PyObject_GetAttrString(numpy.get(), "generic")) : py::ref();
    if (!generic) {
        PyErr_Clear();
        return py::ref::steal(PyTuple_New(0));
    }
    return py::ref::steal(PyTuple_Pack(2, ndarray.get(), generic.get()));
}

// type.__name__ without making a str: a heap type keeps it in ht_name, a
// static type's tp_name is qualified by its module.
std::string_view type_name(PyTypeObject* type) {
    if (type->tp_flags & Py_TPFLAGS_HEAPTYPE) {
        Py_ssize_t size = 0;
        const char* name = PyUnicode_AsUTF8AndSize(reinterpret_cast<PyHeapTypeObject*>(type)->ht_name, &size);
        if (name) return {name, static_cast<std::size_t>(size)};
        PyErr_Clear();
    }
    const char* name = type->tp_name;
    if (const char* dot = std::strrchr(name, '.')) name = dot + 1;
    return name;
}

bool str_equals(PyObject* str, std::string_view expected) {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(str, &size);
    if (!text) {
        PyErr_Clear();
        return false;
    }
    return std::string_view(text, static_cast<std::size_t>(size)) == expected;
}

void not_a_str_error(PyObject* object) {
    std::string message = "'";
    message += type_name(Py_TYPE(object));
    message += "' object is not an instance of 'str'";
    PyErr_SetString(PyExc_TypeError, message.c_str());
}

// 1 with the attribute in `out`; 0 when the object has none (the
// AttributeError is cleared); -1 with any other error set.
int lookup_attribute(PyObject* object, PyObject* name, py::ref& out) {
#if PY_VERSION_HEX >= 0x030D0000
    PyObject* found = nullptr;
    const int result = PyObject_GetOptionalAttr(object, name, &found);
    out = py::ref::steal(found);  // a new reference, or null
    return result;
#else
    out = py::ref::steal(PyObject_GetAttr(object, name));
    if (out) return 1;
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
    PyErr_Clear();
    return 0;
#endif
}

// The exact scalar types. Converting one runs no Python code, so a
// container can be read in place for as long as it holds only these.
bool is_inert(PyObject* object) {
    PyTypeObject* type = Py_TYPE(object);
    return type == &PyUnicode_Type || type == &PyLong_Type || type == &PyFloat_Type || type == &PyBool_Type ||
           object == Py_None;
}

// The UTF-8 text of a str. A str with lone surrogates cannot be encoded:
// it is encoded with the surrogates passed through and decoded back with
// every invalid byte replaced, so each surrogate becomes three U+FFFD. The
// view lives as long as `str` or, in that case, `keep`.
std::optional<std::string_view> utf8_text(PyObject* str, py::ref& keep) {
    Py_ssize_t size = 0;
    if (const char* text = PyUnicode_AsUTF8AndSize(str, &size))
        return std::string_view(text, static_cast<std::size_t>(size));
    if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) return std::nullopt;
    PyErr_Clear();
    py::ref bytes = py::ref::steal(PyUnicode_AsEncodedString(str, "utf-8", "surrogatepass"));
    if (!bytes) return std::nullopt;
    keep = py::ref::steal(
        PyUnicode_DecodeUTF8(PyBytes_AS_STRING(bytes.get()), PyBytes_GET_SIZE(bytes.get()), "replace"));
    if (!keep) return std::nullopt;
    const char* text = PyUnicode_AsUTF8AndSize(keep.get(), &size);
    if (!text) return std::nullopt;
    return std::string_view(text, static_cast<std::size_t>(size));
}

// Length of the zone suffix that ends an isoformat() text: "Z" or a UTC
// offset, "±HH:MM" or, for zones with historical offsets (zoneinfo's
// Europe/Amsterdam of 1900 is +00:19:32), "±HH:MM:SS" and
// "±HH:MM:SS.ffffff". The forms cannot overlap: each has ':' or a digit
// where a shorter one has its sign.
std::size_t zone_suffix_length(std::string_view text) {
    if (!text.empty() && text.back() == 'Z') return 1;
    static constexpr std::string_view kOffsets[] = {"+00:00", "+00:00:00", "+00:00:00.000000"};
    for (std::string_view form : kOffsets) {
        if (text.size() < form.size()) continue;
        const std::string_view tail = text.substr(text.size() - form.size());
        bool matches = true;
        for (std::size_t i = 0; i < form.size() && matches; ++i) {
            const char c = tail[i];
            switch (form[i]) {
                case '+':
                    matches = c == '+' || c == '-';
                    break;
                case '0':
                    matches = c >= '0' && c <= '9';
                    break;
                default:
                    matches = c == form[i];
                    break;
            }
        }
        if (matches) return form.size();
    }
    return 0;
}

// Moves the values that one container level pushed onto a shared scratch
// stack into the arena, and pops them on every path out of the level.
template <class T>
class ScratchFrame {
public:
    explicit ScratchFrame(std::vector<T>& stack) : stack_(stack), mark_(stack.size()) {}
    ScratchFrame(const ScratchFrame&) = delete;
    ScratchFrame& operator=(const ScratchFrame&) = delete;
    ~ScratchFrame() { stack_.resize(mark_); }

    std::size_t size() const { return stack_.size() - mark_; }
    T* copy_to(Arena& arena) const {
        T* array = arena.allocate_array<T>(size());
        if (array) std::memcpy(static_cast<void*>(array), stack_.data() + mark_, size() * sizeof(T));
        return array;
    }

private:
    std::vector<T>& stack_;
    std::size_t mark_;
};

// One conversion: the arena that receives the tree and what the rules
// remember while it runs. Every method runs with the interpreter lock held
// and reports a failure as nullopt (or Outcome::Failed) with the Python
// error set.
class Encoder {
public:
    Encoder(Arena& arena, PyTypeObject* tag_type) : arena_(arena), tag_type_(tag_type) {}

    // The entry of every recursive step; it lets signal handlers run now
    // and then.
    std::optional<Value> object_to_value(PyObject* object, const EncodeContext& context) {
        if (!signals_.tick()) return std::nullopt;
        return with_stack_guard([&] { return encode_object(object, context); });
    }

private:
    std::optional<Value> encode_object(PyObject* object, const EncodeContext& context);
    std::optional<Value> encode_str(PyObject* str);
    std::optional<Value> encode_int(PyObject* object);
    std::optional<Value> encode_bytes(PyObject* object);
    std::optional<Value> encode_dict(PyObject* dict, const EncodeContext& context);
    std::optional<Value> encode_sequence(PyObject* list, const EncodeContext& context);
    std::optional<Value> encode_tuple(PyObject* tuple, const EncodeContext& context);
    std::optional<Value> encode_iterable(PyObject* object, const EncodeContext& context);
    std::optional<Value> encode_tag(PyObject* tag, const EncodeContext& context);
    std::optional<Value> encode_tags_callback_result(PyObject* result, const EncodeContext& context);
    std::optional<Value> encode_unhandled(PyObject* object, const EncodeContext& context);
    bool encode_pair(PyObject* key, PyObject* value, const EncodeContext& context, Pair& pair);

    Outcome encode_special_object(PyObject* object, const EncodeContext& context, Value& out);
    Outcome encode_date_time(PyObject* object, const EncodeContext& context, Value& out);
    Outcome encode_dataclass(PyObject* object, const EncodeContext& context, Value& out);
    bool encode_dataclass_field(PyObject* object, PyObject* name, PyObject* field, const EncodeContext& context);
    Outcome encode_numpy(PyObject* object, const EncodeContext& context, Value& out);
    Outcome encode_decimal_or_uuid(PyObject* object, Value& out);
    Outcome encode_path(PyObject* object, Value& out);
    int is_real_field(PyObject* field);

    // A copy of the str's text in the arena.
    std::optional<std::string_view> copy_str(PyObject* str) {
        py::ref keep;
        const std::optional<std::string_view> text = utf8_text(str, keep);
        if (!text) return std::nullopt;
        return arena_.copy_text(*text);
    }
    static Outcome deliver(const std::optional<Value>& value, Value& out) {
        if (!value) return Outcome::Failed;
        out = *value;
        return Outcome::Handled;
    }
    // The interned name (borrowed); null with the error set.
    PyObject* name(Name which) {
        py::ref& slot = names_[static_cast<std::size_t>(which)];
        if (!slot) slot = py::ref::steal(PyUnicode_InternFromString(kNameTexts[static_cast<std::size_t>(which)]));
        return slot.get();
    }

    Arena& arena_;
    PyTypeObject* tag_type_;
    py::SignalCheck signals_;
    std::array<py::ref, kNameTexts.size()> names_;
    // Scratch stacks for collections whose size is known only at their end
    // (iterables, dataclass fields); nested levels stack above their parent.
    std::vector<Value> items_;
    std::vector<Pair> pairs_;
    // `_field_type` markers of dataclass fields already recognised, with
    // whether each marks a real field.
    std::vector<std::pair<py::ref, bool>> field_markers_;
};

// The type dispatch. `context` is this object's; everything below it is
// converted under `child`, one level deeper.
std::optional<Value> Encoder::encode_object(PyObject* object, const EncodeContext& context) {
    if (context.depth > kMaxEncodeDepth) {
        py::encode_error(kTooDeepMessage);
        return std::nullopt;
    }
    EncodeContext child = context;
    child.depth += 1;

    PyTypeObject* type = Py_TYPE(object);
    if (object == Py_None) return Value::null();
    if (type == &PyUnicode_Type) return encode_str(object);
    if (type == &PyLong_Type) return encode_int(object);
    if (type == &PyFloat_Type) return Value::floating(PyFloat_AS_DOUBLE(object));
    if (type == &PyBool_Type) return Value::boolean(object == Py_True);
    if (type == &PyList_Type) return encode_sequence(object, child);
    if (type == &PyDict_Type) return encode_dict(object, child);

    // Subclasses of int, float and str are written with their own value, as
    // json.dumps does, whatever __int__, __float__ or __str__ they define:
    // a (str, Enum) member is its text "red", never "Color.RED". IntEnum,
    // IntFlag and StrEnum members are taken here, before the enum rule.
    if (PyLong_Check(object)) return encode_int(object);
    if (PyFloat_Check(object)) return Value::floating(PyFloat_AS_DOUBLE(object));
    if (PyUnicode_Check(object)) return encode_str(object);
    if (PyBytes_Check(object)) return encode_bytes(object);
    if (type == &PyTuple_Type) return encode_tuple(object, child);
    if (PyList_Check(object) || PyTuple_Check(object) || PyAnySet_Check(object)) return encode_iterable(object, child);
    if (PyDict_Check(object)) return encode_dict(object, child);
    if (PyObject_TypeCheck(object, tag_type_)) return encode_tag(object, child);

    // The hook is keyed by the exact type; the types above never reach it.
    if (context.tags) {
        PyObject* key = reinterpret_cast<PyObject*>(type);
#if PY_VERSION_HEX >= 0x030D0000
        PyObject* found = nullptr;
        if (PyDict_GetItemRef(context.tags, key, &found) < 0) return std::nullopt;
        py::ref callback = py::ref::steal(found);  // a new reference, or null
#else
        PyObject* found = PyDict_GetItemWithError(context.tags, key);
        if (!found && PyErr_Occurred()) return std::nullopt;
        py::ref callback = py::ref::borrow(found);  // borrowed from the dict: take our own
#endif
        if (callback) {
            py::ref result = py::ref::steal(PyObject_CallOneArg(callback.get(), object));
            if (!result) return std::nullopt;
            return encode_tags_callback_result(result.get(), child);
        }
    }

    Value special;
    switch (encode_special_object(object, child, special)) {
        case Outcome::Handled:
            return special;
        case Outcome::Failed:
            return std::nullopt;
        case Outcome::NotHandled:
            break;
    }
    return encode_unhandled(object, child);
}

std::optional<Value> Encoder::encode_unhandled(PyObject* object, const EncodeContext& child) {
    if (child.default_) {
        py::ref result = py::ref::steal(PyObject_CallOneArg(child.default_, object));
        if (!result) return std::nullopt;
        // `default` is applied once: never to what it returned, nor below it.
        EncodeContext without_default = child;
        without_default.default_ = nullptr;
        return object_to_value(result.get(), without_default);
    }
    std::string message = "type ";
    message += type_name(Py_TYPE(object));
    message += " is not YAML serializable";
    py::unserializable_error(message);
    return std::nullopt;
}

std::optional<Value> Encoder::encode_str(PyObject* str) {
    const std::optional<std::string_view> text = copy_str(str);
    if (!text) return std::nullopt;
    return Value::string(*text, arena_);
}

// Int when the value fits in 64 bits, else BigInt with its decimal text,
// made by int's own repr so that a subclass's overrides play no part. That
// may fail (the interpreter's limit on the digits of int-to-text
// conversion), and then its error is the result.
std::optional<Value> Encoder::encode_int(PyObject* object) {
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(object, &overflow);
    if (overflow == 0) {
        if (value == -1 && PyErr_Occurred()) return std::nullopt;
        return Value::integer(value);
    }
    py::ref digits = py::ref::steal(PyLong_Type.tp_repr(object));
    if (!digits) return std::nullopt;
    const std::optional<std::string_view> text = copy_str(digits.get());
    if (!text) return std::nullopt;
    return Value::big_int(*text, arena_);
}

std::optional<Value> Encoder::encode_bytes(PyObject* object) {
    const std::string_view bytes(PyBytes_AS_STRING(object), static_cast<std::size_t>(PyBytes_GET_SIZE(object)));
    if (!is_valid_utf8(bytes)) {
        py::encode_error(kBytesMessage);
        return std::nullopt;
    }
    return Value::string(arena_.copy_text(bytes), arena_);
}

bool Encoder::encode_pair(PyObject* key, PyObject* value, const EncodeContext& context, Pair& pair) {
    const std::optional<Value> k = object_to_value(key, context);
    if (!k) return false;
    const std::optional<Value> v = object_to_value(value, context);
    if (!v) return false;
    pair = Pair{*k, *v};
    return true;
}

// A dict or a dict subclass, in insertion order. Hooks that run while its
// pairs are converted may change it; they must not change the result, so
// the pairs are converted from a snapshot. Pairs of exact scalars run no
// Python code, so the leading run of them is read from the dict itself and
// the snapshot is taken only from the first other pair on, or from the pair
// before which signal handlers are due to run.
std::optional<Value> Encoder::encode_dict(PyObject* dict, const EncodeContext& context) {
    const auto size = static_cast<std::size_t>(PyDict_GET_SIZE(dict));
    Pair* pairs = arena_.allocate_array<Pair>(size);
    std::size_t count = 0;
    Py_ssize_t position = 0;
    Py_ssize_t resume = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    bool rest = false;
    for (;;) {
        resume = position;
        if (!PyDict_Next(dict, &position, &key, &value)) break;  // borrowed key and value
        if (!is_inert(key) || !is_inert(value) || signals_.due()) {
            rest = true;
            break;
        }
        if (!encode_pair(key, value, context, pairs[count])) return std::nullopt;
        ++count;
    }
    if (!rest) return Value::mapping(pairs, count);

    // No Python code has run yet, so the dict still has `size` pairs.
    std::vector<py::ref> snapshot;
    snapshot.reserve(2 * (size - count));
    position = resume;
    while (PyDict_Next(dict, &position, &key, &value)) {
        snapshot.push_back(py::ref::borrow(key));
        snapshot.push_back(py::ref::borrow(value));
    }
    if (count + snapshot.size() / 2 > size) {
        py::raise_fault("dict changed size while its pairs were read");
        return std::nullopt;
    }
    for (std::size_t i = 0; i < snapshot.size(); i += 2) {
        if (!encode_pair(snapshot[i].get(), snapshot[i + 1].get(), context, pairs[count])) return std::nullopt;
        ++count;
    }
    return Value::mapping(pairs, count);
}

// An exact list, converted from a snapshot of its items in the same way as
// a dict's pairs.
std::optional<Value> Encoder::encode_sequence(PyObject* list, const EncodeContext& context) {
    const Py_ssize_t size = PyList_GET_SIZE(list);
    Value* items = arena_.allocate_array<Value>(static_cast<std::size_t>(size));
    Py_ssize_t count = 0;
    for (; count < size; ++count) {
        PyObject* item = PyList_GET_ITEM(list, count);  // borrowed
        if (!is_inert(item) || signals_.due()) break;
        const std::optional<Value> value = object_to_value(item, context);
        if (!value) return std::nullopt;
        items[count] = *value;
    }
    if (count == size) return Value::sequence(items, static_cast<std::size_t>(size));

    // No Python code has run yet, so the list still has `size` items.
    std::vector<py::ref> snapshot;
    snapshot.reserve(static_cast<std::size_t>(size - count));
    for (Py_ssize_t i = count; i < size; ++i) snapshot.push_back(py::ref::borrow(PyList_GET_ITEM(list, i)));
    for (const py::ref& item : snapshot) {
        const std::optional<Value> value = object_to_value(item.get(), context);
        if (!value) return std::nullopt;
        items[count++] = *value;
    }
    return Value::sequence(items, static_cast<std::size_t>(count));
}

// An exact tuple cannot change and iterates in index order: it is read in
// place.
std::optional<Value> Encoder::encode_tuple(PyObject* tuple, const EncodeContext& context) {
    const Py_ssize_t size = PyTuple_GET_SIZE(tuple);
    Value* items = arena_.allocate_array<Value>(static_cast<std::size_t>(size));
    for (Py_ssize_t i = 0; i < size; ++i) {
        const std::optional<Value> value = object_to_value(PyTuple_GET_ITEM(tuple, i), context);
        if (!value) return std::nullopt;
        items[i] = *value;
    }
    return Value::sequence(items, static_cast<std::size_t>(size));
}

// List subclasses, tuple subclasses, sets and frozensets: whatever iter()
// yields, converted as it comes. An error of the iteration itself (a set
// changed meanwhile) ends the conversion.
std::optional<Value> Encoder::encode_iterable(PyObject* object, const EncodeContext& context) {
    py::ref iterator = py::ref::steal(PyObject_GetIter(object));
    if (!iterator) return std::nullopt;
    ScratchFrame<Value> frame(items_);
    while (py::ref item = py::ref::steal(PyIter_Next(iterator.get()))) {
        const std::optional<Value> value = object_to_value(item.get(), context);
        if (!value) return std::nullopt;
        items_.push_back(*value);
    }
    if (PyErr_Occurred()) return std::nullopt;
    return Value::sequence(frame.copy_to(arena_), frame.size());
}

// A QuillmereTag: its tag text as it stands and its converted value. The
// text and the value are taken under a shared borrow, which is released
// before the value is converted (the conversion runs caller code).
std::optional<Value> Encoder::encode_tag(PyObject* object, const EncodeContext& context) {
    auto* tag = reinterpret_cast<results::TagObject*>(object);
    std::string_view text;
    py::ref value;
    {
        py::Borrow borrow = py::Borrow::shared(tag->borrow);
        if (!borrow.ok()) return std::nullopt;
        text = arena_.copy_text({tag->tag, static_cast<std::size_t>(tag->tag_size)});
        value = tag->value ? py::ref::borrow(tag->value) : py::none();
    }
    const std::optional<Value> inner = object_to_value(value.get(), context);
    if (!inner) return std::nullopt;
    return Value::tagged(text, *inner, arena_);
}

std::optional<Value> Encoder::encode_tags_callback_result(PyObject* result, const EncodeContext& context) {
    if (PyObject_TypeCheck(result, tag_type_)) return encode_tag(result, context);
    if (PyTuple_Check(result) && PyTuple_GET_SIZE(result) == 2) {
        PyObject* tag = PyTuple_GET_ITEM(result, 0);  // borrowed from the tuple, which `result`'s owner holds
        if (!PyUnicode_Check(tag)) {
            not_a_str_error(tag);
            return std::nullopt;
        }
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(tag, &size);
        if (!text) return std::nullopt;
        const std::string_view tag_text = arena_.copy_text({text, static_cast<std::size_t>(size)});
        const std::optional<Value> inner = object_to_value(PyTuple_GET_ITEM(result, 1), context);
        if (!inner) return std::nullopt;
        return Value::tagged(tag_text, *inner, arena_);
    }
    py::encode_error(kTagsCallbackMessage);
    return std::nullopt;
}

// The duck-typed rules, in order; none of the modules involved is imported
// to recognise its objects.
Outcome Encoder::encode_special_object(PyObject* object, const EncodeContext& context, Value& out) {
    Outcome outcome = encode_date_time(object, context, out);
    if (outcome != Outcome::NotHandled) return outcome;

    // An enum member (not an int or str one): its value. The metaclass is
    // recognised by its name only, so a renamed derived metaclass is not.
    const std::string_view metaclass = type_name(Py_TYPE(Py_TYPE(object)));
    if (metaclass == "EnumType" || metaclass == "EnumMeta") {
        PyObject* attribute = name(Name::Value);
        if (!attribute) return Outcome::Failed;
        py::ref value = py::ref::steal(PyObject_GetAttr(object, attribute));
        if (!value) return Outcome::Failed;
        return deliver(object_to_value(value.get(), context), out);
    }

    if (!context.passthrough_dataclass) {
        outcome = encode_dataclass(object, context, out);
        if (outcome != Outcome::NotHandled) return outcome;
    }
    if (context.serialize_numpy) {
        outcome = encode_numpy(object, context, out);
        if (outcome != Outcome::NotHandled) return outcome;
    }
    outcome = encode_decimal_or_uuid(object, out);
    if (outcome != Outcome::NotHandled) return outcome;
    return encode_path(object, out);
}

// Anything with an isoformat() that returns a str: dates, times and
// datetimes. The text is split into its main part and its zone suffix,
// and the flags act on those:
//
//     2024-01-02T03:04:05.000006          as it stands
//     2024-01-02T03:04:05                 omit_microseconds
//     2024-01-02T03:04:05.000006+00:00    naive_utc (only with a 'T' and no suffix)
//     2024-01-02T03:04:05.000006Z         naive_utc and utc_z (a suffix of +00:00 becomes Z)
//     1900-01-01T00:00:00+00:19:32        an offset with seconds is a suffix too
std::string_view date_time_text(Arena& arena, std::string_view text, const EncodeContext& context) {
    std::string_view suffix = text.substr(text.size() - zone_suffix_length(text));
    std::string_view main = text.substr(0, text.size() - suffix.size());
    const bool has_time = main.find('T') != std::string_view::npos;
    if (context.omit_microseconds) main = main.substr(0, main.find('.'));
    if (context.naive_utc && suffix.empty() && has_time) suffix = "+00:00";
    if (context.utc_z && suffix == "+00:00") suffix = "Z";
    const std::size_t size = main.size() + suffix.size();
    if (size == 0) return {};
    char* buffer = static_cast<char*>(arena.allocate(size, 1));
    std::memcpy(buffer, main.data(), main.size());
    std::memcpy(buffer + main.size(), suffix.data(), suffix.size());
    return std::string_view(buffer, size);
}

Outcome Encoder::encode_date_time(PyObject* object, const EncodeContext& context, Value& out) {
    PyObject* attribute = name(Name::Isoformat);
    if (!attribute) return Outcome::Failed;
    py::ref method;
    if (lookup_attribute(object, attribute, method) <= 0) {
        PyErr_Clear();  // any failure to read it only means "not a date"
        return Outcome::NotHandled;
    }
    if (context.passthrough_datetime) return Outcome::NotHandled;
    py::ref text = py::ref::steal(PyObject_CallNoArgs(method.get()));
    if (!text) return Outcome::Failed;
    if (!PyUnicode_Check(text.get())) return Outcome::NotHandled;
    py::ref keep;
    const std::optional<std::string_view> iso = utf8_text(text.get(), keep);
    if (!iso) return Outcome::Failed;
    out = Value::string(date_time_text(arena_, *iso, context), arena_);
    out.note_date_time_text();
    return Outcome::Handled;
}

// 1 when a `__dataclass_fields__` entry is a real field, 0 for the
// ClassVar and InitVar pseudo-fields, which are no attributes of the
// instance; -1 with the error set. The kind is the field's `_field_type`
// marker, whose `name` is "_FIELD" for a real field; markers are
// remembered by identity for the rest of the conversion. An entry without a
// marker (a hand-made table) counts as a field.
int Encoder::is_real_field(PyObject* field) {
    PyObject* attribute = name(Name::FieldType);
    if (!attribute) return -1;
    py::ref marker;
    const int found = lookup_attribute(field, attribute, marker);
    if (found <= 0) return found == 0 ? 1 : -1;
    for (const auto& [known, real] : field_markers_) {
        if (known.get() == marker.get()) return real ? 1 : 0;
    }
    PyObject* marker_attribute = name(Name::MarkerName);
    if (!marker_attribute) return -1;
    py::ref marker_name;
    if (lookup_attribute(marker.get(), marker_attribute, marker_name) < 0) return -1;
    const bool real = marker_name && PyUnicode_Check(marker_name.get()) && str_equals(marker_name.get(), "_FIELD");
    field_markers_.emplace_back(std::move(marker), real);
    return real ? 1 : 0;
}

// One entry of `__dataclass_fields__`: nothing for a pseudo-field, else
// the pair (name, converted attribute) pushed onto the pair stack. `field`
// is null when the table gives names only. False with the error set.
bool Encoder::encode_dataclass_field(PyObject* object, PyObject* field_name, PyObject* field,
                                     const EncodeContext& context) {
    if (!PyUnicode_Check(field_name)) {
        not_a_str_error(field_name);
        return false;
    }
    if (field) {
        const int real = is_real_field(field);
        if (real <= 0) return real == 0;
    }
    py::ref attribute = py::ref::steal(PyObject_GetAttr(object, field_name));
    if (!attribute) return false;
    const std::optional<std::string_view> key = copy_str(field_name);
    if (!key) return false;
    const std::optional<Value> value = object_to_value(attribute.get(), context);
    if (!value) return false;
    pairs_.push_back(Pair{Value::string(*key, arena_), *value});
    return true;
}

// A dataclass instance (not the class itself): a Mapping of its fields in
// definition order.
Outcome Encoder::encode_dataclass(PyObject* object, const EncodeContext& context, Value& out) {
    PyObject* attribute = name(Name::DataclassFields);
    if (!attribute) return Outcome::Failed;
    py::ref fields;
    const int found = lookup_attribute(object, attribute, fields);
    if (found < 0) return Outcome::Failed;
    if (found == 0 || PyType_Check(object)) return Outcome::NotHandled;

    ScratchFrame<Pair> frame(pairs_);
    if (PyDict_Check(fields.get())) {
        // A snapshot: attribute reads run caller code, which could change
        // the class's table.
        std::vector<py::ref> snapshot;
        snapshot.reserve(2 * static_cast<std::size_t>(PyDict_GET_SIZE(fields.get())));
        Py_ssize_t position = 0;
        PyObject* field_name = nullptr;
        PyObject* field = nullptr;
        while (PyDict_Next(fields.get(), &position, &field_name, &field)) {  // borrowed
            snapshot.push_back(py::ref::borrow(field_name));
            snapshot.push_back(py::ref::borrow(field));
        }
        for (std::size_t i = 0; i < snapshot.size(); i += 2) {
            if (!encode_dataclass_field(object, snapshot[i].get(), snapshot[i + 1].get(), context))
                return Outcome::Failed;
        }
    } else {
        py::ref iterator = py::ref::steal(PyObject_GetIter(fields.get()));
        if (!iterator) return Outcome::Failed;
        while (py::ref field_name = py::ref::steal(PyIter_Next(iterator.get()))) {
            if (!encode_dataclass_field(object, field_name.get(), nullptr, context)) return Outcome::Failed;
        }
        if (PyErr_Occurred()) return Outcome::Failed;
    }
    out = Value::mapping(frame.copy_to(arena_), frame.size());
    return Outcome::Handled;
}

// A numpy array or scalar: tolist(), or item() when that fails, converted
// like any other object.
Outcome Encoder::encode_numpy(PyObject* object, const EncodeContext& context, Value& out) {
    PyObject* types = numpy_types.get(import_numpy_types);  // borrowed from the cell
    if (!types) return Outcome::Failed;
    if (PyTuple_GET_SIZE(types) != 2) return Outcome::NotHandled;
    int match = PyObject_IsInstance(object, PyTuple_GET_ITEM(types, 0));
    if (match == 0) match = PyObject_IsInstance(object, PyTuple_GET_ITEM(types, 1));
    if (match < 0) return Outcome::Failed;
    if (match == 0) return Outcome::NotHandled;

    PyObject* tolist = name(Name::Tolist);
    PyObject* item = name(Name::Item);
    if (!tolist || !item) return Outcome::Failed;
    py::ref plain = py::ref::steal(PyObject_CallMethodNoArgs(object, tolist));
    if (!plain) {
        PyErr_Clear();
        plain = py::ref::steal(PyObject_CallMethodNoArgs(object, item));
    }
    if (!plain) {
        PyErr_Clear();
        return Outcome::NotHandled;
    }
    return deliver(object_to_value(plain.get(), context), out);
}

// decimal.Decimal as a float (a signalling NaN, which has none, as its
// text) and uuid.UUID as its text, told by the type's name and module.
Outcome Encoder::encode_decimal_or_uuid(PyObject* object, Value& out) {
    PyTypeObject* type = Py_TYPE(object);
    const std::string_view type_text = type_name(type);
    const bool decimal = type_text == "Decimal";
    if (!decimal && type_text != "UUID") return Outcome::NotHandled;
    PyObject* attribute = name(Name::Module);
    if (!attribute) return Outcome::Failed;
    py::ref module = py::ref::steal(PyObject_GetAttr(reinterpret_cast<PyObject*>(type), attribute));
    if (!module) return Outcome::Failed;
    if (!PyUnicode_Check(module.get())) {
        not_a_str_error(module.get());
        return Outcome::Failed;
    }
    if (!str_equals(module.get(), decimal ? "decimal" : "uuid")) return Outcome::NotHandled;
    if (decimal) {
        const double number = PyFloat_AsDouble(object);
        if (!(number == -1.0 && PyErr_Occurred())) {
            out = Value::floating(number);
            return Outcome::Handled;
        }
        PyErr_Clear();
    }
    py::ref text = py::ref::steal(PyObject_Str(object));
    if (!text) return Outcome::Failed;
    return deliver(encode_str(text.get()), out);
}

// A path-like object whose __fspath__() gives a str; a bytes path is not
// handled.
Outcome Encoder::encode_path(PyObject* object, Value& out) {
    PyObject* attribute = name(Name::Fspath);
    if (!attribute) return Outcome::Failed;
    py::ref method;
    const int found = lookup_attribute(object, attribute, method);
    if (found <= 0) return found == 0 ? Outcome::NotHandled : Outcome::Failed;
    py::ref path = py::ref::steal(PyObject_CallNoArgs(method.get()));
    if (!path) return Outcome::Failed;
    if (!PyUnicode_Check(path.get())) return Outcome::NotHandled;
    return deliver(encode_str(path.get()), out);
}

}  // namespace

EncodeContext encode_context_from_options(std::uint64_t options, PyObject* default_, PyObject* tags) {
    EncodeContext context;
    context.default_ = default_;
    context.tags = tags;
    context.serialize_numpy = (options & OPT_SERIALIZE_NUMPY) != 0;
    context.omit_microseconds = (options & OPT_OMIT_MICROSECONDS) != 0;
    context.naive_utc = (options & OPT_NAIVE_UTC) != 0;
    context.utc_z = (options & OPT_UTC_Z) != 0;
    context.passthrough_datetime = (options & OPT_PASSTHROUGH_DATETIME) != 0;
    context.passthrough_dataclass = (options & OPT_PASSTHROUGH_DATACLASS) != 0;
    return context;
}

std::optional<Value> object_to_value(PyObject* object, const EncodeContext& context, Arena& arena) {
    PyTypeObject* tag = results::tag_type();
    if (!tag) return std::nullopt;
    Encoder encoder(arena, tag);
    return encoder.object_to_value(object, context);
}

}  // namespace quillmere::module
