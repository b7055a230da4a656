// The include directives: YAML read from other files inside the root.
//
//     db: !include db.yaml                 the first document of db.yaml
//     all: !include_dir_list parts         every document of parts/*.yaml
//     by_name: !include_dir_named parts    {a: <a.yaml>, b: <b.yml>, ...}
//     items: !include_dir_merge_list l     the items of every sequence file
//     merged: !include_dir_merge_named m   the pairs of every mapping file
//
// Every file read is registered as a source, composed under its own
// file_id and walked again, so included files may hold directives too.
// Each result records its provenance (tag, argument, and for !include the
// file_id of the included file).
//
// A directory that does not exist gives an empty result; the files of one
// that does are listed as listing.h says.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "directives/context.h"
#include "roundtrip/ast.h"

namespace quillmere::directives {

Result<roundtrip::YamlNode, DirectiveError> resolve_include(const roundtrip::YamlNode& node, IncludeContext& context,
                                                            const IncludeChain& chain);
Result<roundtrip::YamlNode, DirectiveError> resolve_include_dir_list(const roundtrip::YamlNode& node,
                                                                     IncludeContext& context,
                                                                     const IncludeChain& chain);
Result<roundtrip::YamlNode, DirectiveError> resolve_include_dir_named(const roundtrip::YamlNode& node,
                                                                      IncludeContext& context,
                                                                      const IncludeChain& chain);
Result<roundtrip::YamlNode, DirectiveError> resolve_include_dir_merge_list(const roundtrip::YamlNode& node,
                                                                           IncludeContext& context,
                                                                           const IncludeChain& chain);
Result<roundtrip::YamlNode, DirectiveError> resolve_include_dir_merge_named(const roundtrip::YamlNode& node,
                                                                            IncludeContext& context,
                                                                            const IncludeChain& chain);

struct IncludedFile {
    std::uint32_t file_id = 0;
    std::vector<roundtrip::YamlNode> documents;
    bool may_hold_directives = false;  // else its documents need no walk
};

// Reads, registers and composes one file; `shown` is what the read error
// quotes. Nothing is cached: a file included twice is read twice.
Result<IncludedFile, DirectiveError> load_include_file(IncludeContext& context, const std::string& path,
                                                       std::string_view shown, const IncludeChain& chain);

}  // namespace quillmere::directives
