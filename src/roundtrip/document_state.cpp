#include "roundtrip/document_state.h"

namespace quillmere::roundtrip {

const YamlNode* resolve_path(const DocumentState& state, std::size_t root, const Path& path) {
    if (root >= state.documents.size()) return nullptr;
    return follow_path(state.documents[root], path);
}

YamlNode* resolve_path(DocumentState& state, std::size_t root, const Path& path) {
    if (root >= state.documents.size()) return nullptr;
    return follow_path(state.documents[root], path);
}

}  // namespace quillmere::roundtrip
