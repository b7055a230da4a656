// The directive load: one root text in, its documents out with every
// directive replaced by what it names.
//
// The loads driver makes a context, sets the flags it derives from its
// options, and loads:
//
//     IncludeContext context = new_include_context(include_dir, includes, secrets, env_vars);
//     context.include_dir_recursive = ...;
//     context.collect_missing_secrets = ...;
//     context.collect_missing_env_vars = ...;
//     auto documents = load_with_directives(context, text, root_path);
//
// On success it logs context.warnings, reports context.missing_secrets and
// context.missing_env_vars, and keeps into_source_table(context). On a
// DirectiveError it drops the context unread.
//
// The walk visits every sequence item and every mapping value; a node whose
// tag is a directive enabled by the context is handed to that directive and
// replaced by its result. Keys are never resolved, and a directive whose
// option is off stays an ordinary tagged node.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "directives/context.h"
#include "roundtrip/ast.h"

namespace quillmere::directives {

// Registers the root text as source 0 under `root_path`, or under the root
// joined with "<root>", composes it and resolves every document. A syntax
// error of the root text is reported with its message only, against the
// include root. With `keep_empty`, an empty explicit document of the root
// text stays, as a Null root, so that the documents count as the decoder
// counts them.
Result<std::vector<roundtrip::YamlNode>, DirectiveError> load_with_directives(
    IncludeContext& context, std::string_view text, const std::optional<std::string>& root_path,
    bool keep_empty = false);

// The node with the directives below it resolved, within `chain`.
Result<roundtrip::YamlNode, DirectiveError> resolve_directives(roundtrip::YamlNode node, IncludeContext& context,
                                                               const IncludeChain& chain);

// Whether `text` can hold a directive that the context resolves. Tags reach
// the tree exactly as written, so where no enabled directive tag is written
// there is nothing to resolve, and the trees of the text need no walk.
bool may_hold_directives(std::string_view text, const IncludeContext& context);

// The same, in place: only directive nodes are replaced. Stack-guarded, so
// callers may nest it as deep as their trees go.
Result<void, DirectiveError> resolve_directives_in_place(roundtrip::YamlNode& node, IncludeContext& context,
                                                         const IncludeChain& chain);

}  // namespace quillmere::directives
