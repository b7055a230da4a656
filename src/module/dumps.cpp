// dumps and to_json: Python objects to YAML or JSON text.
//
// A call runs in two halves. With the interpreter lock held, the arguments
// become the writer's configuration and an EncodeContext, and the object
// becomes a Value tree whose texts all live in the tree's Arena (running
// the caller's hooks as needed). Then the lock is released while the engine
// writes the text into a buffer and the arena is dropped, and the text is
// returned as one bytes object:
//
//     dumps({"a": 1, "b": [None, "x"]})                    -> b"a: 1\nb:\n  -\n  - x\n"
//     dumps(None, null_style="~")                           -> b"~\n"
//     dumps([1], option=OPT_FLOW_STYLE | OPT_EXPLICIT_END)  -> b"[1]\n...\n"
//     to_json({"a": (1, 2.5)})                              -> b'{"a":[1,2.5]}'
//     to_json([None], option=OPT_INDENT_2)                  -> b'[\n  null\n]'
//
// A round-trip document is written as its own serialisation, whatever the
// options say; a document view stands for its plain value (to_dict()).
//
// While the lock is released only the call's own tree and buffer are used.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/arena.h"
#include "common/utf8.h"
#include "document/document_api.h"
#include "encode/emitter.h"
#include "encode/json_writer.h"
#include "module/arguments.h"
#include "module/convert/encode.h"
#include "module/functions.h"
#include "module/options.h"
#include "py/args.h"
#include "py/entry.h"
#include "py/errors.h"
#include "py/gil.h"

