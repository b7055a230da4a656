// The YAML writer. See emitter.h for what it produces.
//
// Every writer appends to one buffer. The emitter remembers where the
// current line starts, so the column is the line's length in bytes and the
// indentation of a continuation line can be read off the line it continues.
//
// Reading back is what shapes the rules here. A continuation line of a
// folded scalar or flow collection must start past every enclosing block
// level, so a compact mapping ("- k: v") counts as starting at the column
// of its first key, not of its "- ". A fold never starts a continuation line
// with a word that the scanner would take for an indicator or a comment,
// and never breaks after an escaped tab, which the scanner's line folding
// would strip. Keys are never folded: an implicit key must stay on one line.
#include "encode/emitter.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "common/stack_guard.h"
#include "encode/quoting.h"
#include "encode/scalar_text.h"
#include "encode/stable_sort.h"

namespace quillmere::encode {


namespace {

std::string_view sort_text(const Pair* pair) {
    return pair->key.is(ValueKind::String) ? pair->key.text() : std::string_view();
}

bool sorts_before(const Pair* a, const Pair* b) { return sort_text(a).compare(sort_text(b)) < 0; }

bool is_hex_digit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// The URI characters of a tag, '%' aside.
bool is_uri_char(unsigned char c) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
    switch (c) {
        case '-': case '#': case ';': case '/': case '?': case ':': case '@': case '&': case '=': case '+':
        case '$': case ',': case '_': case '.': case '!': case '~': case '*': case '\'': case '(': case ')':
        case '[': case ']':
            return true;
        default:
            return false;
    }
}

// A well-formed percent escape starts at text[i].
bool is_percent_escape(std::string_view text, std::size_t i) {
    return text[i] == '%' && i + 2 < text.size() && is_hex_digit(text[i + 1]) && is_hex_digit(text[i + 2]);
}

// Characters of a shorthand tag after its handle: URI characters without
// '!' and the flow indicators, which would end the tag or split a handle.
bool is_tag_suffix(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '%') {
            if (!is_percent_escape(text, i)) return false;
            i += 2;
            continue;
        }
        if (!is_uri_char(c) || c == '!' || c == ',' || c == '[' || c == ']') return false;
    }
    return true;
}

bool is_uri(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '%') {
            if (!is_percent_escape(text, i)) return false;
            i += 2;
            continue;
        }
        if (!is_uri_char(c)) return false;
    }
    return true;
}

bool is_shorthand_tag(std::string_view tag) {
    if (tag.empty() || tag[0] != '!') return false;
    if (tag.size() >= 2 && tag[1] == '<') {
        return tag.size() >= 3 && tag.back() == '>' && is_uri(tag.substr(2, tag.size() - 3));
    }
    if (tag.size() >= 2 && tag[1] == '!') return is_tag_suffix(tag.substr(2));
    return is_tag_suffix(tag.substr(1));
}

void append_percent_encoded(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (is_uri_char(c) || (c == '%' && is_percent_escape(text, i))) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
}

void append_int(std::string& out, std::int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

// A big integer's stored text is written back as it stands when it is an
// integer text; anything else could not be read back as a number anyway,
// and is quoted rather than let loose in the document.
bool is_integer_text(std::string_view text) {
    std::size_t i = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
    if (i == text.size() || text[i] < '0' || text[i] > '9') return false;
    for (; i < text.size(); ++i) {
        if ((text[i] < '0' || text[i] > '9') && text[i] != '_') return false;
    }
    return true;
}

// Characters that keep a text from standing plain inside a flow
// collection: the flow indicators, which would end it, and ':' and '?',
// which YAML allows there but which widely used YAML 1.1 readers refuse in
// a flow scalar ("[a:b]", "[a?b]").
constexpr std::array<bool, 256> make_flow_unsafe() {
    std::array<bool, 256> table{};
    for (const unsigned char c : {'[', ']', '{', '}', ',', ':', '?'}) table[c] = true;
    return table;
}
constexpr std::array<bool, 256> kFlowUnsafe = make_flow_unsafe();

bool is_flow_unsafe(std::string_view text) {
    for (const char c : text) {
        if (kFlowUnsafe[static_cast<unsigned char>(c)]) return true;
    }
    return false;
}

// Bytes that keep a text out of single quotes (`single`) or out of a
// literal block: control characters, which only double quotes can escape
// (a literal block carries tab and line feed), the single quote, which
// single quotes would have to double, and the lead bytes of the characters
// that only an escape carries safely (escaped_only_length).
constexpr std::array<bool, 256> make_escape_stops(bool single) {
    std::array<bool, 256> table{};
    for (int c = 0; c < 0x20; ++c) table[c] = single || (c != '\t' && c != '\n');
    table[0x7F] = table[0xC2] = table[0xE2] = table[0xEF] = true;
    table['\''] = single;
    return table;
}
constexpr std::array<bool, 256> kSingleQuoteStops = make_escape_stops(true);
constexpr std::array<bool, 256> kLiteralStops = make_escape_stops(false);

// Whether `text` holds none of the bytes that `stops` marks (a lead byte
// counts only when it starts a character that needs an escape).
bool free_of(std::string_view text, const std::array<bool, 256>& stops) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (stops[c] && (c < 0x80 || escaped_only_length(text, i) != 0)) return false;
    }
    return true;
}

