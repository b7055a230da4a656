#include "roundtrip/splice.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "common/stack_guard.h"
#include "roundtrip/emitter.h"
#include "roundtrip/queries.h"

namespace quillmere::roundtrip {

namespace {

constexpr std::uint64_t kNone = ~std::uint64_t{0};

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_break(char c) { return c == '\n' || c == '\r'; }

bool has_changes(const YamlNode& node) {
    return node.properties_changed || node.comments.head_changed || node.comments.inline_changed ||
           (node.source() && node.source()->comments_edited);
}

// Whether a node has an inline comment in the text it stands in (for an
// included file's root, its directive's).
bool has_inline_here(const YamlNode& node) {
    const Comments* comments = placed_comments(node);
    return comments && comments->inline_comment().has_value();
}

// An entry that an edit appended: its key, a scalar, took no place. The
// key that the composer makes for one left out of the text is a null.
bool is_new_entry(const NodePair& pair) {
    return pair.key.is(NodeKind::Scalar) && !pair.key.in_place && !pair.key.replaced && pair.key.span == Span{} &&
           !pair.value.in_place && pair.value.comments.modified;
}

// Whether the last node written in a block collection is a block scalar.
bool ends_with_block_scalar(const YamlNode& node) {
    const YamlNode* at = &node;
    while (is_block_collection(*at)) at = at->is(NodeKind::Mapping) ? &at->pairs().back().value : &at->items().back();
    return is_block_scalar(*at);
}

// Whether a mapping at or below `node` has an entry without a key of its
// own in the text ("? " or ": x" alone), whose lines its region cannot
// tell from the others'.
bool has_keyless_entry(const YamlNode& node) {
    if (node.is(NodeKind::Sequence)) {
        for (const YamlNode& item : node.items())
            if (with_stack_guard([&] { return has_keyless_entry(item); })) return true;
    } else if (node.is(NodeKind::Mapping)) {
        for (const NodePair& pair : node.pairs()) {
            if (!pair.key.in_place && !pair.key.source() && !is_new_entry(pair)) return true;
            if (with_stack_guard([&] { return has_keyless_entry(pair.key) || has_keyless_entry(pair.value); }))
                return true;
        }
    }
    return false;
}

YamlNode without_comments(const YamlNode& node) {
    YamlNode copy = clone_node(node);
    Comments comments;
    comments.value_pad = copy.comments.value_pad;
    comments.modified = true;
    copy.comments = std::move(comments);
    return copy;
}

std::string_view without_final_break(std::string_view text) {
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    return text;
}

class Splicer {
public:
    Splicer(std::string& out, std::string_view text, std::uint32_t file_id, NullStyle null_style,
            const YamlNode* file_root)
        : out_(out), text_(text), file_id_(file_id), null_style_(null_style), file_root_(file_root) {
        const std::size_t first = text.find_first_of("\r\n");
        if (first != std::string_view::npos && text[first] == '\r')
            line_break_ = text.substr(first, 2) == "\r\n" ? "\r\n" : "\r";
    }

    bool write(std::span<const YamlNode> roots) {
        for (const YamlNode& root : roots) {
            if (!with_stack_guard([&] { return visit_root(root); })) return false;
        }
        copy_to(text_.size());
        return !failed_;
    }

private:
    // ------------------------------------------------------------ text

    std::uint64_t size() const { return text_.size(); }

    // The start of the line that holds `at`.
    std::uint64_t line_start(std::uint64_t at) const {
        while (at > 0 && !is_break(text_[at - 1])) --at;
        return at;
    }
    // Where the line that holds `at` ends: its line break, or the end.
    std::uint64_t line_end(std::uint64_t at) const {
        while (at < size() && !is_break(text_[at])) ++at;
        return at;
    }
    // Past the line break at `at`, if there is one.
    std::uint64_t past_break(std::uint64_t at) const {
        if (at < size() && text_[at] == '\r') return at + 1 < size() && text_[at + 1] == '\n' ? at + 2 : at + 1;
        if (at < size() && text_[at] == '\n') return at + 1;
        return at;
    }
    std::uint64_t column_of(std::uint64_t at) const {
        std::uint64_t column = 0;
        for (std::uint64_t i = line_start(at); i < at; ++i)
            if ((static_cast<unsigned char>(text_[i]) & 0xC0) != 0x80) ++column;
        return column;
    }
    // Past blanks, line breaks and comments: what can stand between two
    // tokens.
    std::uint64_t skip_gap(std::uint64_t at) const {
        while (at < size()) {
            const char c = text_[at];
            if (is_blank(c) || is_break(c)) {
                ++at;
            } else if (c == '#') {
                at = line_end(at);
            } else {
                break;
            }
        }
        return at;
    }
    // The indicator `c` as the next token after `from`, or kNone.
    std::uint64_t find_indicator(char c, std::uint64_t from) const {
        const std::uint64_t at = skip_gap(from);
        return at < size() && text_[at] == c ? at : kNone;
    }
    // The length of the line break that ends just before `end`, or 0.
    std::uint64_t break_before(std::uint64_t end) const {
        if (end == 0 || !is_break(text_[end - 1])) return 0;
        return end >= 2 && text_[end - 1] == '\n' && text_[end - 2] == '\r' ? 2 : 1;
    }