namespace quillmere::module {

namespace {

using encode::NullStyle;

constexpr std::size_t kInitialOutputCapacity = 1024;

// Room for the text of a tree: its arena's size, which holds every text of
// the tree plus 16 bytes a value and 32 a pair, more than the indentation
// and indicators that the writers add on all but the deepest trees. The
// text is then written into one buffer, not copied along as it grows; the
// pages reserved past its end are never touched.
std::size_t output_capacity(const Arena& tree) { return std::max(kInitialOutputCapacity, tree.reserved()); }

// `width`: an int in 0..2^64-1, or absent (0, no folding).
bool width_from_argument(PyObject* value, std::uint64_t& width) {
    width = 0;
    if (!value) return true;
    const unsigned long long number = PyLong_AsUnsignedLongLong(value);
    if (number == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        py::add_argument_note("width");
        return false;
    }
    width = number;
    return true;
}

// `null_style`: absent, or a str whose UTF-8 text is returned in `text`
// (owned by the str).
bool null_style_from_argument(PyObject* value, std::string_view& text) {
    if (!value) return true;
    if (!PyUnicode_Check(value)) {
        PyErr_Format(PyExc_TypeError, "expected str, not %.200s", Py_TYPE(value)->tp_name);
        py::add_argument_note("null_style");
        return false;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(value, &size);
    if (!utf8) {
        py::add_argument_note("null_style");
        return false;
    }
    text = std::string_view(utf8, static_cast<std::size_t>(size));
    return true;
}

// `tags` of dumps: absent, or a dict (a subclass counts) of type -> callable.
bool dump_tags_from_argument(PyObject* value) {
    if (!value || PyDict_Check(value)) return true;
    PyErr_Format(PyExc_TypeError, "expected dict, not %.200s", Py_TYPE(value)->tp_name);
    py::add_argument_note("tags");
    return false;
}

// The text of `str` in double quotes for a message: a backslash before '"'
// and '\', \t \r \n for tab, carriage return and line feed, and every
// other character that str.isprintable() refuses as \u{hex}.
void append_quoted(std::string& out, PyObject* str) {
    const int kind = PyUnicode_KIND(str);
    const void* data = PyUnicode_DATA(str);
    const Py_ssize_t length = PyUnicode_GET_LENGTH(str);
    out += '"';
    for (Py_ssize_t i = 0; i < length; ++i) {
        const Py_UCS4 c = PyUnicode_READ(kind, data, i);
        append_quoted_char(out, c, Py_UNICODE_ISPRINTABLE(c));
    }
    out += '"';
}

// How None is written. A given null_style decides alone; without one the
// two option bits do, and may not both be set.
std::optional<NullStyle> resolve_null_style(PyObject* null_style, std::string_view text, std::uint64_t options) {
    if (null_style) {
        if (text == "null") return NullStyle::Keyword;
        if (text == "empty") return NullStyle::Empty;
        if (text == "~" || text == "tilde") return NullStyle::Tilde;
        std::string message = "null_style must be 'null', 'empty', or '~', not ";
        append_quoted(message, null_style);
        PyErr_SetString(PyExc_ValueError, message.c_str());
        return std::nullopt;
    }
    const bool keyword = (options & OPT_NULL_AS_KEYWORD) != 0;
    const bool tilde = (options & OPT_NULL_AS_TILDE) != 0;
    if (keyword && tilde) {
        PyErr_SetString(PyExc_ValueError, "OPT_NULL_AS_KEYWORD and OPT_NULL_AS_TILDE are mutually exclusive");
        return std::nullopt;
    }
    if (keyword) return NullStyle::Keyword;
    if (tilde) return NullStyle::Tilde;
    return NullStyle::Empty;
}

// A QuillmereDocumentView (or a subclass) stands for its plain value: its
// to_dict() replaces `obj`. False with the error set.
bool replace_view_by_value(py::ref& obj) {
    if (!document::is_document_view(obj.get())) return !PyErr_Occurred();
    py::ref value = py::ref::steal(PyObject_CallMethod(obj.get(), "to_dict", nullptr));
    if (!value) return false;
    obj = std::move(value);
    return true;
}

py::ref bytes_from(const std::string& text) {
    return py::ref::steal(PyBytes_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

struct DumpArguments {
    py::ref obj, default_, option, null_style, tags, width;
};

py::ref dump_yaml(const DumpArguments& arguments) {
    std::uint64_t options = 0;
    if (!options_from_argument(arguments.option.get(), options)) return {};
    std::string_view null_text;
    if (!null_style_from_argument(arguments.null_style.get(), null_text)) return {};
    if (!dump_tags_from_argument(arguments.tags.get())) return {};
    std::uint64_t width = 0;
    if (!width_from_argument(arguments.width.get(), width)) return {};
    // A document is its own serialisation, untouched by the dump options.
    if (document::is_document(arguments.obj.get())) {
        std::optional<document::SharedDocument> document = document::SharedDocument::take(arguments.obj.get());
        if (!document) return {};
        return document::document_to_yaml(document->state());
    }
    if (PyErr_Occurred()) return {};
    py::ref obj = py::ref::borrow(arguments.obj.get());
    if (!replace_view_by_value(obj)) return {};

    const std::optional<NullStyle> null_style = resolve_null_style(arguments.null_style.get(), null_text, options);
    if (!null_style) return {};
    encode::EmitterConfig config;
    config.indent = (options & OPT_INDENT_4) ? 4 : 2;
    config.width = width;
    config.null_style = *null_style;
    config.sort_keys = (options & OPT_SORT_KEYS) != 0;
    config.flow_style = (options & OPT_FLOW_STYLE) != 0;
    config.explicit_start = (options & OPT_EXPLICIT_START) != 0;
    config.explicit_end = (options & OPT_EXPLICIT_END) != 0;
    config.prefer_double_quotes = (options & OPT_SINGLE_QUOTES) == 0;
    config.indentless_sequences = (options & OPT_INDENTLESS_SEQUENCES) != 0;

    const EncodeContext context =
        encode_context_from_options(options, arguments.default_.get(), arguments.tags.get());
    Arena arena;
    const std::optional<Value> root = object_to_value(obj.get(), context, arena);
    if (!root) return {};

    std::string text;
    {
        py::GilRelease unlocked;
        text.reserve(output_capacity(arena));
        encode::emit_document(text, *root, config);
        Arena tree = std::move(arena);  // the tree is freed here, still without the lock
    }
    if (py::raise_if_out_of_memory()) return {};
    return bytes_from(text);
}

py::ref dump_json(PyObject* obj_argument, PyObject* default_, PyObject* option) {
    std::uint64_t options = 0;
    if (!options_from_argument(option, options)) return {};
    // A document or view is written as its to_dict(); a document of an
    // empty stream as null, converting nothing.
    py::ref obj = py::ref::borrow(obj_argument);
    if (document::is_document(obj.get())) {
        std::optional<document::SharedDocument> document = document::SharedDocument::take(obj.get());
        if (!document) return {};
        if (document->state().documents.empty()) return py::ref::steal(PyBytes_FromStringAndSize("null", 4));
        document.reset();
        py::ref value = py::ref::steal(PyObject_CallMethod(obj.get(), "to_dict", nullptr));
        if (!value) return {};
        obj = std::move(value);
    } else if (PyErr_Occurred() || !replace_view_by_value(obj)) {
        return {};
    }

    const EncodeContext context = encode_context_from_options(options, default_, nullptr);
    Arena arena;
    const std::optional<Value> root = object_to_value(obj.get(), context, arena);
    if (!root) return {};

    encode::JsonWriterConfig config;
    config.indent = (options & OPT_INDENT_4) ? 4 : (options & OPT_INDENT_2) ? 2 : 0;
    config.sort_keys = (options & OPT_SORT_KEYS) != 0;
    std::string text;
    std::optional<std::string> failure;
    {
        py::GilRelease unlocked;
        text.reserve(output_capacity(arena));
        Result<void, std::string> written = encode::write_json(text, *root, config);
        if (!written.ok()) failure = std::move(written).error();
        Arena tree = std::move(arena);  // the tree is freed here, still without the lock
    }
    if (py::raise_if_out_of_memory()) return {};
    if (failure) {
        py::encode_error(*failure);
        return {};
    }
    return bytes_from(text);
}

constexpr const char* kDumpsKeywords[] = {"default", "option", "null_style", "tags", "width"};
constexpr py::Signature kDumpsSignature{"dumps", "obj", kDumpsKeywords};

constexpr const char* kToJsonKeywords[] = {"default", "option"};
constexpr py::Signature kToJsonSignature{"to_json", "obj", kToJsonKeywords};

PyObject* dumps_impl(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return py::guarded([&]() -> PyObject* {
        PyObject* obj = nullptr;
        PyObject* values[std::size(kDumpsKeywords)];
        if (!py::parse_arguments(kDumpsSignature, args, nargsf, kwnames, obj, values)) return nullptr;
        // The call keeps its own reference to every argument object.
        DumpArguments arguments;
        arguments.obj = py::ref::borrow(obj);
        arguments.default_ = py::ref::borrow(values[0]);
        arguments.option = py::ref::borrow(values[1]);
        arguments.null_style = py::ref::borrow(values[2]);
        arguments.tags = py::ref::borrow(values[3]);
        arguments.width = py::ref::borrow(values[4]);
        return dump_yaml(arguments).release();
    });
}

PyObject* to_json_impl(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return py::guarded([&]() -> PyObject* {
        PyObject* obj = nullptr;
        PyObject* values[std::size(kToJsonKeywords)];
        if (!py::parse_arguments(kToJsonSignature, args, nargsf, kwnames, obj, values)) return nullptr;
        // The call keeps its own reference to every argument object.
        py::ref held_obj = py::ref::borrow(obj);
        py::ref held_default = py::ref::borrow(values[0]);
        py::ref held_option = py::ref::borrow(values[1]);
        return dump_json(held_obj.get(), held_default.get(), held_option.get()).release();
    });
}

}  // namespace

PyMethodDef dumps_method = {"dumps", py::as_method(dumps_impl), METH_FASTCALL | METH_KEYWORDS,
                            "dumps(obj, /, *, default=None, option=None, null_style=None, tags=None, "
                            "width=None)\n--\n\n"};

PyMethodDef to_json_method = {"to_json", py::as_method(to_json_impl), METH_FASTCALL | METH_KEYWORDS,
                              "to_json(obj, /, *, default=None, option=None)\n--\n\n"};

}  // namespace quillmere::module
