// The reading functions: loads, loads_all and yaml_version.
//
// A load runs in two halves. The prologue, with the interpreter lock held,
// turns the arguments into plain settings: the input as one owned UTF-8
// text, the resolver mode (a leading %YAML directive wins over the option
// bits) and the four decoder flags. The plain road then releases the lock
// for one call into the engine, which tokenises the whole text and builds
// one Value tree per document, and takes it again to raise the engine's
// error or log its warnings and convert the documents:
//
//     loads("%YAML 1.1\n---\nanswer: yes")        -> {"answer": True}
//     loads("answer: yes")                         -> {"answer": "yes"}
//     loads("a: 1\n---\nb: 2")                     -> {"a": 1}   (first document)
//     loads_all("a: 1\n---\nb: 2")                 -> [{"a": 1}, {"b": 2}]
//     yaml_version("%YAML 1.1\n---\na")            -> "1.1"
//
// With a schema, the first document is checked after the decode and before
// the conversion; a violation is placed by composing the text again into a
// tree, whose nodes carry positions (schema.h).
//
// While the lock is released only the call's text is read: the bytes of
// the str or bytes the call holds, or its own copy of anything else.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "decode/decoder.h"
#include "document/document_api.h"
#include "module/arguments.h"
#include "module/convert/decode.h"
#include "module/functions.h"
#include "module/input.h"
#include "module/options.h"
#include "module/schema.h"
#include "module/tree_roads.h"
#include "py/args.h"
#include "py/entry.h"
#include "py/errors.h"
#include "py/gil.h"
#include "roundtrip/checks.h"
#include "roundtrip/composer.h"
#include "scanner/version.h"

