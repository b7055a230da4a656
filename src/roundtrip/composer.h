// The composer: YAML text in, one YamlNode tree per document out.
//
// It reads the same grammar as the plain road's decoder and rejects what
// the decoder rejects, with the same located error; unlike the decoder it
// resolves nothing: scalars keep their text and style, tags and anchors
// stay as written, aliases stay names. After composing, comments and blank
// lines are attached to the nodes.
//
//     # c                  ->  Mapping (Block)
//     a: [1, *x]  # d            key   Scalar "a", head ["c"]
//                                value Sequence (Flow) [Scalar "1", Alias "x"],
//                                      inline "d"
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "roundtrip/ast.h"
#include "scanner/token.h"

namespace quillmere::roundtrip {

struct ComposeOptions {
    // Every position carries this index into the load's source table.
    std::uint32_t file_id = 0;
    // An empty explicit document ("---" with nothing after it) becomes a
    // Null root instead of being dropped.
    bool keep_empty = false;
};

// Composes a whole text. A text that starts with a UTF-8 byte order mark
// marks its first root `leading_bom`.
Result<std::vector<YamlNode>, ScanError> compose_text(std::string_view text, const ComposeOptions& options);

// A text registered in a load's source table (empty documents dropped).
inline Result<std::vector<YamlNode>, ScanError> parse_source_documents(std::string_view text,
                                                                        std::uint32_t file_id) {
    return compose_text(text, ComposeOptions{file_id, false});
}

// The text given to the call itself: file_id 0, empty documents dropped.
inline Result<std::vector<YamlNode>, ScanError> parse_documents(std::string_view text) {
    return compose_text(text, ComposeOptions{});
}

}  // namespace quillmere::roundtrip
