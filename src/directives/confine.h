// What every include form does before it reads: take the argument, check
// the depth of the chain, find the path and keep it inside the include root.
//
// A directive's path is relative to the directory of the file that holds
// it; an absolute path stands for itself. Whatever the path says, the file
// it names must lie inside the include root once every link is resolved:
//
//     root /srv/app, directive in /srv/app/conf/main.yaml:
//         !include db.yaml        ->  /srv/app/conf/db.yaml
//         !include ../x.yaml      ->  /srv/app/x.yaml
//         !include ../../etc/x    ->  "'../../etc/x' resolves outside the
//                                      configured include directory"
//         !include link.yaml      ->  the same error when link.yaml is a
//                                      symbolic link to a file outside
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/result.h"
#include "directives/context.h"
#include "roundtrip/ast.h"

namespace quillmere::directives {

// The argument of an include form: the text of a scalar that is not blank,
// as stored. Anything else fails with "{tag} needs an argument".
Result<std::string, DirectiveError> directive_argument(const roundtrip::YamlNode& node, std::string_view tag,
                                                       const IncludeContext& context, const IncludeChain& chain);

// Fails when the chain already holds kMaxIncludeDepth frames.
Result<void, DirectiveError> check_include_depth(const IncludeContext& context, std::uint32_t file_id,
                                                 const IncludeChain& chain);

// The directory that a directive in source `file_id` is relative to: its
// file's path without the last component, or the root where there is none.
std::string directive_base(const IncludeContext& context, std::uint32_t file_id);

// The path checked against the include root: its canonical form when it
// exists; else its lexical normal form (absolute), with the part of it that
// exists resolved, so that a missing file below a link is judged by where
// the link leads. `shown` is the text the messages quote; `file_id` and
// `chain` locate the directive.
Result<std::string, DirectiveError> confine_path(const IncludeContext& context, const std::string& path,
                                                 std::string_view shown, std::uint32_t file_id,
                                                 const IncludeChain& chain);

}  // namespace quillmere::directives