    // Where the text of a replaced node ends, for the new text `made`
    // (which ends with a line break) that takes its place. A node in block
    // layout owns its lines through its end, a line start: the new text
    // goes up to there, but the empty lines the old node took in at its
    // end stay, unless the new text keeps its final line breaks, which
    // they would join. Any other node ends on its last line: the new text
    // goes to the end of that line, and the line break stays.
    struct PlaceEnd {
        std::uint64_t at;
        bool with_break;  // the new text's final line break goes in too
    };
    PlaceEnd place_end(const SourceRegion& region, std::string_view made, std::uint64_t slot_column) const {
        std::uint64_t end = std::min<std::uint64_t>(region.end, size());
        if (!region.block) {
            while (end > region.begin && (is_blank(text_[end - 1]) || is_break(text_[end - 1]))) --end;
            return {line_end(end), false};
        }
        if (own_lines_end(end) != kNone) end = own_lines_end(end);
        if (end >= size()) {
            // What ends the text is the node's, blanks and all; its final
            // line break stays the text's.
            if (size() == 0 || !is_break(text_[size() - 1])) return {size(), false};
            end = size();
        } else {
            if (break_before(end) == 0) {
                // The end of a line: an empty item ends at its dash, a block
                // scalar's last line in blanks.
                if (is_blank(text_[end]) || is_break(text_[end]))
                    while (end > region.begin && (is_blank(text_[end - 1]) || is_break(text_[end - 1]))) --end;
                end = line_end(end);
                if (end >= size()) return {end, false};
                end = past_break(end);
            }
            end = past_deeper_lines(end, slot_column);
        }
        if (!made.ends_with("\n\n")) {
            // Empty lines the old node took in at its end stay, unless the
            // new text keeps its final line breaks, which they would join.
            while (true) {
                const std::uint64_t content_end = end - break_before(end);
                if (content_end <= region.begin || break_before(content_end) == 0) break;
                end = content_end;
            }
        }
        return {end, true};
    }

    // Lines from `at`, a line start, indented past `column` belong to the
    // block node that ends before them (an entry with no key or value,
    // whose text its end leaves out); comment and blank lines only when
    // such a line follows. Where those lines end.
    std::uint64_t past_deeper_lines(std::uint64_t end, std::uint64_t column) const {
        for (std::uint64_t at = end; at < size();) {
            std::uint64_t first = at;
            while (first < size() && is_blank(text_[first])) ++first;
            const std::uint64_t next = past_break(line_end(at));
            if (first < size() && !is_break(text_[first]) && text_[first] != '#') {
                if (column_of(first) <= column) break;
                end = next;
            }
            if (next == at) break;
            at = next;
        }
        return end;
    }

    // A block scalar's end can take in the indentation of the next line;
    // the end of its own lines is that line's start. None at the end of
    // the text, where its last line was cut off.
    std::uint64_t own_lines_end(std::uint64_t end) const {
        const std::uint64_t start = line_start(end);
        if (start == end || !std::all_of(text_.begin() + static_cast<std::ptrdiff_t>(start),
                                         text_.begin() + static_cast<std::ptrdiff_t>(end), is_blank))
            return end;
        return end == size() ? kNone : start;
    }

    // Writes `made` over a replaced node's text from `begin`.
    bool replace_place(std::uint64_t begin, const SourceRegion& region, const YamlNode& node, std::string_view made,
                       std::uint64_t slot_column) {
        // A block collection of entries with no text ("? " alone) has no
        // region to replace; nor has anything whose lines are told from
        // those of such an entry.
        if ((region.block && region.end <= region.begin) || fragile_ > 0) return fail();
        const PlaceEnd end = place_end(region, made, slot_column);
        // Blanks with a tab before a place that starts its line indent
        // whatever block content takes it; a tab cannot.
        if (is_block_collection(node) || without_final_break(made).find('\n') != std::string_view::npos) {
            const std::uint64_t start = line_start(begin);
            bool tab = false, blanks = true;
            for (std::uint64_t at = start; at < begin; ++at) {
                tab = tab || text_[at] == '\t';
                blanks = blanks && is_blank(text_[at]);
            }
            if (tab && blanks) return fail();
        }
        // Comment lines after a new block scalar, indented past the place,
        // could be read as more of its lines.
        if (ends_with_block_scalar(node)) {
            const std::uint64_t next = skip_blank_lines(end.at);
            if (next < size() && text_[next] == '#' && column_of(next) > slot_column) return fail();
        }
        return replace(begin, end.at, end.with_break ? made : without_final_break(made));
    }

