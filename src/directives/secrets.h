// !secret: a value defined in the nearest secrets.yaml.
//
// The search starts in the directory of the file that holds the directive
// and climbs to the include root, never above it:
//
//     /srv/app/secrets.yaml        db_password: hunter2
//                                  api_key: root-key
//     /srv/app/conf/secrets.yaml   api_key: conf-key
//     /srv/app/conf/app.yaml       key: !secret api_key      -> conf-key
//                                  pw: !secret db_password   -> hunter2
//
// Each secrets.yaml is read, registered and checked at most once per load.
// A file that is missing, outside the root or unreadable defines nothing; a
// file that was read and is malformed ends the load. The key "logger" is
// reserved: its value must be "debug" (otherwise a warning), and it is
// never a secret.
#pragma once

#include "common/result.h"
#include "directives/context.h"
#include "roundtrip/ast.h"

namespace quillmere::directives {

// A copy of the secret, placed at the directive; a null (recorded as a
// MissingReference) when it is not found while misses are collected. Both
// carry the directive's provenance.
Result<roundtrip::YamlNode, DirectiveError> resolve_secret(const roundtrip::YamlNode& node, IncludeContext& context,
                                                           const IncludeChain& chain);

// Whether the node, or anything below it, is tagged exactly "!secret".
bool contains_secret_tag(const roundtrip::YamlNode& node);

}  // namespace quillmere::directives
