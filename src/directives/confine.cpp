#include "directives/confine.h"

#include <optional>
#include <utility>

#include "common/utf8.h"
#include "directives/paths.h"
#include "directives/platform.h"
#include "scanner/unicode.h"

namespace quillmere::directives {

using roundtrip::NodeKind;
using roundtrip::YamlNode;

namespace {

// An absolute normal path with its longest existing leading part replaced
// by that part's canonical form: the path as the system would follow it.
std::string resolve_existing_part(const std::string& lexical) {
    std::string_view existing = lexical;
    for (;;) {
        if (std::optional<std::string> canonical = canonicalize(std::string(existing))) {
            std::string_view rest = std::string_view(lexical).substr(existing.size());
            while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
            return rest.empty() ? std::move(*canonical) : join_path(*canonical, rest);
        }
        const std::size_t slash = existing.rfind('/');
        if (slash == std::string_view::npos || existing.size() == 1) return lexical;
        existing = existing.substr(0, slash == 0 ? 1 : slash);
    }
}

}  // namespace

Result<std::string, DirectiveError> directive_argument(const YamlNode& node, std::string_view tag,
                                                       const IncludeContext& context, const IncludeChain& chain) {
    if (node.is(NodeKind::Scalar) && !scanner::trim_white_space_start(node.text()).empty()) return node.text();
    return make_err(directive_error(DirectiveErrorKind::Include, std::string(tag) + " needs an argument",
                                    path_for(context, node.span.file_id), chain));
}

Result<void, DirectiveError> check_include_depth(const IncludeContext& context, std::uint32_t file_id,
                                                 const IncludeChain& chain) {
    if (chain.size() < kMaxIncludeDepth) return Ok{};
    return make_err(directive_error(DirectiveErrorKind::IncludeDepth,
                                    "include chain exceeds the maximum depth of " + std::to_string(kMaxIncludeDepth),
                                    path_for(context, file_id), chain));
}

std::string directive_base(const IncludeContext& context, std::uint32_t file_id) {
    if (file_id >= context.sources.file_paths.size()) return context.root;
    std::optional<std::string> parent = parent_path(context.sources.file_paths[file_id]);
    return parent ? std::move(*parent) : context.root;
}

Result<std::string, DirectiveError> confine_path(const IncludeContext& context, const std::string& path,
                                                 std::string_view shown, std::uint32_t file_id,
                                                 const IncludeChain& chain) {
    auto fail = [&](DirectiveErrorKind kind, std::string message) {
        return make_err(directive_error(kind, std::move(message), path_for(context, file_id), chain));
    };
    auto outside = [&] {
        return fail(DirectiveErrorKind::IncludeConfinement,
                    "'" + to_text_lossy(shown) + "' resolves outside the configured include directory");
    };
    auto not_found = [&](std::string_view reason) {
        return fail(DirectiveErrorKind::IncludeNotFound,
                    "cannot read included file '" + to_text_lossy(shown) + "': " + std::string(reason));
    };
    // The system would read a NUL as the end of the name and open another file.
    if (contains_nul(path)) return not_found(kNulByteText);

    if (std::optional<std::string> canonical = canonicalize(path)) {
        if (!path_starts_with(*canonical, context.canonical_root)) return outside();
        return std::move(*canonical);
    }
    // Some component is missing. The lexical form removes "..", but the
    // system does not read a path that way: in nope/../out/passwd with out a
    // link to a directory elsewhere, the lexical form out/passwd lies inside
    // the root while the file it names does not. So the part of the lexical
    // form that exists is checked again with its links resolved.
    const std::string lexical = normalize_path_lexically(absolute_path(path));
    if (!path_starts_with(lexical, context.canonical_root)) return outside();
    std::string resolved = resolve_existing_part(lexical);
    if (!path_starts_with(resolved, context.canonical_root)) return outside();
    // A link that leads nowhere.
    if (is_symbolic_link(resolved)) return not_found("not found");
    // Whatever exists is inside the root; the read will report the rest.
    return resolved;
}

}  // namespace quillmere::directives
