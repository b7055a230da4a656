#include "results/tree_values.h"

#include <string>
#include <utility>
#include <vector>

#include "common/stack_guard.h"
#include "encode/quoting.h"
#include "encode/scalar_text.h"
#include "py/signals.h"
#include "resolver/resolver.h"
#include "results/tree_reader.h"

namespace quillmere::results {

using roundtrip::NodePair;
using roundtrip::YamlNode;

// ------------------------------------------------------------------ reading

py::ref to_python(const YamlNode& node, resolver::ResolveMode mode, AliasCache& cache) {
    ReadOptions options;
    options.mode = mode;
    TreeReader reader(options, cache);
    return with_stack_guard([&] { return reader.value(node); });
}

py::ref to_python_key(const YamlNode& node, resolver::ResolveMode mode, AliasCache& cache) {
    ReadOptions options;
    options.mode = mode;
    TreeReader reader(options, cache);
    return with_stack_guard([&] { return reader.key(node); });
}

bool is_collection_node(const YamlNode& node, AliasCache& cache) {
    const ReadOptions options;
    return TreeReader(options, cache).is_collection(node);
}

// ------------------------------------------------------------------ writing

namespace {

constexpr std::uint32_t kMaxAssignDepth = 999;

YamlNode plain_scalar(std::string text) { return YamlNode::scalar(std::move(text), ScalarStyle::Plain); }

// Clears the pending error when it is a `kind`, the failure of a probe that
// only means "not this kind of value". Anything else (an error of the
// value's own conversion code, KeyboardInterrupt, MemoryError) stays set.
bool clear_if(PyObject* kind) {
    if (!PyErr_ExceptionMatches(kind)) return false;
    PyErr_Clear();
    return true;
}

// Exactly bool, or numpy's bool_ (recognised by its type, without importing
// numpy). Nothing when the value is no boolean, with the error of a probe
// set when it failed otherwise than by saying "no".
std::optional<bool> boolean_value(PyObject* value) {
    if (PyBool_Check(value)) return value == Py_True;
    PyTypeObject* type = Py_TYPE(value);
    py::ref module = py::ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__module__"));
    if (!module) {
        clear_if(PyExc_AttributeError);
        return std::nullopt;
    }
    if (!PyUnicode_Check(module.get()) || PyUnicode_CompareWithASCIIString(module.get(), "numpy") != 0)
        return std::nullopt;
    py::ref name = py::ref::steal(PyType_GetName(type));
    if (!name) return std::nullopt;
    if (PyUnicode_CompareWithASCIIString(name.get(), "bool_") != 0 &&
        PyUnicode_CompareWithASCIIString(name.get(), "bool") != 0)
        return std::nullopt;
    if (!type->tp_as_number || !type->tp_as_number->nb_bool) return std::nullopt;
    const int truth = type->tp_as_number->nb_bool(value);
    if (truth < 0) {
        clear_if(PyExc_TypeError);
        return std::nullopt;
    }
    return truth != 0;
}

class Writer {
public:
    Writer(bool prefer_double_quotes, bool yaml11) : prefer_double_quotes_(prefer_double_quotes), yaml11_(yaml11) {}

