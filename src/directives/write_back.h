// The included files of round-trip trees, as files to write back.
//
// A tree loaded with directives holds, at every include root, the content
// of one included file. Writing back renders that content as the file's
// text again (a file whose content nothing changed keeps the text it was
// read with), folds the pieces per file path and checks each path against
// the include root once more, as it is on the disk now:
//
//     main.yaml:  a: !include x.yaml          x.yaml edited through doc["a"]
//                 b: !include x.yaml          -> one write of x.yaml
//
// The same file reached through two include roots must come out as one
// text; two different texts are a conflict, not a last write that wins.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/result.h"
#include "directives/context.h"
#include "directives/platform.h"
#include "roundtrip/ast.h"

namespace quillmere::directives {

enum class IncludedFiles : std::uint8_t {
    Changed,  // the files whose content an edit changed
    All,      // every included file
};

// The included files below `documents`, one per path, in the order their
// first include root is met. `file_paths` and `file_texts` are the load's
// source table; an include root whose file id it does not hold is left
// out. A path reached with two different texts fails with "'{path}' is
// included more than once with conflicting edits; write-back cannot store
// two different versions of one file".
Result<std::vector<FileWrite>, DirectiveError> collect_included_files(
    std::span<const roundtrip::YamlNode> documents, std::span<const std::string> file_paths,
    std::span<const std::optional<std::string>> file_texts, IncludedFiles which);

// Fails with the load's confinement error when a path, its links resolved
// as they are now, lies outside `canonical_root` (a link or a directory
// changed since the load). An empty root confines nothing.
Result<void, DirectiveError> confine_writes(std::span<const FileWrite> files, const std::string& canonical_root);

}  // namespace quillmere::directives
