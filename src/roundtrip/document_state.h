// The state of a round-trip document, and the path walk every handle
// repeats.
//
// A QuillmereDocument owns one DocumentState: the trees of its stream, the
// source table of a directive load, the text it was loaded from, where it
// saves, and four settings fixed at load time. Handles (views and nodes)
// hold no pointer into the trees, only a root document index and a path,
// which resolve_path walks again on every use: an edit can make a handle
// stale, never dangling.
//
//     documents[0]:  a: [x, {b: 1}]
//     resolve_path(state, 0, [Key a, Index 1, Key b])   -> Scalar "1"
//     resolve_path(state, 0, [Key a, Index 2])          -> null (stale)
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "roundtrip/ast.h"
#include "roundtrip/emitter.h"
#include "roundtrip/path.h"

namespace quillmere::roundtrip {

struct DocumentState {
    // The stream's document roots, in order; may be empty.
    std::vector<YamlNode> documents;
    // The source table of a directive load, indexed by file id (0 is the
    // root text); both empty when no directive was resolved.
    std::vector<std::string> file_paths;
    std::vector<std::optional<std::string>> file_texts;
    // The include root of a directive load, absolute with its links
    // resolved; included files are written back only inside it. Empty
    // when no directive was resolved.
    std::string include_root;
    // The input as decoded to UTF-8 and composed, byte order mark included.
    std::optional<std::string> source_bytes;
    // Where save() writes the root file; set only by set_origin.
    std::optional<std::string> origin;
    // New strings that need quotes get double quotes (else single).
    bool prefer_double_quotes = true;
    // Serialisation puts a "%YAML 1.2" header in front.
    bool upgraded = false;
    // Plain values read by the YAML 1.1 rules, as the plain road reads the
    // text: its leading %YAML directive says 1.1 and the load did not
    // upgrade it (the upgrade rewrites the scalars to read the same by the
    // 1.2 rules). The load's options never choose them.
    bool yaml11 = false;
    NullStyle null_style = NullStyle::Empty;
};

// The node `path` leads to from documents[root], or null when the path is
// stale: no such document, a key no scalar key of the mapping has, an
// index past the end, or a step into anything but a mapping (Key) or a
// sequence (Index). The walk never follows an alias. Of equal keys the
// last entry wins, as in the data.
const YamlNode* resolve_path(const DocumentState& state, std::size_t root, const Path& path);
YamlNode* resolve_path(DocumentState& state, std::size_t root, const Path& path);

}  // namespace quillmere::roundtrip