    std::optional<YamlNode> node(PyObject* value, std::uint32_t depth) {
        if (depth > kMaxAssignDepth) {
            PyErr_SetString(PyExc_ValueError, "value is too deeply nested to assign (possible self-reference)");
            return std::nullopt;
        }
        if (!signals_.tick()) return std::nullopt;
        if (value == Py_None) {
            YamlNode null = YamlNode::null();
            null.synthetic = true;
            return null;
        }
        // Each probe either decides, or says "not this kind" with no error
        // set, or fails with the error that ends the conversion.
        if (const std::optional<bool> truth = boolean_value(value)) return plain_scalar(*truth ? "true" : "false");
        if (PyErr_Occurred()) return std::nullopt;
        if (std::optional<YamlNode> number = integer(value)) return number;
        if (PyErr_Occurred()) return std::nullopt;
        if (std::optional<YamlNode> number = floating(value)) return number;
        if (PyErr_Occurred()) return std::nullopt;
        if (PyUnicode_Check(value)) {
            Py_ssize_t size = 0;
            if (const char* text = PyUnicode_AsUTF8AndSize(value, &size)) {
                const std::string_view view(text, static_cast<std::size_t>(size));
                return YamlNode::scalar(std::string(view), choose_string_style(view, prefer_double_quotes_, yaml11_));
            }
            if (!clear_if(PyExc_UnicodeEncodeError)) return std::nullopt;  // lone surrogates: no YAML text
        } else if (PyList_Check(value)) {
            return sequence(value, depth);
        } else if (PyDict_Check(value)) {
            return mapping(value, depth);
        }
        py::ref repr = py::ref::steal(PyObject_Repr(value));
        if (!repr) return std::nullopt;
        PyErr_Format(PyExc_TypeError, "cannot convert %U to a YAML node", repr.get());
        return std::nullopt;
    }

private:
    // An int, or the int that __index__ gives: its decimal text (by str()
    // beyond 64 bits). A TypeError of __index__ means "not an integer".
    std::optional<YamlNode> integer(PyObject* value) {
        py::ref whole = py::ref::borrow(value);
        if (!PyLong_Check(value)) {
            if (!PyIndex_Check(value)) return std::nullopt;
            whole = py::ref::steal(PyNumber_Index(value));
            if (!whole) {
                clear_if(PyExc_TypeError);
                return std::nullopt;
            }
        }
        const long number = PyLong_AsLong(whole.get());
        if (!(number == -1 && PyErr_Occurred())) return plain_scalar(std::to_string(number));
        if (!clear_if(PyExc_OverflowError)) return std::nullopt;
        py::ref text = py::ref::steal(PyObject_Str(whole.get()));
        if (!text) return std::nullopt;
        Py_ssize_t size = 0;
        const char* digits = PyUnicode_AsUTF8AndSize(text.get(), &size);
        if (!digits) return std::nullopt;
        return plain_scalar(std::string(digits, static_cast<std::size_t>(size)));
    }

    std::optional<YamlNode> floating(PyObject* value) {
        double number = 0.0;
        if (PyFloat_CheckExact(value)) {
            number = PyFloat_AS_DOUBLE(value);
        } else {
            number = PyFloat_AsDouble(value);
            if (number == -1.0 && PyErr_Occurred()) {
                clear_if(PyExc_TypeError);  // no float conversion: not a number
                return std::nullopt;
            }
        }
        return plain_scalar(encode::format_float(number));
    }

    // Items by position: a conversion hook of an item may change the list.
    std::optional<YamlNode> sequence(PyObject* list, std::uint32_t depth) {
        std::vector<YamlNode> items;
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) {
            py::ref item = py::ref::borrow(PyList_GET_ITEM(list, i));
            std::optional<YamlNode> child = with_stack_guard([&] { return node(item.get(), depth + 1); });
            if (!child) return std::nullopt;
            items.push_back(std::move(*child));
        }
        return YamlNode::sequence(std::move(items), CollectionStyle::Block);
    }

    // Entries in iteration order, from a snapshot taken first.
    std::optional<YamlNode> mapping(PyObject* dict, std::uint32_t depth) {
        py::ref entries = py::ref::steal(PyDict_Items(dict));
        if (!entries) return std::nullopt;
        std::vector<NodePair> pairs;
        pairs.reserve(static_cast<std::size_t>(PyList_GET_SIZE(entries.get())));
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(entries.get()); ++i) {
            PyObject* entry = PyList_GET_ITEM(entries.get(), i);
            std::optional<YamlNode> key =
                with_stack_guard([&] { return node(PyTuple_GET_ITEM(entry, 0), depth + 1); });
            if (!key) return std::nullopt;
            std::optional<YamlNode> item =
                with_stack_guard([&] { return node(PyTuple_GET_ITEM(entry, 1), depth + 1); });
            if (!item) return std::nullopt;
            pairs.push_back(NodePair{std::move(*key), std::move(*item)});
        }
        return YamlNode::mapping(std::move(pairs), CollectionStyle::Block);
    }

    bool prefer_double_quotes_;
    bool yaml11_;
    py::SignalCheck signals_;
};

}  // namespace

std::optional<YamlNode> from_python(PyObject* value, bool prefer_double_quotes, std::uint32_t depth, bool yaml11) {
    Writer writer(prefer_double_quotes, yaml11);
    return with_stack_guard([&] { return writer.node(value, depth); });
}

ScalarStyle choose_string_style(std::string_view text, bool prefer_double_quotes, bool yaml11) {
    const bool plain_reads_back =
        !encode::needs_quotes(text) &&
        (!yaml11 || resolver::resolve_yaml11(false, text, false, std::nullopt).kind == resolver::ResolvedKind::Str);
    if (plain_reads_back) return ScalarStyle::Plain;
    if (prefer_double_quotes) return ScalarStyle::DoubleQuoted;
    if (text.find_first_of("'\n\r") != std::string_view::npos) return ScalarStyle::DoubleQuoted;
    return ScalarStyle::SingleQuoted;
}

}  // namespace quillmere::results
