#include "directives/secrets.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "directives/nodes.h"
#include "directives/paths.h"
#include "directives/platform.h"
#include "roundtrip/composer.h"

namespace quillmere::directives {

using roundtrip::NodeKind;
using roundtrip::NodePair;
using roundtrip::YamlNode;

namespace {

// The secrets of one candidate file. Reading it is optional (a missing,
// outside or unreadable file defines nothing, but one past the bound of
// the bytes a load reads fails it); once read, it must be a mapping of
// plain secrets.
Result<Secrets, DirectiveError> load_secrets_file(IncludeContext& context, const std::string& candidate) {
    Secrets secrets;
    const std::optional<std::string> canonical = canonicalize(candidate);
    if (!canonical || !path_starts_with(*canonical, context.canonical_root)) return secrets;
    bool exceeded = false;
    Result<std::string, std::string> text = read_load_file(context, *canonical, exceeded);
    if (exceeded) return make_err(bytes_bound_error(candidate, {}));
    if (!text.ok()) return secrets;

    auto fail = [&](std::string message) {
        return make_err(directive_error(DirectiveErrorKind::Include, std::move(message), candidate, {}));
    };
    const std::uint32_t file_id = register_source(context, candidate, std::move(text).value());
    auto composed = roundtrip::parse_source_documents(*context.sources.file_texts[file_id], file_id);
    if (!composed.ok()) return fail("invalid secrets.yaml: " + composed.error().message);
    std::vector<YamlNode> documents = std::move(composed).value();
    if (documents.empty() || documents.front().is(NodeKind::Null)) return secrets;
    YamlNode& root = documents.front();
    if (!root.is(NodeKind::Mapping)) return fail("secrets.yaml does not contain a dictionary");
    for (NodePair& pair : root.pairs()) {
        if (contains_secret_tag(pair.value)) return fail("secrets not supported in a secrets.yaml file");
        if (!pair.key.is(NodeKind::Scalar)) continue;
        if (pair.key.text() == "logger") {
            const std::string_view level = pair.value.is(NodeKind::Scalar) ? pair.value.text() : std::string_view();
            if (level != "debug") {
                context.warnings.push_back("secrets.yaml: 'logger: debug' expected, but 'logger: " +
                                           std::string(level) + "' found");
            }
            continue;
        }
        secrets.insert_or_assign(pair.key.text(), std::move(pair.value));  // a later pair wins
    }
    return secrets;
}

// The secret's definition in the nearest secrets.yaml from `directory` up
// to the root; null when none defines it.
Result<const YamlNode*, DirectiveError> find_secret(IncludeContext& context, std::string directory,
                                                    const std::string& name) {
    while (path_starts_with(directory, context.canonical_root)) {
        std::string candidate = join_path(directory, "secrets.yaml");
        auto cached = context.secrets_cache.find(candidate);
        if (cached == context.secrets_cache.end()) {
            QM_TRY_ASSIGN(Secrets secrets, load_secrets_file(context, candidate));
            cached = context.secrets_cache.emplace(std::move(candidate), std::move(secrets)).first;
        }
        if (auto secret = cached->second.find(name); secret != cached->second.end()) return &secret->second;
        if (same_path(directory, context.canonical_root)) break;
        std::optional<std::string> parent = parent_path(directory);
        if (!parent) break;
        directory = std::move(*parent);
    }
    return static_cast<const YamlNode*>(nullptr);
}

}  // namespace

bool contains_secret_tag(const YamlNode& node) {
    std::vector<const YamlNode*> pending{&node};
    while (!pending.empty()) {
        const YamlNode* current = pending.back();
        pending.pop_back();
        if (current->tag() == "!secret") return true;
        if (current->is(NodeKind::Sequence)) {
            for (const YamlNode& item : current->items()) pending.push_back(&item);
        } else if (current->is(NodeKind::Mapping)) {
            for (const NodePair& pair : current->pairs()) {
                pending.push_back(&pair.key);
                pending.push_back(&pair.value);
            }
        }
    }
    return false;
}

Result<YamlNode, DirectiveError> resolve_secret(const YamlNode& node, IncludeContext& context,
                                                const IncludeChain& chain) {
    const std::string name = node.is(NodeKind::Scalar) ? node.text() : std::string();
    const std::uint32_t file_id = node.span.file_id;
    // The directory of the directive's file; the root for a text with no
    // file behind it (the root text under its default name).
    std::string start = context.canonical_root;
    if (std::optional<std::string> file = canonicalize(path_for(context, file_id))) {
        if (std::optional<std::string> parent = parent_path(*file)) start = std::move(*parent);
    }
    QM_TRY_ASSIGN(const YamlNode* secret, find_secret(context, std::move(start), name));

    if (secret != nullptr) {
        // Start and end both at the directive: a position never spans two
        // files. The copy's descendants keep their places in secrets.yaml.
        YamlNode copy = node_at(node, clone_node(*secret));
        copy.mutable_source() = provenance(node, name);
        return copy;
    }
    if (context.collect_missing_secrets) {
        context.missing_secrets.push_back(MissingReference{name, path_for(context, file_id), node.span.line});
        // A null that is still the directive: written back, it is the
        // directive again, never an empty value in its place.
        YamlNode missing = node_at(node, YamlNode::null());
        missing.mutable_source() = provenance(node, name);
        return missing;
    }
    DirectiveError error = directive_error(DirectiveErrorKind::SecretNotFound,
                                           "secret '" + name + "' is not defined in any secrets.yaml",
                                           path_for(context, file_id), chain);
    error.position = node.span;
    return make_err(std::move(error));
}

}  // namespace quillmere::directives