// Single quotes carry a text only if it has no single quote to double and
// no line break or control character, which only double quotes can escape.
bool fits_single_quotes(std::string_view text) { return free_of(text, kSingleQuoteStops); }

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// In an escaped double-quoted text, whether text[i - 1] ends a "\t" escape.
bool after_escaped_tab(std::string_view text, std::size_t i) {
    if (i < 2 || text[i - 1] != 't') return false;
    std::size_t backslashes = 0;
    for (std::size_t j = i - 1; j > 0 && text[j - 1] == '\\'; --j) ++backslashes;
    return backslashes % 2 == 1;
}

// A space at text[i] where a line may break: between two non-blanks, and
// not where the scanner would read the continuation differently.
bool is_break_point(std::string_view text, std::size_t i, FoldStyle style) {
    if (text[i] != ' ' || i == 0 || i + 1 >= text.size()) return false;
    if (is_blank(text[i - 1]) || is_blank(text[i + 1])) return false;
    switch (style) {
        case FoldStyle::Plain: {
            // A continuation line of a plain scalar that starts with "#",
            // or with "-", "?" or ":" and a blank, is no longer its text.
            const char next = text[i + 1];
            if (next == '#') return false;
            if (next == '-' || next == '?' || next == ':') return !(i + 2 == text.size() || text[i + 2] == ' ');
            return true;
        }
        case FoldStyle::DoubleQuoted:
            return !after_escaped_tab(text, i);
        case FoldStyle::SingleQuoted:
            return true;
    }
    return true;
}

}  // namespace

bool is_literal_eligible(std::string_view text) {
    if (text.find('\n') == std::string_view::npos) return false;
    if (!free_of(text, kLiteralStops)) return false;
    // The first non-empty line sets the detected indentation: it must not
    // start with a blank, which would read as indentation or be rejected.
    const std::size_t first = text.find_first_not_of('\n');
    return first == std::string_view::npos || !is_blank(text[first]);
}

void ordered_entries(std::span<const Pair> pairs, bool sort_keys, std::vector<const Pair*>& out) {
    const std::size_t base = out.size();
    for (const Pair& pair : pairs) out.push_back(&pair);
    if (!sort_keys || pairs.size() < 2) return;
    const std::size_t n = pairs.size();
    const bool merging = n > kInsertionSortLimit;
    if (merging) out.resize(base + 2 * n);  // the merge sort's scratch
    stable_sort_entries(std::span(out).subspan(base, n), std::span(out).subspan(base + n, merging ? n : 0),
                        sorts_before);
    out.resize(base + n);
}

void append_tag(std::string& out, std::string_view tag) {
    if (is_shorthand_tag(tag)) {
        out += tag;
        return;
    }
    // A malformed verbatim tag keeps its brackets; any other text goes
    // inside new ones.
    const bool bracketed = tag.size() >= 3 && tag.substr(0, 2) == "!<" && tag.back() == '>';
    out += "!<";
    append_percent_encoded(out, bracketed ? tag.substr(2, tag.size() - 3) : tag);
    out += '>';
}