    // Past the blanks and empty lines from `at`.
    std::uint64_t skip_blank_lines(std::uint64_t at) const {
        while (at < size() && (is_blank(text_[at]) || is_break(text_[at]))) ++at;
        return at;
    }

    // Whether text_[from, line end) is blanks, then maybe a comment.
    bool only_comment_after(std::uint64_t from) const {
        std::uint64_t at = from;
        while (at < size() && is_blank(text_[at])) ++at;
        return at >= size() || is_break(text_[at]) || text_[at] == '#';
    }

    // ------------------------------------------------------------ output

    void copy_to(std::uint64_t at) {
        if (at < copied_ || at > size()) {
            failed_ = true;
            return;
        }
        out_.append(text_.substr(copied_, at - copied_));
        copied_ = at;
    }
    void append(std::string_view made) {
        if (line_break_ == "\n") {
            out_ += made;
            return;
        }
        for (char c : made) {
            if (c == '\n') {
                out_ += line_break_;
            } else {
                out_ += c;
            }
        }
    }
    // Whether a tab starts one of the lines after the one that holds `at`,
    // up to the first with content: as indentation it is refused, and a
    // plain scalar that took those lines in as blanks may be replaced by
    // text that does not.
    bool tab_follows(std::uint64_t at) const {
        for (std::uint64_t line = past_break(line_end(at)); line < size();) {
            const std::uint64_t end = line_end(line);
            std::uint64_t first = line;
            while (first < end && is_blank(text_[first])) {
                if (text_[first] == '\t') return true;
                ++first;
            }
            if (first < end) return false;
            if (end >= size()) return false;
            line = past_break(end);
        }
        return false;
    }

    // Writes the text up to `begin`, then `made` in place of [begin, end).
    bool replace(std::uint64_t begin, std::uint64_t end, std::string_view made) {
        if (begin < copied_ || end < begin) return fail();
        if (flow_depth_ == 0 && tab_follows(end)) return fail();
        copy_to(begin);
        append(made);
        copied_ = end;
        return !failed_;
    }
    // Runs `write`; when it fails, undoes what it wrote, so that the caller
    // can write the same place another way.
    template <class Write>
    bool attempt(Write&& write) {
        const std::size_t mark = out_.size();
        const std::uint64_t copied = copied_, last_end = last_end_, heads_line = heads_line_;
        const bool claims = claims_comment_;
        const int in_key = in_key_, fragile = fragile_, flow_depth = flow_depth_;
        if (write()) return true;
        out_.resize(mark);
        copied_ = copied;
        last_end_ = last_end;
        heads_line_ = heads_line;
        claims_comment_ = claims;
        in_key_ = in_key;
        fragile_ = fragile;
        flow_depth_ = flow_depth;
        failed_ = false;
        return false;
    }

    bool fail() {
        failed_ = true;
        return false;
    }

    // ------------------------------------------------------------ nodes

    // The region of this text a node stands in, or none when it stands in
    // none here.
    std::optional<SourceRegion> region_of(const YamlNode& node) const {
        std::optional<SourceRegion> region;
        if (node.source() && &node != file_root_) {
            region = node.source()->directive_region;
        } else {
            region = node.place();
        }
        if (!region || region->file_id != file_id_ || region->end > size() || region->begin > region->end)
            return std::nullopt;
        return region;
    }
    // In place here: the content is this text's at its region.
    bool here(const YamlNode& node) const {
        return node.in_place && (!node.source() || &node == file_root_) && node.span.file_id == file_id_ &&
               node.end_offset <= size();
    }
    // A node a directive produced, standing as its directive here.
    bool directive_here(const YamlNode& node) const {
        return node.source() && &node != file_root_ && region_of(node).has_value();
    }

    // The column of a block mapping's keys: where its first entry starts,
    // at its "?" or the first key's properties, if any.
    std::uint64_t mapping_indent(const YamlNode& mapping) const {
        const YamlNode& first = mapping.pairs().front().key;
        const std::uint64_t column = mapping.span.column;
        return here(first) ? std::min(column, column_of(first.source_begin())) : column;
    }

    void passed(std::uint64_t end, bool claims_comment) {
        if (end >= last_end_) {
            last_end_ = end;
            claims_comment_ = claims_comment;
        }
    }

