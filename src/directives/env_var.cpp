#include "directives/env_var.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "directives/nodes.h"
#include "directives/platform.h"
#include "scanner/unicode.h"

namespace quillmere::directives {

using roundtrip::NodeKind;
using roundtrip::YamlNode;

Result<YamlNode, DirectiveError> resolve_env_var(const YamlNode& node, IncludeContext& context,
                                                 const IncludeChain& chain) {
    const std::string argument = node.is(NodeKind::Scalar) ? node.text() : std::string();
    const std::vector<std::string_view> words = scanner::split_words(argument);
    std::string value;
    if (!words.empty()) {
        const std::string_view name = words.front();
        if (std::optional<std::string> set = environment_variable(name)) {
            value = std::move(*set);
        } else if (words.size() > 1) {
            for (std::size_t i = 1; i < words.size(); ++i) {
                if (i > 1) value += ' ';
                value += words[i];
            }
        } else if (context.collect_missing_env_vars) {
            context.missing_env_vars.push_back(
                MissingReference{std::string(name), path_for(context, node.span.file_id), node.span.line});
            // A null that is still the directive, as a missing secret is.
            YamlNode missing = node_at(node, YamlNode::null());
            missing.mutable_source() = provenance(node, argument);
            return missing;
        } else {
            DirectiveError error =
                directive_error(DirectiveErrorKind::EnvVar, "environment variable " + std::string(name) + " is not defined",
                                path_for(context, node.span.file_id), chain);
            error.position = node.span;
            return make_err(std::move(error));
        }
    }
    YamlNode result = node_at(node, YamlNode::scalar(std::move(value), ScalarStyle::SingleQuoted));
    result.mutable_source() = provenance(node, argument);
    return result;
}

}  // namespace quillmere::directives
