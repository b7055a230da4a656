#include "directives/context.h"

#include <string>
#include <utility>

#include "common/utf8.h"
#include "directives/paths.h"
#include "directives/platform.h"

namespace quillmere::directives {

DirectiveError directive_error(DirectiveErrorKind kind, std::string message, std::string path, IncludeChain chain) {
    return DirectiveError{std::nullopt, std::move(message), std::move(path), std::move(chain), kind};
}

Result<std::string, std::string> read_load_file(IncludeContext& context, const std::string& path, bool& exceeded) {
    exceeded = false;
    Result<std::string, std::string> text = read_text_file(context.canonical_root, path, context.included_bytes_left);
    if (!text.ok()) {
        exceeded = text.error() == kTooLargeText;
        return text;
    }
    context.included_bytes_left -= text.value().size();
    return text;
}

DirectiveError bytes_bound_error(std::string path, IncludeChain chain) {
    return directive_error(DirectiveErrorKind::Include,
                           "includes exceed the maximum of " + std::to_string(kMaxIncludedBytes) +
                               " bytes read by one load",
                           std::move(path), std::move(chain));
}

IncludeContext new_include_context(std::string root, bool includes, bool secrets, bool env_vars) {
    IncludeContext context;
    // Made absolute either way: a relative fallback could never hold an
    // absolute path, and every include would fail confinement instead of
    // being read.
    if (std::optional<std::string> canonical = canonicalize(root)) {
        context.canonical_root = std::move(*canonical);
    } else {
        context.canonical_root = normalize_path_lexically(absolute_path(root));
    }
    context.root = std::move(root);
    context.includes = includes;
    context.secrets = secrets;
    context.env_vars = env_vars;
    return context;
}

std::uint32_t register_source(IncludeContext& context, std::string path, std::optional<std::string> text) {
    const auto file_id = static_cast<std::uint32_t>(context.sources.file_paths.size());
    context.sources.file_paths.push_back(std::move(path));
    context.sources.file_texts.push_back(std::move(text));
    return file_id;
}

const std::string& path_for(const IncludeContext& context, std::uint32_t file_id) {
    const std::vector<std::string>& paths = context.sources.file_paths;
    return file_id < paths.size() ? paths[file_id] : context.root;
}

SourceTable into_source_table(IncludeContext&& context) {
    SourceTable sources = std::move(context.sources);
    sources.canonical_root = std::move(context.canonical_root);
    return sources;
}

std::string describe_directive_error(const DirectiveError& error) {
    std::string out = error.message + " in " + to_text_lossy(error.path);
    for (const IncludeFrame& frame : error.chain) {
        out += "\n  included from ";
        out += to_text_lossy(frame.path);
        out += ", line ";
        out += std::to_string(static_cast<std::uint64_t>(frame.line) + 1);
    }
    return out;
}

}  // namespace quillmere::directives