void emit_document(std::string& out, const Value& root, const EmitterConfig& config) {
    Emitter(out, config).emit_document(root);
}

Emitter::Emitter(std::string& out, const EmitterConfig& config)
    : out_(out), config_(config), step_(std::max<std::uint64_t>(config.indent, 1)) {
    const std::size_t last = out.rfind('\n');
    line_start_ = last == std::string::npos ? 0 : last + 1;
}

void Emitter::newline() {
    out_ += '\n';
    line_start_ = out_.size();
}

void Emitter::newline_indent(std::uint64_t indent) {
    newline();
    out_.append(indent, ' ');
}

std::uint64_t Emitter::continuation_indent() const {
    std::size_t i = line_start_;
    while (i < out_.size() && out_[i] == ' ') ++i;
    return std::max<std::uint64_t>(i - line_start_, floor_column_) + step_;
}

std::size_t Emitter::push_order(std::span<const Pair> pairs) {
    const std::size_t mark = order_.size();
    ordered_entries(pairs, config_.sort_keys, order_);
    return mark;
}

void Emitter::emit_document(const Value& root) {
    if (config_.explicit_start) {
        out_ += "---";
        newline();
    }
    const bool block = !config_.flow_style;
    if (block && root.is(ValueKind::Sequence) && !root.items().empty()) {
        emit_block_sequence(root.items(), 0);
    } else if (block && root.is(ValueKind::Mapping) && !root.pairs().empty()) {
        emit_block_mapping(root.pairs(), 0);
    } else if (root.is(ValueKind::String) && is_literal_eligible(root.text())) {
        emit_literal_block(root.text(), step_);
    } else if (root.is(ValueKind::Tagged)) {
        append_tag(out_, root.tagged_value().tag);
        emit_block_value(root.tagged_value().inner, 0);
    } else {
        emit_flow_value(root, false);
        newline();
    }
    if (config_.explicit_end) {
        out_ += "...";
        newline();
    }
}

void Emitter::emit_flow_value(const Value& value, bool in_flow) {
    switch (value.kind()) {
        case ValueKind::Null:
            out_ += config_.null_style == NullStyle::Tilde ? "~" : "null";
            return;
        case ValueKind::Bool:
            out_ += value.as_bool() ? "true" : "false";
            return;
        case ValueKind::Int:
            append_int(out_, value.as_int());
            return;
        case ValueKind::BigInt:
            if (is_integer_text(value.text())) {
                out_ += value.text();
            } else {
                write_double_quoted(out_, value.text());
            }
            return;
        case ValueKind::Float:
            append_float(out_, value.as_float());
            return;
        case ValueKind::String:
            emit_string(value, in_flow);
            return;
        case ValueKind::Sequence: {
            const auto items = value.items();
            if (items.empty()) {
                out_ += "[]";
                return;
            }
            const std::uint64_t indent = continuation_indent();
            out_ += '[';
            for (std::size_t i = 0; i < items.size(); ++i) {
                if (i > 0) write_flow_separator(indent);
                with_stack_guard([&] { emit_flow_value(items[i], true); });
            }
            out_ += ']';
            return;
        }
        case ValueKind::Mapping: {
            const auto pairs = value.pairs();
            if (pairs.empty()) {
                out_ += "{}";
                return;
            }
            const std::uint64_t indent = continuation_indent();
            const std::size_t mark = push_order(pairs);
            out_ += '{';
            for (std::size_t i = 0; i < pairs.size(); ++i) {
                if (i > 0) write_flow_separator(indent);
                // order_ may grow under nested mappings: index it afresh.
                const Pair& pair = *order_[mark + i];
                emit_key(pair.key, true);
                out_ += ": ";
                with_stack_guard([&] { emit_flow_value(pair.value, true); });
            }
            order_.resize(mark);
            out_ += '}';
            return;
        }
        case ValueKind::Tagged:
            append_tag(out_, value.tagged_value().tag);
            out_ += ' ';
            with_stack_guard([&] { emit_flow_value(value.tagged_value().inner, in_flow); });
            return;
    }
}

void Emitter::emit_key(const Value& key, bool in_flow) {
    ++key_depth_;
    with_stack_guard([&] { emit_flow_value(key, in_flow); });
    --key_depth_;
}