    bool visit_root(const YamlNode& root) {
        if (directive_here(root)) {
            if (has_changes(root)) return fail();
            passed(region_of(root)->end, has_inline_here(root));
            return true;
        }
        if (here(root))
            return visit(root, Slot::Root, is_block_collection(root) ? root.span.offset : root.source_begin(), kNone);
        const std::optional<SourceRegion> region = region_of(root);
        if (!region) return fail();
        std::uint64_t begin = region->begin;
        if (region->begin == region->end) {
            // An empty document stands at its "---": the new content goes
            // on the lines after it.
            if (text_.substr(begin, 3) != "---") return fail();
            const std::uint64_t at = line_end(begin);
            const std::string made = render_root_text(root, 0, null_style_);
            if (at >= size()) return replace(at, at, "\n" + std::string(without_final_break(made)));
            return replace(past_break(at), past_break(at), made);
        }
        const bool alone = std::all_of(text_.begin() + static_cast<std::ptrdiff_t>(line_start(begin)),
                                       text_.begin() + static_cast<std::ptrdiff_t>(begin), is_blank);
        if (!alone && is_block_collection(root)) {
            // Behind "---" a block collection cannot start: it goes on the
            // lines after that one, whose comment stays.
            if (region->block) return fail();
            const std::uint64_t end = line_end(region->end);
            const bool commented = !std::all_of(text_.begin() + static_cast<std::ptrdiff_t>(region->end),
                                                text_.begin() + static_cast<std::ptrdiff_t>(end), is_blank);
            std::uint64_t from = begin;
            if (!commented)
                while (from > line_start(from) && is_blank(text_[from - 1])) --from;
            if (!replace(from, commented ? region->end : end, "")) return false;
            const std::string made = render_root_text(without_comments(root), 0, null_style_);
            passed(region->end, true);
            if (end >= size()) return replace(end, end, "\n" + std::string(without_final_break(made)));
            return replace(past_break(end), past_break(end), made);
        }
        const std::string made = render_root_text(root, column_of(begin), null_style_);
        if (!alone && without_final_break(made).find('\n') != std::string_view::npos) return fail();
        if (!replace_place(begin, *region, root, made, column_of(begin))) return false;
        passed(region->end, true);
        return true;
    }

    enum class Slot : std::uint8_t { Root, Key, Value, Item, Flow };

    // A node in place. `slot_begin` is where its line's part of it starts
    // (its dash for a sequence item, its first child for a block
    // collection, its properties or content otherwise); `indicator` the
    // ":" or "-" before it, if any.
    bool visit(const YamlNode& node, Slot slot, std::uint64_t slot_begin, std::uint64_t indicator) {
        // A node made for properties alone stands where the next token
        // does: there is no text of its own to change.
        if (node.is(NodeKind::Null) && has_changes(node)) return fail();
        if (slot != Slot::Flow && !write_heads(node, slot_begin)) return false;
        if (slot == Slot::Flow && (node.comments.head_changed || node.comments.inline_changed)) return fail();
        if (node.properties_changed && !write_properties(node, slot, indicator)) return false;
        bool ok = true;
        const bool flow = node.style() == CollectionStyle::Flow;
        flow_depth_ += flow;
        if (node.is(NodeKind::Mapping)) {
            ok = with_stack_guard([&] { return visit_mapping(node, slot == Slot::Flow); });
        } else if (node.is(NodeKind::Sequence)) {
            ok = with_stack_guard([&] { return visit_sequence(node, slot == Slot::Flow); });
        }
        flow_depth_ -= flow;
        if (!ok) return false;
        if (node.comments.inline_changed && !write_inline(node, indicator)) return false;
        const bool leaf = !is_block_collection(node);
        if (leaf) passed(node.end_offset, node.comments.inline_comment().has_value());
        return true;
    }

    bool visit_mapping(const YamlNode& mapping, bool in_flow) {
        // An entry without a key ("? " or ": x" alone) has no text of its
        // own to tell its lines from the others': in such a mapping only
        // what stays on its line is written in place.
        for (const NodePair& pair : mapping.pairs()) {
            if (is_new_entry(pair)) break;
            if (!here(pair.key) && !directive_here(pair.key)) {
                ++fragile_;
                const bool ok = visit_entries(mapping, in_flow);
                --fragile_;
                return ok;
            }
        }
        return visit_entries(mapping, in_flow);
    }

