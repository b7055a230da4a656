#include "roundtrip/serialize.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "common/stack_guard.h"
#include "roundtrip/anchors.h"
#include "roundtrip/emitter.h"
#include "roundtrip/queries.h"
#include "roundtrip/splice.h"

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

namespace {

// Whether a "%YAML" line stands after a document marker: the line of a
// later document.
bool has_later_version_line(std::string_view text) {
    bool after_marker = false;
    for (std::size_t line = 0; line < text.size();) {
        const std::size_t end = std::min(text.find_first_of("\r\n", line), text.size());
        const std::string_view here = text.substr(line, end - line);
        if (here.starts_with("---") || here.starts_with("...")) after_marker = true;
        if (after_marker && here.starts_with("%YAML")) return true;
        line = end + 1;
    }
    return false;
}

}  // namespace

std::string serialize_document(const DocumentState& state) {
    std::string out;
    bool modified = !state.source_bytes;
    for (const YamlNode& root : state.documents) {
        if (modified) break;
        modified = with_stack_guard([&] { return document_modified(root); });
    }
    if (modified) {
        out.reserve(state.source_bytes ? state.source_bytes->size() + 256 : 256);
        // An upgraded stream of several documents is written whole: a later
        // document's own "%YAML" line goes with the upgrade of its values.
        const bool whole = !state.source_bytes || (state.upgraded && has_later_version_line(*state.source_bytes));
        if (whole || !splice_text(out, *state.source_bytes, 0, state.documents, state.null_style))
            render_documents(out, state.null_style, state.documents);
    } else {
        out = *state.source_bytes;
    }
    // A stream without documents gets no header, which would make one.
    if (state.upgraded && !state.documents.empty()) apply_version_header(out);
    return out;
}

std::string serialize_node(const DocumentState& state, std::size_t root, const Path& path, const YamlNode& node) {
    const std::vector<std::string>* directives = nullptr;
    if (root < state.documents.size()) {
        const YamlNode* at = &state.documents[root];
        for (std::size_t i = 0; at != nullptr; ++i) {
            if (!at->directives().empty()) directives = &at->directives();
            if (i == path.size()) break;
            at = child_at(*at, path[i]);
        }
    }
    YamlNode copy = standalone_copy(node, state.documents);
    if (directives != nullptr && copy.directives().empty()) copy.mutable_directives() = *directives;
    std::string out;
    out.reserve(256);
    if (copy.leading_bom) out += kByteOrderMark;
    render_document(out, state.null_style, copy);
    return out;
}

void apply_version_header(std::string& text) {
    // The lines before the first document's content: blank lines, comments,
    // "..." lines (ending no document) and the document's directives. The
    // header goes in front; the "..." lines go, as after the header they
    // would end a document, and so does the first "%YAML" line.
    const std::size_t insert_at = std::string_view(text).starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    std::vector<std::pair<std::size_t, std::size_t>> dropped;  // [begin, end), line breaks included
    bool version_dropped = false;
    bool explicit_start = false;
    for (std::size_t line_start = insert_at; line_start < text.size();) {
        // A line ends at a line feed, a carriage return or both.
        const std::size_t line_end = std::min(text.find_first_of("\r\n", line_start), text.size());
        // Byte-order marks opening a line of the prefix go: after the
        // header's "---" they would be text.
        std::size_t content = line_start;
        while (content < line_end && text.compare(content, kByteOrderMark.size(), kByteOrderMark) == 0)
            content += kByteOrderMark.size();
        if (content > line_start) dropped.emplace_back(line_start, content);
        const std::string_view line(text.data() + content, line_end - content);
        const bool has_break = line_end < text.size();
        const std::size_t next =
            line_end + (has_break ? 1 : 0) + (text.compare(line_end, 2, "\r\n") == 0 ? 1 : 0);
        if (is_marker(line, "---")) {
            explicit_start = true;
            break;
        }
        if (is_marker(line, "...")) {
            dropped.emplace_back(content, next);
        } else if (line.starts_with('%')) {
            // A "%YAML" line is dropped only with its line break.
            if (!version_dropped && has_break && starts_with_directive(line, "%YAML")) {
                dropped.emplace_back(content, next);
                version_dropped = true;
            }
        } else if (!is_blank_or_comment(line)) {
            break;
        }
        line_start = next;
    }
    for (auto range = dropped.rbegin(); range != dropped.rend(); ++range)
        text.erase(range->first, range->second - range->first);
    text.insert(insert_at, explicit_start ? "%YAML 1.2\n" : "%YAML 1.2\n---\n");
}

}  // namespace quillmere::roundtrip