namespace quillmere::module {

namespace {

using resolver::ResolveMode;

// What every reading road derives from the text and the option bits.
struct LoadSettings {
    bool yaml11 = false;
    bool header_yaml11 = false;  // the text's own leading %YAML directive says 1.1
    ResolveMode mode = ResolveMode::Core12;
    decode::DecodeOptions decode;
};

LoadSettings derive_load_settings(std::string_view text, std::uint64_t options) {
    LoadSettings settings;
    if (const auto version = scanner::sniff_yaml_version(text)) {
        settings.yaml11 = settings.header_yaml11 = version->major == 1 && version->minor == 1;
    } else {
        settings.yaml11 = (options & (OPT_YAML_1_1 | OPT_PYYAML_COMPAT | OPT_UPGRADE_1_1)) != 0;
    }
    if (options & OPT_PYYAML_COMPAT) {
        settings.mode = ResolveMode::Yaml11Compat;
    } else if (settings.yaml11) {
        settings.mode = ResolveMode::Yaml11;
    }
    const bool dup_error = (options & OPT_DUPLICATE_KEYS_ERROR) != 0;
    settings.decode.mode = settings.mode;
    settings.decode.dup_error = dup_error;
    settings.decode.reject_complex = (options & OPT_REJECT_COMPLEX_KEYS) != 0;
    settings.decode.dup_warn = (options & OPT_DUPLICATE_KEYS_WARN) != 0 && !dup_error;
    settings.decode.yaml11_warn = (options & OPT_YAML_1_1_WARN) != 0 && settings.yaml11;
    return settings;
}

// `tags`: absent, or a dict (a subclass counts).
bool tags_from_argument(PyObject* tags) {
    if (!tags || PyDict_Check(tags)) return true;
    PyErr_SetString(PyExc_TypeError, "tags must be a dict (or Tags) mapping each tag name to a callable");
    return false;
}

using Decoded = Result<decode::Documents, LocatedError>;

// The one call into the engine, without the interpreter lock.
Decoded decode_unlocked(std::string_view text, const decode::DecodeOptions& options) {
    py::GilRelease unlocked;
    return decode::decode_documents(text, options);
}

// Decodes for the conversion to Python and reports: the located error is
// raised, the warnings logged.
std::optional<decode::Documents> decode_and_report(std::string_view text, decode::DecodeOptions options) {
    options.for_python = true;
    Decoded decoded = decode_unlocked(text, options);
    if (py::raise_if_out_of_memory()) return std::nullopt;
    if (!decoded.ok()) {
        py::located_error_without_file(std::move(decoded).error());
        return std::nullopt;
    }
    decode::Documents documents = std::move(decoded).value();
    for (const LocatedWarning& warning : documents.warnings) py::log_warning(warning);
    return documents;
}

// The round-trip road: the text composed into trees (its directives
// resolved when a directive option is set), the tree passes run on them,
// and the trees kept with the source table and a copy of the text inside a
// new QuillmereDocument. Nothing is converted to Python values. An empty
// explicit document ("---" with nothing after it) stays as a Null root, so
// that the documents are those of the plain road:
//
//     loads("a\n---\n...\n---\nb", option=OPT_ROUND_TRIP).to_dict()  -> ["a", None, "b"]
py::ref round_trip_road(std::string text, const LoadSettings& settings, PyObject* schema,
                        const DirectiveArguments& directives) {
    const std::uint64_t options = directives.options;
    const bool keyword = (options & OPT_NULL_AS_KEYWORD) != 0;
    const bool tilde = (options & OPT_NULL_AS_TILDE) != 0;
    if (keyword && tilde) {
        PyErr_SetString(PyExc_ValueError, "OPT_NULL_AS_KEYWORD and OPT_NULL_AS_TILDE are mutually exclusive");
        return {};
    }
    roundtrip::DocumentState state;
    if (options & (OPT_INCLUDES | OPT_SECRETS | OPT_ENV_VAR)) {
        std::optional<LoadedDirectives> loaded = load_directives(text, directives);
        if (!loaded) return {};
        state.documents = std::move(loaded->trees);
        state.file_paths = std::move(loaded->sources.file_paths);
        state.file_texts = std::move(loaded->sources.file_texts);
        state.include_root = std::move(loaded->sources.canonical_root);
    } else {
        auto composed = roundtrip::compose_text(text, roundtrip::ComposeOptions{.file_id = 0, .keep_empty = true});
        if (py::raise_if_out_of_memory()) return {};
        if (!composed.ok()) {
            // The plain road's error, which may stand before the composer's.
            if (raise_first_decode_error(text, settings.mode)) return {};
            const ScanError& error = composed.error();
            py::parse_error_to_exception(LocatedError{error.message, error.span});
            return {};
        }
        state.documents = std::move(composed).value();
    }
    const ResolveMode mode = settings.mode;
    if (settings.decode.yaml11_warn) {
        for (const std::string& warning : roundtrip::collect_yaml11_warnings(state.documents, mode))
            py::log_warning(warning);
    }
    if (options & OPT_UPGRADE_1_1) roundtrip::upgrade_stream_1_1(state.documents, mode);
    if (settings.decode.dup_error) {
        if (std::optional<LocatedError> duplicate = roundtrip::check_duplicate_keys(state.documents, mode)) {
            const std::optional<std::string> file = included_file_name(state.file_paths, duplicate->span.file_id);
            py::duplicate_key_error_to_exception(std::move(*duplicate), file);
            return {};
        }
    } else if (settings.decode.dup_warn) {
        for (const std::string& warning : roundtrip::collect_duplicate_key_warnings(state.documents, mode))
            py::log_warning(warning);
    }
    if (schema && !validate_against_schema(state.documents, schema, mode, state.file_paths)) return {};
    state.source_bytes = std::move(text);
    state.prefer_double_quotes = (options & OPT_SINGLE_QUOTES) == 0;
    state.upgraded = (options & OPT_UPGRADE_1_1) != 0;
    state.yaml11 = settings.header_yaml11 && !state.upgraded;
    using encode::NullStyle;
    state.null_style = keyword ? NullStyle::Keyword : tilde ? NullStyle::Tilde : NullStyle::Empty;
    return document::new_document_object(std::move(state));
}

struct LoadArguments {
    PyObject* data = nullptr;
    py::ref option, include_dir, schema, schema_resolver, tag_handler, tags, root_path, on_missing_secret,
        on_missing_env_var;
};

py::ref load_with_options(const LoadArguments& arguments) {
    std::uint64_t options = 0;
    if (!options_from_argument(arguments.option.get(), options)) return {};
    std::optional<std::string> include_dir, root_path;
    if (!path_from_argument(arguments.include_dir.get(), "include_dir", include_dir)) return {};
    if (!path_from_argument(arguments.root_path.get(), "root_path", root_path)) return {};

    InputText input;
    if (!read_input(arguments.data, input)) return {};
    const std::string_view text = input.view();

    py::ref schema;
    if (!resolve_schema_argument(arguments.schema.get(), arguments.schema_resolver.get(), text, schema)) return {};

    const LoadSettings settings = derive_load_settings(text, options);
    if (!tags_from_argument(arguments.tags.get())) return {};
    DirectiveArguments directives;
    directives.options = options;
    directives.mode = settings.mode;
    directives.include_dir = std::move(include_dir);
    directives.root_path = std::move(root_path);
    directives.on_missing_secret = arguments.on_missing_secret.get();
    directives.on_missing_env_var = arguments.on_missing_env_var.get();
    directives.keep_empty = true;  // every road counts the documents as the plain road does
    if (options & OPT_ROUND_TRIP) return round_trip_road(std::string(text), settings, schema.get(), directives);
    const results::DecodeContext context{arguments.tags.get(), arguments.tag_handler.get(),
                                (options & OPT_PASSTHROUGH_TAG) != 0};
    const bool tree_road = (options & (OPT_ANNOTATED | OPT_INCLUDES | OPT_SECRETS | OPT_ENV_VAR)) != 0;
    if (tree_road &&
        ((options & OPT_ANNOTATED) || may_hold_directives(text, options) || may_hold_anchors(text))) {
        TreeRoad road{text, options, settings.decode, schema.get(), context, std::move(directives)};
        road.directives.locate_root_errors = true;
        return annotated_or_directive_road(road);
    }

    // The plain road. A directive road whose text names none of its
    // directives has nothing to resolve and takes it too, for the same
    // result at a fraction of the cost, unless the text may hold anchors:
    // the directive road makes one object per anchor, the plain road one
    // per alias.
    // Only the first document is converted: the others are checked and
    // their trees freed as the decode goes.
    decode::DecodeOptions first_only = settings.decode;
    first_only.first_document_only = true;
    std::optional<decode::Documents> documents = decode_and_report(text, first_only);
    if (!documents) return {};
    if (documents->documents.empty()) return py::none();
    if (schema && !validate_text_against_schema(text, documents->documents.front(), schema.get(), settings.mode))
        return {};
    // The texts of the trees may borrow `input`, which outlives them here.
    CallKeys keys(documents->key_ids);
    py::ref value = value_to_python(documents->documents.front(), context, &keys);
    return value;
}

py::ref load_all(PyObject* data, PyObject* option, PyObject* tag_handler_arg, PyObject* tags_arg) {
    std::uint64_t options = 0;
    if (!options_from_argument(option, options)) return {};
    py::ref tag_handler = py::ref::borrow(tag_handler_arg);
    py::ref tags = py::ref::borrow(tags_arg);

    InputText input;
    if (!read_input(data, input)) return {};
    const std::string_view text = input.view();
    if (options & (OPT_ROUND_TRIP | OPT_INCLUDES | OPT_SECRETS | OPT_ENV_VAR)) {
        PyErr_SetString(PyExc_ValueError,
                        "loads_all() does not support OPT_INCLUDES, OPT_SECRETS, OPT_ENV_VAR, or OPT_ROUND_TRIP; "
                        "use loads() for include resolution and round-trip editing");
        return {};
    }
    const LoadSettings settings = derive_load_settings(text, options);
    if (!tags_from_argument(tags.get())) return {};
    const results::DecodeContext context{tags.get(), tag_handler.get(), (options & OPT_PASSTHROUGH_TAG) != 0};
    if (options & OPT_ANNOTATED) return loads_all_annotated(TreeRoad{text, options, settings.decode, nullptr, context, {}});

    std::optional<decode::Documents> documents = decode_and_report(text, settings.decode);
    if (!documents) return {};
    py::ref list = py::ref::steal(PyList_New(0));
    if (!list) return {};
    CallKeys keys(documents->key_ids);
    for (const Value& document : documents->documents) {
        // Each conversion checks for signals as it goes; a stream of many
        // small documents is checked between them too.
        if (PyErr_CheckSignals() < 0) return {};
        py::ref value = value_to_python(document, context, &keys);
        if (!value || PyList_Append(list.get(), value.get()) < 0) return {};
    }
    return list;
}

py::ref yaml_version(PyObject* data) {
    InputText input;
    if (!read_input(data, input)) return {};
    const auto version = scanner::sniff_yaml_version(input.view());
    if (!version) return py::none();
    return py::ref::steal(PyUnicode_FromFormat("%u.%u", static_cast<unsigned>(version->major),
                                               static_cast<unsigned>(version->minor)));
}

constexpr const char* kLoadsKeywords[] = {"option",    "include_dir",       "schema",
                                          "schema_resolver", "tag_handler", "tags",
                                          "root_path", "on_missing_secret", "on_missing_env_var"};
constexpr py::Signature kLoadsSignature{"loads", "data", kLoadsKeywords};

PyObject* loads_impl(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return py::guarded([&]() -> PyObject* {
        PyObject* data = nullptr;
        PyObject* values[std::size(kLoadsKeywords)];
        if (!py::parse_arguments(kLoadsSignature, args, nargsf, kwnames, data, values)) return nullptr;
        // The call keeps its own reference to every argument object.
        LoadArguments arguments;
        arguments.data = data;
        arguments.option = py::ref::borrow(values[0]);
        arguments.include_dir = py::ref::borrow(values[1]);
        arguments.schema = py::ref::borrow(values[2]);
        arguments.schema_resolver = py::ref::borrow(values[3]);
        arguments.tag_handler = py::ref::borrow(values[4]);
        arguments.tags = py::ref::borrow(values[5]);
        arguments.root_path = py::ref::borrow(values[6]);
        arguments.on_missing_secret = py::ref::borrow(values[7]);
        arguments.on_missing_env_var = py::ref::borrow(values[8]);
        return load_with_options(arguments).release();
    });
}

constexpr const char* kLoadsAllKeywords[] = {"option", "tag_handler", "tags"};
constexpr py::Signature kLoadsAllSignature{"loads_all", "data", kLoadsAllKeywords};

PyObject* loads_all_impl(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return py::guarded([&]() -> PyObject* {
        PyObject* data = nullptr;
        PyObject* values[std::size(kLoadsAllKeywords)];
        if (!py::parse_arguments(kLoadsAllSignature, args, nargsf, kwnames, data, values)) return nullptr;
        return load_all(data, values[0], values[1], values[2]).release();
    });
}

constexpr py::Signature kYamlVersionSignature{"yaml_version", "data", {}};

PyObject* yaml_version_impl(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return py::guarded([&]() -> PyObject* {
        PyObject* data = nullptr;
        if (!py::parse_arguments(kYamlVersionSignature, args, nargsf, kwnames, data, nullptr)) return nullptr;
        return yaml_version(data).release();
    });
}

}  // namespace

PyMethodDef loads_method = {
    "loads", py::as_method(loads_impl), METH_FASTCALL | METH_KEYWORDS,
    "loads(data, /, *, option=None, include_dir=None, schema=None, schema_resolver=None, tag_handler=None, "
    "tags=None, root_path=None, on_missing_secret=None, on_missing_env_var=None)\n--\n\n"};

PyMethodDef loads_all_method = {"loads_all", py::as_method(loads_all_impl), METH_FASTCALL | METH_KEYWORDS,
                                "loads_all(data, /, *, option=None, tag_handler=None, tags=None)\n--\n\n"};

PyMethodDef yaml_version_method = {"yaml_version", py::as_method(yaml_version_impl), METH_FASTCALL | METH_KEYWORDS,
                                   "yaml_version(data, /)\n--\n\n"};

}  // namespace quillmere::module