    bool visit_entries(const YamlNode& mapping, bool in_flow) {
        const bool flow = in_flow || mapping.style() == CollectionStyle::Flow;
        const std::vector<NodePair>& pairs = mapping.pairs();
        std::size_t i = 0;
        for (; i < pairs.size() && !is_new_entry(pairs[i]); ++i) {
            const NodePair& pair = pairs[i];
            std::uint64_t key_end = last_end_;
            if (here(pair.key)) {
                if (pair.key.properties_changed) return fail();
                ++in_key_;
                const bool ok = visit(pair.key, flow ? Slot::Flow : Slot::Key, pair.key.source_begin(), kNone);
                --in_key_;
                if (!ok) return false;
                key_end = pair.key.end_offset;
            } else if (directive_here(pair.key) || has_changes(pair.key) || pair.key.replaced_region()) {
                return fail();
            }
            // After the key and all it held: the dash of an empty last item
            // of a sequence key included.
            const std::uint64_t colon = find_indicator(':', std::max(key_end, last_end_));
            // (Properties that start a key's line could belong to an empty
            // value before it: keys get new ones only by rendering.)
            if (colon != kNone) passed(colon + 1, false);
            if (!visit_value(mapping, pair, flow, key_end, colon)) return false;
        }
        if (i == pairs.size()) return true;
        for (std::size_t j = i; j < pairs.size(); ++j)
            if (!is_new_entry(pairs[j])) return fail();
        return append_entries(mapping, std::span(pairs).subspan(i), flow);
    }

    bool visit_value(const YamlNode& mapping, const NodePair& pair, bool flow, std::uint64_t key_end,
                     std::uint64_t colon) {
        const YamlNode& value = pair.value;
        if (here(value)) {
            if (flow) return visit(value, Slot::Flow, value.source_begin(), colon);
            const std::uint64_t slot_begin = is_block_collection(value) ? value.span.offset : value.source_begin();
            // A collection whose changes cannot all be written in place is
            // written anew as a whole where it stands.
            if (attempt([&] { return visit(value, Slot::Value, slot_begin, colon); })) return true;
            if (!value.is(NodeKind::Mapping) && !value.is(NodeKind::Sequence)) return fail();
            if (with_stack_guard([&] { return has_keyless_entry(value); })) return fail();
        } else if (directive_here(value)) {
            if (has_changes(value)) return fail();
            passed(region_of(value)->end, has_inline_here(value));
            return true;
        } else if (!value.replaced) {
            // A value left out of the text, and left alone but for marks.
            if (has_changes(value)) return fail();
            return true;
        }
        const std::optional<SourceRegion> region = region_of(value);
        if (flow) {
            const std::string made = render_flow_text(value, null_style_);
            if (region) {
                if (!replace(region->begin, region->end, made)) return false;
                passed(region->end, false);
                return true;
            }
            if (colon != kNone) return replace(colon + 1, colon + 1, " " + made);
            // A key of several lines takes no ":" after it: readers of
            // implicit keys want them on one line.
            if (pair.key.span.line != pair.key.end_line) return fail();
            return replace(key_end, key_end, ": " + made);
        }
        if (colon == kNone) return fail();
        const std::uint64_t indent = mapping_indent(mapping);
        if (region && !region->block) {
            // One line for one stretch of text: the padding before it and
            // the comment after it stay as they stand.
            if (const std::optional<std::string> made = render_inline_text(value, indent, null_style_)) {
                if (!replace(region->begin, region->end, *made)) return false;
                passed(region->end, true);
                return true;
            }
        }
        // A value that had no text of its own: the comments it took over
        // from the empty one stand in the text around it already.
        const std::string made = region ? render_value_text(value, indent, null_style_)
                                        : render_value_text(without_comments(value), indent, null_style_);
        const std::string_view text = without_final_break(made);
        // Properties that start the next line would be read as those of an
        // empty value the new text ends with.
        if (text.empty() || text.back() == ':') {
            const std::uint64_t next = skip_gap(region ? region->end : colon + 1);
            if (next < size() && (text_[next] == '!' || text_[next] == '&')) return fail();
        }
        if (!region) {
            // "key:" with nothing after it: a value on one line goes
            // behind the ":", one of several lines after what ends the line.
            if (fragile_ > 0) return fail();
            const std::uint64_t at = text.find('\n') == std::string_view::npos ? colon + 1 : line_end(colon);
            if (!replace(at, at, text)) return false;
            passed(at, true);
            return true;
        }
        if (!replace_place(colon + 1, *region, value, made, indent)) return false;
        passed(region->end, true);
        return true;
    }

