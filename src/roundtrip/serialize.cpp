#include "roundtrip/serialize.h"

#include <optional>
#include <string_view>
#include <utility>

#include "common/stack_guard.h"
#include "roundtrip/emitter.h"
#include "roundtrip/queries.h"

namespace quillmere::roundtrip {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Whether `line` (without its line feed) holds nothing or only a comment.
bool is_blank_or_comment(std::string_view line) {
    for (char c : line) {
        if (c == '#') return true;
        if (!is_blank(c)) return false;
    }
    return true;
}

bool starts_with_directive(std::string_view line, std::string_view name) {
    return line.size() > name.size() && line.substr(0, name.size()) == name && is_blank(line[name.size()]);
}

bool is_document_start(std::string_view line) {
    return line.substr(0, 3) == "---" && (line.size() == 3 || is_blank(line[3]));
}

}  // namespace

bool document_modified(const YamlNode& node) {
    if (node.comments.modified) return true;
    if (node.is(NodeKind::Mapping)) {
        for (const NodePair& pair : node.pairs()) {
            if (with_stack_guard([&] { return document_modified(pair.key) || document_modified(pair.value); }))
                return true;
        }
    } else if (node.is(NodeKind::Sequence)) {
        for (const YamlNode& item : node.items()) {
            if (with_stack_guard([&] { return document_modified(item); })) return true;
        }
    }
    return false;
}

bool root_file_modified(const DocumentState& state) {
    for (const YamlNode& root : state.documents) {
        if (content_modified(root)) return true;
    }
    return false;
}

std::string serialize_document(const DocumentState& state) {
    std::string out;
    bool modified = !state.source_bytes;
    for (const YamlNode& root : state.documents) {
        if (modified) break;
        modified = with_stack_guard([&] { return document_modified(root); });
    }
    if (modified) {
        out.reserve(256);
        render_documents(out, state.null_style, state.documents);
    } else {
        out = *state.source_bytes;
    }
    if (state.upgraded) apply_version_header(out);
    return out;
}

void apply_version_header(std::string& text) {
    const std::size_t start = std::string_view(text).starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    // Walk the lines before the first document's content.
    std::size_t line_start = start;
    std::optional<std::pair<std::size_t, std::size_t>> version_line;  // [begin, end) with its line feed
    bool explicit_start = false;
    while (line_start < text.size()) {
        const std::size_t feed = text.find('\n', line_start);
        const std::size_t line_end = feed == std::string::npos ? text.size() : feed;
        const std::string_view line(text.data() + line_start, line_end - line_start);
        if (is_document_start(line)) {
            explicit_start = true;
            break;
        }
        if (line.starts_with('%')) {
            // A "%YAML" line is dropped only with its line feed.
            if (!version_line && feed != std::string::npos && starts_with_directive(line, "%YAML"))
                version_line.emplace(line_start, feed + 1);
        } else if (!is_blank_or_comment(line)) {
            break;
        }
        if (feed == std::string::npos) break;
        line_start = feed + 1;
    }
    if (version_line) text.erase(version_line->first, version_line->second - version_line->first);
    text.insert(start, explicit_start ? "%YAML 1.2\n" : "%YAML 1.2\n---\n");
}

}  // namespace quillmere::roundtrip