// A key at the start of a line of a block mapping.
void Emitter::emit_block_key(const Value& key) {
    // After "key:" with nothing behind it, a tag at the start of a line at
    // or left of that key's level is rejected ("a node property must be
    // indented past its mapping key"); the empty value is then written as
    // null, which ends that state.
    if (key.is(ValueKind::Tagged) && empty_value_end_ == line_start_) {
        out_.insert(line_start_ - 1, " null");
        line_start_ += 5;
    }
    emit_key(key, false);
}

void Emitter::emit_string(const Value& value, bool in_flow) {
    const std::string_view text = value.text();
    if (text.empty()) {
        out_ += config_.prefer_double_quotes ? "\"\"" : "''";
        return;
    }
    // A date or time stays plain where a timestamp is read: readers that
    // know timestamps read it back as what it was.
    const bool plain = value.date_time_text() && reads_as_timestamp(text) ? true : !needs_quotes(text);
    if (!plain || (in_flow && is_flow_unsafe(text))) {
        emit_quoted(text);
        return;
    }
    if (folding()) {
        fold_quoted(text, continuation_indent(), FoldStyle::Plain);
    } else {
        out_ += text;
    }
}

void Emitter::emit_quoted(std::string_view text) {
    const bool single = !config_.prefer_double_quotes && fits_single_quotes(text);
    if (!folding()) {
        if (single) {
            write_single_quoted(out_, text);
        } else {
            write_double_quoted(out_, text);
        }
        return;
    }
    const std::uint64_t indent = continuation_indent();
    escaped_.clear();
    if (single) {
        for (const char c : text) {
            escaped_ += c;
            if (c == '\'') escaped_ += '\'';
        }
    } else {
        append_escaped_double_quoted(escaped_, text);
    }
    const char quote = single ? '\'' : '"';
    out_ += quote;
    fold_quoted(escaped_, indent, single ? FoldStyle::SingleQuoted : FoldStyle::DoubleQuoted);
    out_ += quote;
}

void Emitter::fold_quoted(std::string_view text, std::uint64_t indent, FoldStyle style) {
    const std::uint64_t width = config_.width;
    std::uint64_t col = column();
    if (width == 0 || col + text.size() <= width) {
        out_ += text;
        return;
    }
    const auto next_break = [&](std::size_t from) {
        for (std::size_t i = from; i < text.size(); ++i) {
            if (is_break_point(text, i, style)) return i;
        }
        return std::string_view::npos;
    };
    std::size_t start = 0;
    std::size_t at = next_break(1);
    while (at != std::string_view::npos) {
        const std::size_t word = at - start;
        out_.append(text.substr(start, word));
        const std::size_t following = at + 1;
        const std::size_t after = next_break(following + 1);
        const std::size_t following_length = (after == std::string_view::npos ? text.size() : after) - following;
        if (col + word + 1 + following_length > width) {
            newline_indent(indent);
            col = indent;
        } else {
            out_ += ' ';
            col += word + 1;
        }
        start = following;
        at = after;
    }
    out_.append(text.substr(start));
}

void Emitter::write_flow_separator(std::uint64_t indent) {
    out_ += ',';
    if (folding() && column() >= config_.width) {
        newline_indent(indent);
    } else {
        out_ += ' ';
    }
}

void Emitter::emit_block_value(const Value& value, std::uint64_t indent, bool after_key) {
    switch (value.kind()) {
        case ValueKind::Null:
            if (config_.null_style == NullStyle::Empty) {
                newline();
                if (after_key) empty_value_end_ = out_.size();
                return;
            }
            break;
        case ValueKind::String:
            if (is_literal_eligible(value.text())) {
                out_ += ' ';
                emit_literal_block(value.text(), indent + step_);
                return;
            }
            break;
        case ValueKind::Mapping:
            if (!value.pairs().empty() && !config_.flow_style) {
                newline();
                emit_block_mapping(value.pairs(), indent + step_);
                return;
            }
            break;
        case ValueKind::Sequence:
            if (!value.items().empty() && !config_.flow_style) {
                newline();
                const bool indentless = config_.indentless_sequences && after_key;
                emit_block_sequence(value.items(), indentless ? indent : indent + step_, indentless);
                return;
            }
            break;
        case ValueKind::Tagged:
            emit_tagged_block(value.tagged_value(), indent, after_key);
            return;
        default:
            break;
    }
    out_ += ' ';
    emit_flow_value(value, false);
    newline();
}