    bool visit_sequence(const YamlNode& sequence, bool in_flow) {
        const bool flow = in_flow || sequence.style() == CollectionStyle::Flow;
        const std::uint64_t indent = sequence.span.column;
        std::uint64_t dash = kNone;
        std::uint64_t previous_end = sequence.span.offset;
        for (const YamlNode& item : sequence.items()) {
            if (!flow) {
                // After the previous item and all it held, a ":" with no
                // value after it included.
                dash = find_indicator('-', dash == kNone ? sequence.span.offset
                                                         : std::max({previous_end, dash + 1, last_end_}));
                if (dash == kNone) return fail();
                passed(dash + 1, false);
            }
            if (here(item)) {
                if (flow) {
                    if (!visit(item, Slot::Flow, item.source_begin(), kNone)) return false;
                    previous_end = item.end_offset;
                    continue;
                }
                if (attempt([&] { return visit(item, Slot::Item, dash, dash); })) {
                    previous_end = item.end_offset;
                    continue;
                }
                // Written anew as a whole, like a collection value.
                if (!item.is(NodeKind::Mapping) && !item.is(NodeKind::Sequence)) return fail();
                if (with_stack_guard([&] { return has_keyless_entry(item); })) return fail();
            }
            if (directive_here(item)) {
                if (has_changes(item)) return fail();
                previous_end = region_of(item)->end;
                passed(previous_end, has_inline_here(item));
                continue;
            }
            const std::optional<SourceRegion> region = region_of(item);
            if (!region) return fail();
            if (flow) {
                if (!replace(region->begin, region->end, render_flow_text(item, null_style_))) return false;
            } else {
                std::optional<std::string> line;
                if (!region->block) line = render_inline_text(item, indent, null_style_);
                if (line && region->begin > dash + 1) {
                    if (!replace(region->begin, region->end, *line)) return false;
                } else {
                    const std::string made = render_item_text(item, indent, null_style_);
                    if (!replace_place(dash + 1, *region, item, made, indent)) return false;
                }
            }
            previous_end = region->end;
            passed(previous_end, true);
        }
        return true;
    }

    bool append_entries(const YamlNode& mapping, std::span<const NodePair> pairs, bool flow) {
        // New entries go after plain ones: not into a key, nor after a key
        // that is no scalar (whose ":" may come on a line of its own).
        if (in_key_ > 0 || fragile_ > 0) return fail();
        for (const NodePair& pair : mapping.pairs()) {
            if (&pair == &pairs.front()) break;
            if (!pair.key.is(NodeKind::Scalar)) return fail();
        }
        // An entry of a "?" alone leaves no text to put new ones after.
        const std::size_t kept = mapping.pairs().size() - pairs.size();
        if (kept > 0 && !region_of(mapping.pairs()[kept - 1].key) && !region_of(mapping.pairs()[kept - 1].value))
            return fail();
        if (flow) {
            // Behind the last entry, before the closing brace; a mapping
            // without braces (a pair in a flow sequence) has no room.
            if (mapping.style() != CollectionStyle::Flow || mapping.end_offset <= mapping.span.offset ||
                text_[mapping.end_offset - 1] != '}')
                return fail();
            std::uint64_t at = std::max(mapping.span.offset + 1, last_end_);
            for (const NodePair& pair : mapping.pairs()) {
                if (is_new_entry(pair)) break;
                for (const YamlNode* node : {&pair.key, &pair.value}) {
                    if (const std::optional<SourceRegion> region = region_of(*node)) at = std::max(at, region->end);
                }
            }
            std::string made;
            const bool first = pairs.size() == mapping.pairs().size();
            for (const NodePair& pair : pairs) {
                if (!first || &pair != &pairs.front()) made += ", ";
                made += render_flow_text(pair.key, null_style_);
                made += ": ";
                made += render_flow_text(pair.value, null_style_);
            }
            return replace(at, at, made);
        }
        const std::string made = render_entries_text(pairs, mapping_indent(mapping), null_style_);
        // After the mapping's last line: its end, when a block scalar ends
        // it with its line break, or else the end of the line it ends on.
        // Everything the walk passed in the mapping is its own: a ":" with
        // no value after its last key too.
        std::uint64_t at = own_lines_end(std::min<std::uint64_t>(std::max(mapping.place()->end, last_end_), size()));
        if (at == kNone) return fail();
        if (break_before(at) == 0) {
            at = line_end(at);
            if (at >= size()) {
                // The text ends without a line break: one goes before the
                // new lines, none after them, unless the text ends with a
                // block scalar, whose last line would gain it.
                if (kept > 0 && ends_with_block_scalar(mapping.pairs()[kept - 1].value)) return fail();
                return replace(at, at, "\n" + std::string(without_final_break(made)));
            }
            at = past_break(at);
        }
        const std::uint64_t indent = mapping_indent(mapping);
        at = past_deeper_lines(at, indent);
        if (break_before(at) == 0) return fail();  // those lines end the text
        // The next line with content must stand left of the entries (at a
        // document marker for a mapping at the left margin): else the end
        // found is not the mapping's.
        const std::uint64_t next = skip_gap(at);
        if (next < size() && column_of(next) >= indent &&
            !(indent == 0 && column_of(next) == 0 &&
              (text_.substr(next, 3) == "---" || text_.substr(next, 3) == "..." || text_[next] == '%')))
            return fail();
        // Comment lines after a new block scalar could be read as more of it.
        const std::uint64_t comment = skip_blank_lines(at);
        if (ends_with_block_scalar(pairs.back().value) && comment < size() && text_[comment] == '#' &&
            column_of(comment) > indent)
            return fail();
        return replace(at, at, made);
    }

