#include "module/directive_load.h"

#include <string_view>
#include <utility>

#include "common/utf8.h"
#include "decode/decoder.h"
#include "directives/loader.h"
#include "module/options.h"
#include "py/directive_errors.h"
#include "py/entry.h"
#include "py/errors.h"
#include "py/gil.h"
#include "py/text.h"

namespace quillmere::module {

namespace {

using directives::DirectiveErrorKind;
using directives::MissingReference;

// One kind of missing reference: the callable called and the warning
// "{subject} '{name}' is not defined{where} at {file}:{line}" logged for
// each, in order.
bool report(std::vector<MissingReference> references, PyObject* callable, bool warn, std::string_view subject,
            std::string_view where) {
    for (const MissingReference& reference : references) {
        const std::string file = to_text_lossy(reference.file);
        const std::uint64_t line = static_cast<std::uint64_t>(reference.line) + 1;
        if (callable) {
            py::ref name = py::text_to_str(reference.name);
            py::ref file_name = py::text_to_str(file);
            py::ref number = py::ref::steal(PyLong_FromUnsignedLongLong(line));
            if (!name || !file_name || !number) return false;
            PyObject* arguments[] = {name.get(), file_name.get(), number.get()};
            py::ref result = py::ref::steal(PyObject_Vectorcall(callable, arguments, 3, nullptr));
            if (!result) return false;  // the callable's exception ends the load
        }
        if (warn) {
            std::string text(subject);
            text += " '";
            text += reference.name;
            text += "' is not defined";
            text += where;
            text += " at ";
            text += file;
            text += ':';
            text += std::to_string(line);
            py::log_warning(text);
        }
    }
    return true;
}

}  // namespace

bool report_missing_references(directives::IncludeContext& context, const DirectiveArguments& arguments) {
    return report(std::move(context.missing_secrets), arguments.on_missing_secret,
                  (arguments.options & OPT_SECRET_NOT_FOUND_WARN) != 0, "secret", " in any secrets.yaml") &&
           report(std::move(context.missing_env_vars), arguments.on_missing_env_var,
                  (arguments.options & OPT_ENV_VAR_NOT_FOUND_WARN) != 0, "environment variable", "");
}

std::optional<std::string> included_file_name(const std::vector<std::string>& file_paths, std::uint32_t file_id) {
    if (file_id == 0 || file_id >= file_paths.size()) return std::nullopt;
    return to_text_lossy(file_paths[file_id]);
}

bool raise_first_decode_error(std::string_view text, resolver::ResolveMode mode) {
    decode::DecodeOptions plain;
    plain.mode = mode;
    plain.copy_aliases = false;
    std::optional<LocatedError> located;
    {
        py::GilRelease unlocked;
        auto decoded = decode::decode_documents(text, plain);
        if (!decoded.ok()) located = std::move(decoded).error();
    }
    if (py::raise_if_out_of_memory()) return true;
    if (!located) return false;
    py::located_error_without_file(std::move(*located));
    return true;
}

std::optional<LoadedDirectives> load_directives(std::string_view text, const DirectiveArguments& arguments) {
    const std::uint64_t options = arguments.options;
    directives::IncludeContext context = directives::new_include_context(
        arguments.include_dir.value_or("."),
        (options & OPT_INCLUDES) != 0, (options & OPT_SECRETS) != 0, (options & OPT_ENV_VAR) != 0);
    context.include_dir_recursive = (options & OPT_INCLUDE_DIR_RECURSIVE) != 0;
    context.collect_missing_secrets = (options & OPT_SECRET_NOT_FOUND_WARN) != 0 || arguments.on_missing_secret;
    context.collect_missing_env_vars = (options & OPT_ENV_VAR_NOT_FOUND_WARN) != 0 || arguments.on_missing_env_var;

    auto loaded = directives::load_with_directives(context, text, arguments.root_path, arguments.keep_empty);
    if (!loaded.ok()) {
        const directives::DirectiveError& error = loaded.error();
        // The root text that does not compose: the decoder, which reads the
        // same grammar, tells where.
        if (arguments.locate_root_errors && error.kind == DirectiveErrorKind::Include && error.chain.empty() &&
            error.path == context.root && raise_first_decode_error(text, arguments.mode))
            return std::nullopt;
        py::directive_error_to_exception(error);
        return std::nullopt;
    }
    for (const std::string& warning : context.warnings) py::log_warning(warning);
    if (!report_missing_references(context, arguments)) return std::nullopt;
    return LoadedDirectives{std::move(loaded).value(), directives::into_source_table(std::move(context))};
}

}  // namespace quillmere::module
