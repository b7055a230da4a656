#include "roundtrip/comments.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "common/stack_guard.h"
#include "roundtrip/queries.h"

namespace quillmere::roundtrip {

namespace {

// Whether a flow collection was written in brackets. The one-pair mapping
// of a flow sequence item ("[a: b]") is a flow mapping without them; it
// starts where its key starts.
bool is_bracketed(const YamlNode& node, std::string_view text) {
    if (node.style() != CollectionStyle::Flow || node.span.offset >= text.size()) return false;
    const char open = text[node.span.offset];
    if (node.is(NodeKind::Sequence)) return open == '[';
    if (!node.is(NodeKind::Mapping) || open != '{') return false;
    const auto& pairs = node.pairs();
    return pairs.empty() || !(pairs[0].key.is(NodeKind::Mapping) && pairs[0].key.span.offset == node.span.offset);
}

class Attacher {
public:
    Attacher(std::string_view text, const LineIndex& lines, std::vector<ScannedComment>& comments)
        : text_(text), lines_(lines), comments_(comments) {}

    // Visits `node` and everything below it. Only a node that allows it
    // takes an inline comment, and only one that lies before `limit`, the
    // end of the innermost bracketed flow collection around the node.
    void visit(YamlNode& node, bool inline_allowed, std::uint64_t limit) {
        const std::uint32_t line = node.span.line;
        if (has_last_line_) {
            const std::uint32_t next = cursor_ < comments_.size() ? std::min(line, comments_[cursor_].span.line) : line;
            node.comments.blank_before = lines_.blank_lines_between(last_line_, next);
        }
        while (cursor_ < comments_.size() && comments_[cursor_].span.line < line) {
            raise_last_line(comments_[cursor_].span.line);
            node.comments.mutable_head().push_back(std::move(comments_[cursor_].text));
            ++cursor_;
        }
        raise_last_line(line);

        // Below a node whose lines hold no comment and no blank line there
        // is nothing to attach: its children are passed over.
        const bool quiet = (cursor_ >= comments_.size() || comments_[cursor_].span.line > node.end_line) &&
                           lines_.blank_lines_between(line, node.end_line + 1) == 0;
        const std::uint64_t inner_limit = is_bracketed(node, text_) ? std::min(limit, node.end_offset) : limit;
        if (quiet) {
            // The node's own end below covers its children's.
        } else if (node.is(NodeKind::Sequence)) {
            for (YamlNode& item : node.items()) with_stack_guard([&] { visit(item, true, inner_limit); });
        } else if (node.is(NodeKind::Mapping)) {
            for (NodePair& pair : node.pairs()) {
                with_stack_guard([&] { visit(pair.key, false, inner_limit); });
                take_comment_after_colon(pair.key, pair.value, inner_limit);
                with_stack_guard([&] { visit(pair.value, true, inner_limit); });
            }
        }

        const ContentEnd end = content_end(node);
        const auto& raw = node.comments.raw();
        raise_last_line(raw ? line + static_cast<std::uint32_t>(std::count(raw->begin(), raw->end(), '\n')) : end.line);

        if (!inline_allowed || cursor_ >= comments_.size() || node.comments.inline_comment()) return;
        ScannedComment& comment = comments_[cursor_];
        if (comment.span.line != line || comment.span.column <= node.span.column || comment.span.offset >= limit)
            return;
        if (end.line == line && end.column < comment.span.column)
            node.comments.inline_spaces = comment.span.column - end.column;
        node.comments.mutable_inline_comment() = std::move(comment.text);
        ++cursor_;
    }

    // Everything not attached yet goes below the last root.
    void attach_foot(YamlNode& last) {
        for (; cursor_ < comments_.size(); ++cursor_)
            last.comments.mutable_foot().push_back(std::move(comments_[cursor_].text));
    }

private:
    // The comment after "key:" when the value is a block collection that
    // starts on a later line: the inline comment of that collection, which
    // has no line of its own to end ("key: # about\n  x: 1"). The ":" must
    // stand on the key's line: after "? key" the comment is the next
    // node's, as everywhere else.
    void take_comment_after_colon(const YamlNode& key, YamlNode& value, std::uint64_t limit) {
        if (cursor_ >= comments_.size() || value.style() != CollectionStyle::Block) return;
        if (!(value.is(NodeKind::Mapping) && !value.pairs().empty()) &&
            !(value.is(NodeKind::Sequence) && !value.items().empty()))
            return;
        const ScannedComment& comment = comments_[cursor_];
        const ContentEnd end = content_end(key);
        if (comment.span.line != end.line || comment.span.line >= value.span.line || comment.span.offset >= limit ||
            comment.span.column <= end.column || key.end_offset >= comment.span.offset)
            return;
        const std::string_view between = text_.substr(key.end_offset, comment.span.offset - key.end_offset);
        const std::size_t colon = between.find_first_not_of(" \t");
        if (colon == std::string_view::npos || between[colon] != ':') return;
        // The blanks before the "#", after the ":" or the value's properties.
        const std::size_t last = between.find_last_not_of(" \t");
        value.comments.inline_spaces = static_cast<std::uint32_t>(between.size() - last - 1);
        value.comments.mutable_inline_comment() = std::move(comments_[cursor_].text);
        ++cursor_;
    }

    void raise_last_line(std::uint32_t line) {
        if (!has_last_line_ || line > last_line_) last_line_ = line;
        has_last_line_ = true;
    }

    std::string_view text_;
    const LineIndex& lines_;
    std::vector<ScannedComment>& comments_;
    std::size_t cursor_ = 0;
    std::uint32_t last_line_ = 0;
    bool has_last_line_ = false;
};

}  // namespace

void attach_comments(std::string_view text, const LineIndex& lines, std::vector<YamlNode>& roots,
                     std::vector<ScannedComment> comments) {
    if (roots.empty()) return;
    Attacher attacher(text, lines, comments);
    for (YamlNode& root : roots) attacher.visit(root, true, std::numeric_limits<std::uint64_t>::max());
    attacher.attach_foot(roots.back());
}

}  // namespace quillmere::roundtrip
