#include "directives/loader.h"

#include <memory>
#include <utility>

#include "common/stack_guard.h"
#include "directives/env_var.h"
#include "directives/includes.h"
#include "directives/paths.h"
#include "directives/secrets.h"
#include "roundtrip/composer.h"

namespace quillmere::directives {

using roundtrip::NodeKind;
using roundtrip::NodePair;
using roundtrip::YamlNode;

namespace {

using Handler = Result<YamlNode, DirectiveError> (*)(const YamlNode&, IncludeContext&, const IncludeChain&);

// The handler of a directive tag whose option is on.
Handler handler_for(const std::string& tag, const IncludeContext& context) {
    if (tag.size() < 7 || tag[0] != '!') return nullptr;
    if (context.includes) {
        if (tag == "!include") return resolve_include;
        if (tag == "!include_dir_list") return resolve_include_dir_list;
        if (tag == "!include_dir_named") return resolve_include_dir_named;
        if (tag == "!include_dir_merge_list") return resolve_include_dir_merge_list;
        if (tag == "!include_dir_merge_named") return resolve_include_dir_merge_named;
    }
    if (context.secrets && tag == "!secret") return resolve_secret;
    if (context.env_vars && tag == "!env_var") return resolve_env_var;
    return nullptr;
}

// The comments that stood with the directive in its text (above it, after
// it, blank lines) stay in that text when it is written back. An included
// file's root has its file's comments, so the directive's go into its
// provenance; any other result takes them in place of what it copied
// (the comments of a secret in secrets.yaml) or made (none).
void keep_directive_comments(roundtrip::Comments&& directive, YamlNode& result) {
    const std::optional<roundtrip::IncludeSource>& source = result.source();
    if (!source || !source->target_file_id) {
        result.comments = std::move(directive);
    } else if (directive.has_texts() || directive.blank_before != 0) {
        result.mutable_source()->directive_comments = std::make_shared<const roundtrip::Comments>(std::move(directive));
    }
}

// One step of the walk; every child goes through the stack guard again.
Result<void, DirectiveError> resolve_node(YamlNode& node, IncludeContext& context, const IncludeChain& chain) {
    if (const std::optional<std::string>& tag = node.tag()) {
        if (Handler handler = handler_for(*tag, context)) {
            Result<YamlNode, DirectiveError> resolved = handler(node, context, chain);
            if (!resolved.ok()) return make_err(std::move(resolved).error());
            YamlNode result = std::move(resolved).value();
            keep_directive_comments(std::move(node.comments), result);
            node = std::move(result);  // the directive node is released here
            return Ok{};
        }
    }
    if (node.is(NodeKind::Sequence)) {
        for (YamlNode& item : node.items()) QM_TRY(resolve_directives_in_place(item, context, chain));
    } else if (node.is(NodeKind::Mapping)) {
        for (NodePair& pair : node.pairs()) QM_TRY(resolve_directives_in_place(pair.value, context, chain));
    }
    return Ok{};
}

}  // namespace

bool may_hold_directives(std::string_view text, const IncludeContext& context) {
    // "!include" begins all five include tags.
    return (context.includes && text.find("!include") != std::string_view::npos) ||
           (context.secrets && text.find("!secret") != std::string_view::npos) ||
           (context.env_vars && text.find("!env_var") != std::string_view::npos);
}

Result<void, DirectiveError> resolve_directives_in_place(YamlNode& node, IncludeContext& context,
                                                         const IncludeChain& chain) {
    return with_stack_guard([&] { return resolve_node(node, context, chain); });
}

Result<YamlNode, DirectiveError> resolve_directives(YamlNode node, IncludeContext& context,
                                                    const IncludeChain& chain) {
    QM_TRY(resolve_directives_in_place(node, context, chain));
    return node;
}

Result<std::vector<YamlNode>, DirectiveError> load_with_directives(IncludeContext& context, std::string_view text,
                                                                   const std::optional<std::string>& root_path,
                                                                   bool keep_empty) {
    std::string name = root_path ? *root_path : join_path(context.root, "<root>");
    const std::uint32_t file_id = register_source(context, std::move(name), std::string(text));
    auto composed =
        roundtrip::compose_text(*context.sources.file_texts[file_id], roundtrip::ComposeOptions{file_id, keep_empty});
    if (!composed.ok()) {
        return make_err(
            directive_error(DirectiveErrorKind::Include, std::move(composed.error().message), context.root, {}));
    }
    std::vector<YamlNode> documents = std::move(composed).value();
    if (!may_hold_directives(text, context)) return documents;
    for (YamlNode& document : documents) QM_TRY(resolve_directives_in_place(document, context, {}));
    return documents;
}

}  // namespace quillmere::directives
