// Loading texts with directives in the tests, and showing the trees that
// come back in a short flow form: {a: [1, ~], b: *x}.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "directives/loader.h"
#include "roundtrip/ast.h"

namespace quillmere::directives::testing {

inline std::string show(const roundtrip::YamlNode& node) {
    using roundtrip::NodeKind;
    switch (node.kind()) {
        case NodeKind::Scalar:
            return node.text().empty() ? "''" : node.text();
        case NodeKind::Alias:
            return "*" + node.text();
        case NodeKind::Null:
            return "~";
        case NodeKind::Sequence: {
            std::string out = "[";
            for (const roundtrip::YamlNode& item : node.items()) {
                if (out.size() > 1) out += ", ";
                out += show(item);
            }
            return out + "]";
        }
        case NodeKind::Mapping: {
            std::string out = "{";
            for (const roundtrip::NodePair& pair : node.pairs()) {
                if (out.size() > 1) out += ", ";
                out += show(pair.key) + ": " + show(pair.value);
            }
            return out + "}";
        }
    }
    return "?";
}

struct LoadOptions {
    bool includes = true;
    bool secrets = true;
    bool env_vars = true;
    bool recursive = false;
    bool collect_missing = false;
};

struct Loaded {
    IncludeContext context;
    std::vector<roundtrip::YamlNode> documents;
    std::optional<DirectiveError> error;

    // The first document shown, or the error's message.
    std::string first() const {
        if (error) return "error: " + error->message;
        return documents.empty() ? "(none)" : show(documents.front());
    }
};

inline Loaded load(const std::string& root, std::string_view text, const std::optional<std::string>& root_path,
                   const LoadOptions& options = {}) {
    Loaded loaded{new_include_context(root, options.includes, options.secrets, options.env_vars), {}, {}};
    loaded.context.include_dir_recursive = options.recursive;
    loaded.context.collect_missing_secrets = options.collect_missing;
    loaded.context.collect_missing_env_vars = options.collect_missing;
    auto result = load_with_directives(loaded.context, text, root_path);
    if (result.ok()) {
        loaded.documents = std::move(result).value();
    } else {
        loaded.error = std::move(result).error();
    }
    return loaded;
}

}  // namespace quillmere::directives::testing