    // ------------------------------------------------------------ layout

    // The nodes that begin on the line of `node`, outermost first: the
    // node, then the first child of each block collection that starts on
    // the same line.
    std::vector<const YamlNode*> line_chain(const YamlNode& node, std::uint64_t line) const {
        std::vector<const YamlNode*> chain{&node};
        const YamlNode* at = &node;
        while (is_block_collection(*at) && here(*at)) {
            const YamlNode& first = at->is(NodeKind::Mapping) ? at->pairs().front().key : at->items().front();
            if (!here(first) || line_start(first.source_begin()) != line) break;
            chain.push_back(&first);
            at = &first;
        }
        return chain;
    }

    // Head comments set on nodes that begin the line at `slot_begin`. The
    // comment lines above that line, back to the last content, are those
    // of the nodes that begin it, in order; the lines of the one node
    // whose comments changed are written anew, the others stay.
    bool write_heads(const YamlNode& node, std::uint64_t slot_begin) {
        const std::uint64_t line = line_start(slot_begin);
        if (last_end_ > line || line == heads_line_) return true;
        heads_line_ = line;
        const std::vector<const YamlNode*> chain = line_chain(node, line);
        const YamlNode* changed = nullptr;
        std::size_t kept_lines = 0;
        std::size_t kept_before = 0;
        for (const YamlNode* member : chain) {
            if (!member->comments.head_changed) {
                (changed == nullptr ? kept_before : kept_lines) += member->comments.head().size();
                continue;
            }
            if (changed != nullptr) return fail();
            changed = member;
        }
        if (changed == nullptr) return true;
        kept_lines += kept_before;

        // The comment lines of the region, with an unclaimed comment after
        // the last content counting as the first of them.
        struct CommentLine {
            std::uint64_t begin;  // where its text, or its blanks before "#", start
            std::uint64_t end;    // past its line break, or at the end of the comment
        };
        std::vector<CommentLine> lines;
        std::uint64_t at = last_end_;
        bool trailing = false;
        if (at > 0 && !is_break(text_[at - 1])) {
            const std::uint64_t end = line_end(at);
            std::uint64_t hash = at;
            while (hash < end && is_blank(text_[hash])) ++hash;
            if (hash < end && text_[hash] == '#' && !claims_comment_) {
                lines.push_back({at, end});
                trailing = true;
            }
            at = past_break(end);
        }
        for (; at < line;) {
            const std::uint64_t end = line_end(at);
            std::uint64_t first = at;
            while (first < end && is_blank(text_[first])) ++first;
            if (first < end && text_[first] == '#') lines.push_back({at, past_break(end)});
            at = past_break(end);
        }
        if (lines.size() < kept_lines) return fail();
        const std::size_t old_lines = lines.size() - kept_lines;
        // At the indentation of the line's first token.
        std::uint64_t first_token = line;
        while (first_token < slot_begin && is_blank(text_[first_token])) ++first_token;
        const std::uint64_t indent = column_of(first_token);
        std::string made;
        for (const std::string& text : changed->comments.head()) {
            made.append(indent, ' ');
            made += '#';
            made += text;
            made += '\n';
        }
        if (old_lines == 0) {
            // No lines of its own yet: they go after those of the nodes
            // before it on the chain, or right above the line.
            if (kept_before > 0 && lines[kept_before - 1].end > line) return fail();
            const std::uint64_t insert_at = kept_before == 0 ? line : lines[kept_before - 1].end;
            return replace(insert_at, insert_at, made);
        }
        const CommentLine& first = lines[kept_before];
        const CommentLine& last = lines[kept_before + old_lines - 1];
        if (trailing && kept_before == 0) {
            // The first is the comment behind the last content: the new
            // lines start below that content, and the line break after the
            // last old line, when that is this comment, stays.
            made.insert(0, "\n");
            if (old_lines == 1) made.pop_back();
        }
        return replace(first.begin, last.end, made);
    }