void Emitter::emit_tagged_block(const TaggedValue& tagged, std::uint64_t indent, bool after_key) {
    out_ += ' ';
    append_tag(out_, tagged.tag);
    with_stack_guard([&] { emit_block_value(tagged.inner, indent, after_key); });
}

void Emitter::emit_block_mapping(std::span<const Pair> pairs, std::uint64_t indent) {
    const std::size_t mark = push_order(pairs);
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const Pair& pair = *order_[mark + i];
        out_.append(indent, ' ');
        emit_block_key(pair.key);
        out_ += ':';
        with_stack_guard([&] { emit_block_value(pair.value, indent); });
    }
    order_.resize(mark);
}

void Emitter::emit_block_sequence(std::span<const Value> items, std::uint64_t indent, bool indentless) {
    // Items nest by 2 whatever the indent, so that a compact mapping's keys
    // line up under its first key.
    const std::uint64_t inner = indent + 2;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Value& item = items[i];
        out_.append(indent, ' ');
        out_ += '-';
        switch (item.kind()) {
            case ValueKind::Null:
                // An empty last item of an indentless sequence would be
                // followed by the next key of its mapping, and read as no
                // item at all.
                if (config_.null_style == NullStyle::Empty && !(indentless && i + 1 == items.size())) {
                    newline();
                    continue;
                }
                break;
            case ValueKind::String:
                if (is_literal_eligible(item.text())) {
                    out_ += ' ';
                    emit_literal_block(item.text(), inner);
                    continue;
                }
                break;
            case ValueKind::Sequence:
                if (!item.items().empty() && !config_.flow_style) {
                    // Nested sequences never share a line.
                    newline();
                    with_stack_guard([&] { emit_block_sequence(item.items(), inner); });
                    continue;
                }
                break;
            case ValueKind::Mapping:
                if (!item.pairs().empty() && !config_.flow_style) {
                    out_ += ' ';
                    emit_compact_mapping(item.pairs(), inner);
                    continue;
                }
                break;
            case ValueKind::Tagged:
                emit_tagged_block(item.tagged_value(), indent, false);
                continue;
            default:
                break;
        }
        out_ += ' ';
        emit_flow_value(item, false);
        newline();
    }
}

// The mapping of a sequence item, its first key on the line of the "- ".
void Emitter::emit_compact_mapping(std::span<const Pair> pairs, std::uint64_t indent) {
    const std::size_t mark = push_order(pairs);
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const Pair& pair = *order_[mark + i];
        if (i > 0) out_.append(indent, ' ');
        // The first entry's line begins with "- ", but the mapping's block
        // level is at `indent`: its continuation lines must start past it.
        const std::uint64_t saved_floor = floor_column_;
        if (i == 0) {
            floor_column_ = std::max(floor_column_, indent);
            emit_key(pair.key, false);
        } else {
            emit_block_key(pair.key);
        }
        out_ += ':';
        with_stack_guard([&] { emit_block_value(pair.value, indent); });
        floor_column_ = saved_floor;
    }
    order_.resize(mark);
}

void Emitter::emit_literal_block(std::string_view text, std::uint64_t indent) {
    const std::size_t last = text.find_last_not_of('\n');
    const std::string_view rest = last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
    const std::size_t final_breaks = text.size() - rest.size();
    out_ += '|';
    if (final_breaks == 0) {
        out_ += '-';
    } else if (final_breaks >= 2 || rest.empty()) {
        out_ += '+';
    }
    newline();
    // An empty rest is one empty line: the text of line feeds only keeps
    // every one of them.
    std::size_t start = 0;
    while (true) {
        const std::size_t end = std::min(rest.find('\n', start), rest.size());
        const std::string_view line = rest.substr(start, end - start);
        if (!line.empty()) {
            out_.append(indent, ' ');
            out_ += line;
        }
        newline();
        if (end == rest.size()) break;
        start = end + 1;
    }
    for (std::size_t i = 1; i < final_breaks; ++i) newline();
}

}  // namespace quillmere::encode
