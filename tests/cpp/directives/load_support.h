// Loading texts with directives in the tests; the trees that come back are
// shown by describe_node.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "directives/loader.h"
#include "roundtrip/ast.h"
#include "support/node_text.h"

namespace quillmere::directives::testing {

struct LoadOptions {
    bool includes = true;
    bool secrets = true;
    bool env_vars = true;
    bool recursive = false;
    bool collect_missing = false;
    std::uint64_t max_bytes = kMaxIncludedBytes;
};

struct Loaded {
    IncludeContext context;
    std::vector<roundtrip::YamlNode> documents;
    std::optional<DirectiveError> error;

    // The first document shown, or the error's message.
    std::string first() const {
        if (error) return "error: " + error->message;
        return documents.empty() ? "(none)" : quillmere::testing::describe_node(documents.front());
    }
};

inline Loaded load(const std::string& root, std::string_view text, const std::optional<std::string>& root_path,
                   const LoadOptions& options = {}) {
    Loaded loaded{new_include_context(root, options.includes, options.secrets, options.env_vars), {}, {}};
    loaded.context.include_dir_recursive = options.recursive;
    loaded.context.collect_missing_secrets = options.collect_missing;
    loaded.context.collect_missing_env_vars = options.collect_missing;
    loaded.context.included_bytes_left = options.max_bytes;
    auto result = load_with_directives(loaded.context, text, root_path);
    if (result.ok()) {
        loaded.documents = std::move(result).value();
    } else {
        loaded.error = std::move(result).error();
    }
    return loaded;
}

}  // namespace quillmere::directives::testing