    // The anchor of a node in place changed.
    bool write_properties(const YamlNode& node, Slot slot, std::uint64_t indicator) {
        std::string properties;
        if (node.tag()) properties += *node.tag();
        if (node.anchor()) {
            if (!properties.empty()) properties += ' ';
            properties += '&';
            properties += *node.anchor();
        }
        const bool had = node.source_begin() != node.span.offset;
        if (!is_block_collection(node)) {
            const std::uint64_t begin = node.source_begin();
            return replace(begin, node.span.offset, properties.empty() ? std::string() : properties + " ");
        }
        if (had) {
            std::uint64_t begin = node.source_begin();
            std::uint64_t end = begin;
            while (end < size() && (text_[end] == '!' || text_[end] == '&')) {
                while (end < size() && !is_blank(text_[end]) && !is_break(text_[end])) ++end;
                std::uint64_t next = end;
                while (next < size() && is_blank(text_[next])) ++next;
                if (next < size() && (text_[next] == '!' || text_[next] == '&')) end = next;
            }
            if (properties.empty())
                while (begin > 0 && is_blank(text_[begin - 1])) --begin;
            return replace(begin, end, properties);
        }
        if (properties.empty()) return true;
        if (slot == Slot::Root) {
            const std::uint64_t at = line_start(node.span.offset);
            return replace(at, at, properties + "\n" + std::string(column_of(node.span.offset), ' '));
        }
        // After the indicator, when the collection starts on a later line.
        if (indicator == kNone || line_end(indicator) >= node.span.offset) return fail();
        return replace(indicator + 1, indicator + 1, " " + properties);
    }

    // The inline comment of a node in place changed: the comment at the
    // end of its line (of its header, for a block scalar) is written anew,
    // an old one keeping its column.
    // Writes a node's new inline comment, or takes its old one away. A
    // block mapping value's stands on the line of its ":", after any
    // properties, when its entries start below.
    bool write_inline(const YamlNode& node, std::uint64_t indicator) {
        std::uint64_t from = node.end_offset;
        if (is_block_collection(node)) {
            if (indicator == kNone || indicator >= size() || text_[indicator] != ':') return fail();
            const std::uint64_t end = line_end(indicator);
            if (node.span.offset <= end) return fail();
            from = indicator + 1;
            for (std::uint64_t at = from; at < end;) {
                if (is_blank(text_[at])) {
                    ++at;
                    continue;
                }
                if (text_[at] == '#') break;
                while (at < end && !is_blank(text_[at])) ++at;
                from = at;
            }
        } else if (is_block_scalar(node)) {
            from = node.span.offset + 1;
            while (from < size() && (text_[from] == '+' || text_[from] == '-' || (text_[from] >= '1' && text_[from] <= '9')))
                ++from;
        } else if (node.span.line != node.end_line) {
            return fail();
        }
        if (!only_comment_after(from)) return fail();
        const std::uint64_t end = line_end(from);
        std::uint64_t hash = from;
        while (hash < end && is_blank(text_[hash])) ++hash;
        const std::optional<std::string>& comment = node.comments.inline_comment();
        if (!comment) {
            std::uint64_t begin = from;
            return replace(begin, end, "");
        }
        std::string made;
        if (hash < end) {
            made = "#";
        } else {
            made.assign(std::max<std::uint32_t>(node.comments.inline_spaces, 1), ' ');
            made += '#';
            hash = end;
        }
        made += *comment;
        if (hash == end) return replace(from, end, made);
        return replace(hash, end, made);
    }

    std::string& out_;
    std::string_view text_;
    std::uint32_t file_id_;
    NullStyle null_style_;
    // The root of an included file whose own text this is: its content,
    // not its directive.
    const YamlNode* file_root_;
    std::string_view line_break_ = "\n";
    std::uint64_t copied_ = 0;
    // The end of the last node or indicator passed, and whether the node
    // ending there took the comment behind it on its line as its own.
    std::uint64_t last_end_ = 0;
    bool claims_comment_ = false;
    // The start of the last line whose head comments were looked at.
    std::uint64_t heads_line_ = kNone;
    // How many keys the walk is inside, and how many mappings with an entry
    // that has no key.
    int in_key_ = 0;
    int fragile_ = 0;
    // How many flow collections the walk is inside, where tabs may start
    // lines.
    int flow_depth_ = 0;
    bool failed_ = false;
};

}  // namespace

bool splice_text(std::string& out, std::string_view text, std::uint32_t file_id, std::span<const YamlNode> roots,
                 encode::NullStyle null_style, const YamlNode* file_root) {
    const std::size_t mark = out.size();
    Splicer splicer(out, text, file_id, null_style, file_root);
    if (splicer.write(roots)) return true;
    out.resize(mark);
    return false;
}

}  // namespace quillmere::roundtrip
