#include "roundtrip/serialize.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

#include "common/stack_guard.h"
#include "roundtrip/emitter.h"
#include "roundtrip/queries.h"

namespace quillmere::roundtrip {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Whether `line` (without its line break) holds nothing or only a comment.
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

// "---" or "..." as a document marker: alone or before a blank.
bool is_marker(std::string_view line, std::string_view marker) {
    return line.substr(0, 3) == marker && (line.size() == 3 || is_blank(line[3]));
}

}  // namespace

bool document_modified(const YamlNode& node) {
    if (node.comments.modified) return true;
    if (node.source() && node.source()->comments_edited) return true;
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
    // The lines before the first document's content: blank lines, comments,
    // "..." lines (ending no document) and the document's directives, which
    // can only follow the last "..." line. The header goes where those
    // directives start, right after the last "..." line.
    std::size_t insert_at = std::string_view(text).starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    std::optional<std::pair<std::size_t, std::size_t>> version_line;  // [begin, end), its line break included
    bool explicit_start = false;
    for (std::size_t line_start = insert_at; line_start < text.size();) {
        // A line ends at a line feed, a carriage return or both.
        const std::size_t line_end = std::min(text.find_first_of("\r\n", line_start), text.size());
        const std::string_view line(text.data() + line_start, line_end - line_start);
        const bool has_break = line_end < text.size();
        const std::size_t next =
            line_end + (has_break ? 1 : 0) + (text.compare(line_end, 2, "\r\n") == 0 ? 1 : 0);
        if (is_marker(line, "---")) {
            explicit_start = true;
            break;
        }
        if (is_marker(line, "...")) {
            insert_at = next;
            version_line.reset();
        } else if (line.starts_with('%')) {
            // A "%YAML" line is dropped only with its line break.
            if (!version_line && has_break && starts_with_directive(line, "%YAML"))
                version_line.emplace(line_start, next);
        } else if (!is_blank_or_comment(line)) {
            break;
        }
        line_start = next;
    }
    if (version_line) text.erase(version_line->first, version_line->second - version_line->first);
    std::string header = explicit_start ? "%YAML 1.2\n" : "%YAML 1.2\n---\n";
    if (insert_at == text.size() && insert_at > 0 && text.back() != '\n' && text.back() != '\r')
        header.insert(0, 1, '\n');
    text.insert(insert_at, header);
}

}  // namespace quillmere::roundtrip
