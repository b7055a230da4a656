#include "scanner/scanner.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <iterator>

#include "scanner/byte_search.h"
#include "scanner/unicode.h"

namespace quillmere::scanner {

Scanner::Scanner(std::string_view text, std::uint32_t file_id, bool collect_comments)
    : reader_(text, file_id), collect_comments_(collect_comments) {}

std::size_t Scanner::initial_token_capacity() const {
    return std::clamp<std::size_t>(reader_.size() / 8, 8, 65536);
}

Result<TokenList, ScanError> tokenize(Scanner& scanner) {
    TokenList out;
    out.reserve(scanner.initial_token_capacity());
    auto step = scanner.scan_some(out, ~std::size_t(0));
    if (!step.ok()) return make_err(std::move(step).error());
    return out;
}

// Output and the main loop.

namespace {

// The place of byte `offset` as the reader counts it: lines broken by LF,
// CR and CR LF, columns in characters, a leading byte-order mark no column.
Span span_at(std::string_view text, std::uint32_t file_id, std::size_t offset) {
    std::uint32_t line = 0;
    std::size_t line_start = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    for (std::size_t i = find_line_break(text.data(), line_start, offset); i < offset;
         i = find_line_break(text.data(), i, offset)) {
        if (text[i] == '\r' && i + 1 < offset && text[i + 1] == '\n') ++i;
        ++line;
        line_start = ++i;
    }
    std::uint32_t column = 0;
    for (std::size_t i = line_start; i < offset; ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++column;
    return Span{file_id, line, column, offset};
}

// Tokens that may wait for a saved key before the text ahead is looked at.
constexpr std::size_t kLongKeyTokens = 256;

enum class KeyOutlook { Completes, Dropped, Unknown };

// Whether the flow collection around `from` (open `depth` levels deep,
// begun on this line at the flow level 0) can still become an implicit key:
// that needs a ":" right after its closing bracket on this line. Reads the
// text ahead as the scanner will, bracket by bracket, quoted scalars whole
// and plain scalars to their end, from a position between tokens; gives up
// (Unknown) on anything it does not follow exactly. Dropped when the line
// ends first (the key is dropped there) or the bracket has no ":" after it.
KeyOutlook flow_key_outlook(std::string_view text, std::size_t from, std::uint32_t depth) {
    const char* data = text.data();
    const std::size_t size = text.size();
    std::size_t p = from;
    bool after_node = false;  // a quoted scalar or a closing bracket just ended: ':' may follow at once
    auto ends_indicator = [&](std::size_t at) {
        return at >= size || is_blank(static_cast<unsigned char>(data[at])) ||
               is_break(static_cast<unsigned char>(data[at])) || is_flow_indicator(static_cast<unsigned char>(data[at]));
    };
    // A plain scalar from `p` (its first character already checked) to its end.
    auto skip_plain = [&]() -> bool {
        for (;;) {
            p = find_plain_stop(data, p, size, true);
            if (p >= size) return false;
            const auto c = static_cast<unsigned char>(data[p]);
            if (c >= 0x80) {
                p += utf8_length(c);
            } else if (c == ':') {
                if (ends_indicator(p + 1)) return true;
                ++p;
            } else if (c == '#') {
                if (is_blank(static_cast<unsigned char>(data[p - 1]))) return true;
                ++p;
            } else {
                return true;  // a line break or a flow indicator
            }
        }
    };
    while (p < size) {
        const auto c = static_cast<unsigned char>(data[p]);
        if (c == ' ' || c == '\t') {
            ++p;
            continue;
        }
        const bool after = after_node;
        after_node = false;
        switch (c) {
            case '\n':
            case '\r':
                return KeyOutlook::Dropped;
            case '[':
            case '{':
                ++depth;
                ++p;
                break;
            case ']':
            case '}':
                ++p;
                if (--depth == 0) {
                    while (p < size && is_blank(static_cast<unsigned char>(data[p]))) ++p;
                    return p < size && data[p] == ':' ? KeyOutlook::Completes : KeyOutlook::Dropped;
                }
                after_node = true;
                break;
            case ',':
                ++p;
                break;
            case ':':
                if (!after && !ends_indicator(p + 1)) {
                    ++p;  // a plain scalar that begins with ':'
                    if (!skip_plain()) return KeyOutlook::Unknown;
                } else {
                    ++p;
                }
                break;
            case '?':
            case '-':
                if (ends_indicator(p + 1)) {
                    if (p + 1 < size && is_flow_indicator(static_cast<unsigned char>(data[p + 1])))
                        return KeyOutlook::Unknown;
                    ++p;
                } else {
                    ++p;
                    if (!skip_plain()) return KeyOutlook::Unknown;
                }
                break;
            case '"':
            case '\'': {
                const bool double_quoted = c == '"';
                ++p;
                for (;;) {
                    p = find_quoted_stop(data, p, size, double_quoted);
                    if (p >= size) return KeyOutlook::Unknown;
                    const auto q = static_cast<unsigned char>(data[p]);
                    if (is_break(q)) return KeyOutlook::Dropped;  // the scalar goes on to another line
                    if (q >= 0x80) {
                        p += utf8_length(q);
                    } else if (double_quoted && q == '\\') {
                        if (p + 1 < size && is_break(static_cast<unsigned char>(data[p + 1])))
                            return KeyOutlook::Dropped;
                        p += 2;
                    } else if (!double_quoted && p + 1 < size && data[p + 1] == '\'') {
                        p += 2;
                    } else if (q == c) {
                        ++p;
                        break;
                    } else {
                        ++p;
                    }
                }
                after_node = true;
                break;
            }
            case '&':
            case '*':
                ++p;
                while (p < size && !ends_indicator(p)) ++p;
                break;
            case '#':
            case '!':
            case '|':
            case '>':
            case '%':
            case '@':
            case '`':
                return KeyOutlook::Unknown;
            default:
                ++p;  // a plain scalar
                if (c >= 0x80) p += utf8_length(c) - 1;
                if (!skip_plain()) return KeyOutlook::Unknown;
                break;
        }
    }
    return KeyOutlook::Unknown;
}

}  // namespace

ScanResult Scanner::check_printable() const {
    const std::string_view text = reader_.text();
    std::size_t length = 0;
    const std::size_t at = find_non_printable(text.data(), text.size(), length);
    if (at == text.size()) return Ok{};
    char32_t c = static_cast<unsigned char>(text[at]);
    if (length == 2) c = ((c & 0x1F) << 6) | (static_cast<unsigned char>(text[at + 1]) & 0x3F);
    if (length == 3)
        c = ((c & 0x0F) << 12) | ((static_cast<unsigned char>(text[at + 1]) & 0x3F) << 6) |
            (static_cast<unsigned char>(text[at + 2]) & 0x3F);
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    return fail(std::string("the non-printable character ") + code + " is not allowed in YAML",
                span_at(text, reader_.span().file_id, at));
}

// A key saved at a flow collection keeps every token of the collection
// waiting: on a long one-line collection (a JSON text) that is the whole
// document. Once many tokens wait, the rest of the line is read ahead; a
// key that cannot complete is dropped at once, as it would be at the end
// of the line, and the tokens go on. The look is taken once per key, so
// the text is read ahead at most once.
void Scanner::settle_long_key() {
    key_settled_ = true;
    if (!in_flow() || key_needed_ != nullptr) return;
    // The ':' that completes the key must be on this line: a line with none
    // left (a list of numbers or of strings) needs no closer look.
    const std::string_view text = reader_.text();
    const std::size_t from = reader_.position();
    const std::size_t line_end = find_line_break(text.data(), from, text.size());
    if (std::memchr(text.data() + from, ':', line_end - from) == nullptr ||
        flow_key_outlook(text, from, flow_level_) == KeyOutlook::Dropped)
        key_saved_ = false;
}

ScanResult Scanner::scan_some(TokenList& out, std::size_t at_least) {
    const std::size_t before = out.size();
    out_ = &out;
    for (;;) {
        if (key_saved_ && queue_.size() >= kLongKeyTokens && !key_settled_) [[unlikely]]
            settle_long_key();
        emit(out);
        if (finished_ || out.size() - before >= at_least) break;
        if (!stream_started_) {
            // A character that no YAML text may hold is refused before any
            // token, wherever it stands: the same text fails the same way
            // on every road.
            if (auto printable = check_printable(); !printable.ok()) {
                out_ = nullptr;
                return printable;
            }
            stream_started_ = true;
            queue(RawTokenKind::StreamStart, reader_.span(), reader_.position());
            continue;
        }
        auto step = fetch_next_token();
        if (!step.ok()) {
            out_ = nullptr;
            return step;
        }
    }
    out_ = nullptr;
    return Ok{};
}

void Scanner::emit(TokenList& out) {
    if (key_saved_ || queue_.empty()) return;
    out.append(queue_);
    if (queue_.back().kind == TokenKind::StreamEnd) finished_ = true;
    queue_.clear();
}

void Scanner::queue_at(std::size_t index, RawTokenKind kind, Span span, std::uint64_t end_offset) {
    OutputKind out = output_kind(kind);
    queue_.insert(index, Token{out.kind, out.style, span, end_offset, {}});
}


ScanResult Scanner::fetch_next_token() {
    // A key saved before a block scalar (or anything else that consumed
    // lines without passing through the skipping below) cannot complete.
    if (key_saved_ && key_start_.line != reader_.line()) QM_TRY(drop_simple_key());

    bool crossed_break = false;
    QM_TRY(skip_to_next_token(crossed_break));

    // Set when the token stands at a block mapping's column and must begin
    // its next entry: the message to fail with when it does not.
    const char* key_needed = nullptr;
    if (in_flow()) {
        // Only blanks precede the reader on its line, one byte each.
        if (!reader_.at_end() && crossed_break)
            QM_TRY(check_continuation_indent(reader_.position() - reader_.column(), flow_base_indent_,
                                             "flow content must be indented more than its block context"));
    } else if (!reader_.at_end()) {
        unroll_indent(reader_.column());
        // A block sequence ends when the next line at its column is no entry.
        if (sequence_level_ && std::int64_t(reader_.column()) == indent_ &&
            !(reader_.byte() == '-' && reader_.next_is_blank_break_or_end())) {
            queue(RawTokenKind::BlockEnd, reader_.span(), reader_.position());
            pop_indent();
        }
        // Inside a block collection: a token at a block mapping's column
        // always begins its line, and the mapping's next entry. A token
        // past the collection's column after a complete node must not begin
        // a line (see check_line_continues).
        if (indent_ >= 0) {
            const std::int64_t column = reader_.column();
            if (column > indent_) {
                if (ends_node(last_kind_)) QM_TRY(check_line_continues());
            } else if (column == indent_ && !sequence_level_) {
                // After "key:" with no value yet, the node was meant as the value.
                key_needed = after_block_value_ ? "a mapping value must be indented past its mapping key"
                                                : "expected ':' after mapping key";
            }
        }
    }

    if (reader_.at_end()) {
        if (in_flow()) return fail("unclosed flow collection at end of input", reader_.span());
        return fetch_stream_end();
    }
    if (in_flow()) return fetch_in_flow();
    return key_needed == nullptr ? fetch_in_block() : fetch_mapping_entry(key_needed);
}

// The token at a block mapping's column, which must begin an entry.
ScanResult Scanner::fetch_mapping_entry(const char* key_needed) {
    const Span start = reader_.span();
    QM_TRY(fetch_in_block());
    switch (last_kind_) {
        case RawTokenKind::MappingKey:
        case RawTokenKind::MappingValue:
        case RawTokenKind::BlockEntry:
        case RawTokenKind::DocumentStart:
        case RawTokenKind::DocumentEnd:
        case RawTokenKind::Directive:
            return Ok{};
        default:
            // An anchor, tag, alias or flow collection saved a key, which a
            // ":" must still complete on this line.
            if (key_saved_) {
                key_needed_ = key_needed;
                return Ok{};
            }
            return fail(key_needed, start);
    }
}

// A token in block context indented past the innermost block collection,
// after a token that ends a node. A line indented so continues the node
// that the collection still waits for, and there is none:
//
//     - a: 1          - [a]          key: "x"
//      b: 2            b: 2            more
//
// each fail at their second line. A token after the node on its own line
// (the ":" after a key) begins no line.
ScanResult Scanner::check_line_continues() const {
    if (!only_blanks_before_on_line()) return Ok{};
    if (sequence_level_ && reader_.byte() == '-' && reader_.next_is_blank_break_or_end())
        return fail("a sequence entry is indented past its sequence", reader_.span());
    return fail("a line indented past its block collection must continue the node above it", reader_.span());
}

ScanResult Scanner::fetch_stream_end() {
    QM_TRY(drop_simple_key());
    unroll_indent(-1);
    stream_ended_ = true;
    queue(RawTokenKind::StreamEnd, reader_.span(), reader_.position());
    return Ok{};
}

// Checks the indentation of a line that continues a node begun on an
// earlier line (a flow collection, a quoted or a plain scalar): the spaces
// at its start must reach past `limit`, the indentation of the block
// context. Tabs may follow them as separation but cannot stand in for them.
// The reader is on the line's first non-blank character.
ScanResult Scanner::check_continuation_indent(std::size_t line_start, std::int64_t limit,
                                              const char* message) const {
    const std::string_view text = reader_.text();
    std::size_t spaces = line_start;
    while (text[spaces] == ' ') ++spaces;
    if (std::int64_t(spaces - line_start) > limit) return Ok{};
    if (text[spaces] == '\t' && std::int64_t(reader_.column()) > limit)
        return fail("a tab cannot be used for indentation",
                    Span{reader_.span().file_id, reader_.line(), std::uint32_t(spaces - line_start), spaces});
    return fail(message, reader_.span());
}

ScanResult Scanner::skip_to_next_token(bool& crossed_break) {
    bool at_line_start = reader_.column() == 0;
    const std::string_view text = reader_.text();
    while (!reader_.at_end()) {
        const unsigned char c = reader_.byte();
        if (is_break(c)) {
            reader_.consume_line_break();
            after_document_start_ = false;
            if (key_saved_ && key_start_.line != reader_.line()) QM_TRY(drop_simple_key());
            if (!in_flow()) key_allowed_ = true;
            at_line_start = true;
            crossed_break = true;
        } else if (c == ' ') {
            reader_.skip_spaces();
        } else if (c == '\t') {
            // The rest of the run of blanks goes at once: a long run of tabs
            // is looked past once, not once per tab.
            const std::size_t end = reader_.find_non_blank();
            last_tab_line_ = reader_.line();
            if (!in_flow() && (at_line_start || only_blanks_before_on_line()) && end < text.size()) {
                const auto next = static_cast<unsigned char>(text[end]);
                if (next != '[' && next != '{' && !is_break(next))
                    return fail("a tab cannot be used for indentation", reader_.span());
            }
            reader_.advance_ascii(end - reader_.position());
        } else if (c == 0xEF && reader_.column() == 0 && byte_order_mark_opens_prefix_line()) {
            reader_.skip_byte_order_mark();
        } else if (c == '#') {
            const std::size_t pos = reader_.position();
            const bool starts_comment = line_starts_at(pos) || is_blank(static_cast<unsigned char>(text[pos - 1]));
            if (!starts_comment) break;
            skip_comment();
        } else {
            break;
        }
    }
    return Ok{};
}

// Whether a line begins at byte `offset`: the start of the text, the end
// of a byte-order mark that begins a line, or the byte after a line break.
bool Scanner::line_starts_at(std::size_t offset) const {
    if (offset == 0) return true;
    const std::string_view text = reader_.text();
    if (offset >= 3 && text.substr(offset - 3, 3) == kByteOrderMark) return offset == 3 || line_starts_at(offset - 3);
    return is_break(static_cast<unsigned char>(text[offset - 1]));
}

// Whether the byte-order mark at the start of the reader's line stands in
// a document prefix, where a stream may repeat it: before the first
// document or after a "...". Skipped there, it is no part of the first key:
//
//     # generated
//     <BOM>version: 1      ->  {"version": 1}
//
// Anywhere else it is text.
bool Scanner::byte_order_mark_opens_prefix_line() const {
    return (last_kind_ == RawTokenKind::StreamStart || last_kind_ == RawTokenKind::DocumentEnd) &&
           reader_.text().substr(reader_.position(), 3) == kByteOrderMark;
}

// Whether only blanks stand between the start of the line and the reader
// (a scan that stopped inside a line's indentation leaves it there).
bool Scanner::only_blanks_before_on_line() const {
    const std::string_view text = reader_.text();
    const std::size_t pos = reader_.position();
    const std::size_t start = pos - reader_.column();
    for (std::size_t i = pos; i > start; --i)
        if (!is_blank(static_cast<unsigned char>(text[i - 1]))) return false;
    // Blanks are one byte each, so the line starts at `start` if anywhere.
    return line_starts_at(start);
}

void Scanner::skip_comment() {
    const std::string_view text = reader_.text();
    const Span span = reader_.span();
    const std::size_t end = find_line_break(text.data(), span.offset + 1, text.size());
    if (collect_comments_) {
        // As written after the "#", blanks included: it is written back so.
        comments_.push_back(ScannedComment{std::string(text.substr(span.offset + 1, end - span.offset - 1)), span});
    }
    reader_.skip_rest_of_line(end);
}

// Dispatch.

ScanResult Scanner::fetch_in_flow() {
    const Span span = reader_.span();
    const unsigned char c = reader_.byte();
    if (reader_.at_document_marker())
        return fail("a document marker is not allowed inside a flow collection", span);

    const bool adjacent_value = adjacent_value_allowed_;
    adjacent_value_allowed_ = false;

    if (needs_separator_ && c != '#' && c != ',' && c != ':' && c != ']' && c != '}' &&
        !((c == '-' || c == '?') && indicator_ends_here(1)))
        return fail("missing ',' between flow collection entries", span);

    if (c == ':' && needs_separator_ && !explicit_key_in_entry_ && !flow_is_mapping_.back() &&
        last_flow_node_line_ != reader_.line())
        return fail("the implicit key of a flow sequence pair must be on one line", span);

    switch (c) {
        case '!': QM_TRY(scan_tag()); break;
        case '"': QM_TRY(scan_quoted_scalar(true)); break;
        case '\'': QM_TRY(scan_quoted_scalar(false)); break;
        case '&': QM_TRY(scan_anchor_or_alias(false)); break;
        case '*': QM_TRY(scan_anchor_or_alias(true)); break;
        case '#': return fail("a comment must be preceded by whitespace", span);
        case ',':
            if (!entry_has_content_) return fail("empty flow entry (stray ',')", span);
            reader_.advance_ascii(1);
            key_allowed_ = true;
            entry_has_content_ = false;
            needs_separator_ = false;
            explicit_key_in_entry_ = false;
            queue(RawTokenKind::FlowEntry, span, span.offset);
            return Ok{};
        case '-':
            if (indicator_ends_here(1)) return fail("a plain scalar cannot be a bare '-' here", span);
            QM_TRY(scan_plain_scalar());
            break;
        case '?':
            if (indicator_ends_here(1)) {
                QM_TRY(fetch_key());
                return Ok{};
            }
            QM_TRY(scan_plain_scalar());
            break;
        case ':':
            if (adjacent_value || indicator_ends_here(1)) return fetch_value();
            QM_TRY(scan_plain_scalar());
            break;
        case '@':
        case '`':
            return fail(std::string("'") + char(c) + "' is a reserved indicator and cannot start a plain scalar", span);
        case '[':
        case '{':
            return fetch_flow_collection_start();
        case ']':
        case '}':
            return fetch_flow_collection_end();
        default:
            QM_TRY(scan_plain_scalar());
            break;
    }
    entry_has_content_ = true;
    return Ok{};
}

ScanResult Scanner::fetch_in_block() {
    const Span span = reader_.span();
    const unsigned char c = reader_.byte();
    if (c != '!' && c != '&') after_block_value_ = false;

    switch (c) {
        case '!': return scan_tag();
        case '"': return scan_quoted_scalar(true);
        case '\'': return scan_quoted_scalar(false);
        case '&': return scan_anchor_or_alias(false);
        case '*': return scan_anchor_or_alias(true);
        case '#': return fail("a comment must be preceded by whitespace", span);
        case '%':
            if (reader_.column() == 0) {
                fetch_directive();
                return Ok{};
            }
            return scan_plain_scalar();
        case ',': return fail("a plain scalar cannot start with ','", span);
        case '-':
            if (indicator_ends_here(1)) return fetch_block_entry();
            if (reader_.at_document_marker()) {
                fetch_document_start();
                return Ok{};
            }
            return scan_plain_scalar();
        case '.':
            if (reader_.at_document_marker()) return fetch_document_end();
            return scan_plain_scalar();
        case '?':
            if (indicator_ends_here(1)) return fetch_key();
            return scan_plain_scalar();
        case ':':
            if (indicator_ends_here(1)) return fetch_value();
            return scan_plain_scalar();
        case '@':
        case '`':
            return fail(std::string("'") + char(c) + "' is a reserved indicator and cannot start a plain scalar", span);
        case '[':
        case '{':
            return fetch_flow_collection_start();
        case ']':
        case '}':
            return fetch_flow_collection_end();
        case '|': return scan_block_scalar(true);
        case '>': return scan_block_scalar(false);
        default: return scan_plain_scalar();
    }
}

// Indentation.

ScanResult Scanner::open_indent(std::int64_t column, Span span, RawTokenKind kind) {
    if (in_flow()) return Ok{};
    if (after_document_start_) return fail("a block collection cannot start on the same line as ---", span);
    if (column <= indent_) return Ok{};
    if (last_tab_line_ == std::int64_t(span.line)) QM_TRY(check_no_tab_before(span));
    indents_.push_back(indent_);
    indent_is_sequence_.push_back(sequence_level_);
    indent_ = column;
    sequence_level_ = kind == RawTokenKind::BlockSequenceStart;
    queue(kind, span, span.offset);
    return Ok{};
}

// A block collection that opens after an indicator on the same line
// ("- - a", "? a: b", ": a: b") is indented by the blanks between them, and
// one that opens a line by the blanks before it: a tab there is indentation.
// Blanks before a token are skipped between tokens, where each line with a
// tab among them is noted, so callers look only on such lines.
ScanResult Scanner::check_no_tab_before(const Span& start) const {
    const std::string_view text = reader_.text();
    std::size_t p = start.offset;
    std::size_t tab = start.offset;
    while (p > 0 && is_blank(static_cast<unsigned char>(text[p - 1]))) {
        --p;
        if (text[p] == '\t') tab = p;
    }
    if (tab == start.offset) return Ok{};
    if (!line_starts_at(p) && text[p - 1] != '-' && text[p - 1] != '?' && text[p - 1] != ':') return Ok{};
    return fail("a tab cannot be used for indentation",
                Span{start.file_id, start.line, start.column - std::uint32_t(start.offset - tab), tab});
}

void Scanner::unroll_indent(std::int64_t column) {
    if (in_flow()) return;
    while (column < indent_) {
        queue(RawTokenKind::BlockEnd, reader_.span(), reader_.position());
        pop_indent();
    }
}

void Scanner::pop_indent() {
    if (indents_.empty()) {
        indent_ = -1;
        sequence_level_ = false;
        return;
    }
    indent_ = indents_.back();
    sequence_level_ = indent_is_sequence_.back();
    indents_.pop_back();
    indent_is_sequence_.pop_back();
}

void Scanner::save_simple_key() {
    if (in_flow() || !key_allowed_ || key_saved_) return;
    key_saved_ = true;
    key_settled_ = false;
    key_token_ = queue_.size();
    key_start_ = reader_.span();
}

// Indicators.

ScanResult Scanner::fetch_value() {
    const Span span = reader_.span();
    bool completed_key = false;
    if (!in_flow()) {
        if (key_saved_ && key_start_.line != reader_.line()) QM_TRY(drop_simple_key());
        const bool saved = key_saved_;
        key_saved_ = false;
        key_needed_ = nullptr;
        if (saved) {
            std::size_t at = key_token_;
            if (std::int64_t(key_start_.column) > indent_) {
                if (last_tab_line_ == std::int64_t(key_start_.line)) QM_TRY(check_no_tab_before(key_start_));
                indents_.push_back(indent_);
                indent_is_sequence_.push_back(sequence_level_);
                indent_ = key_start_.column;
                sequence_level_ = false;
                queue_at(at++, RawTokenKind::BlockMappingStart, key_start_, span.offset);
            }
            queue_at(at, RawTokenKind::MappingKey, key_start_, span.offset);
            completed_key = true;
        } else {
            QM_TRY(roll_indent(span.column, span, RawTokenKind::BlockMappingStart));
        }
    }
    reader_.advance_ascii(1);
    if (reader_.byte() == ' ') reader_.advance_ascii(1);
    needs_separator_ = false;
    explicit_key_in_entry_ = false;
    // After an explicit ": " a compact mapping may follow on the same line
    // (": moon: white"); after a key completed here, only a plain value.
    key_allowed_ = in_flow() || !completed_key;
    if (!in_flow()) after_block_value_ = true;
    queue(RawTokenKind::MappingValue, span, span.offset);
    return Ok{};
}

ScanResult Scanner::fetch_key() {
    const Span span = reader_.span();
    if (!in_flow()) {
        // A property saved as a key before the "?" ("!t ? a: b") is not the
        // key of a ":" after it: that ":" belongs to the explicit key.
        QM_TRY(drop_simple_key());
        QM_TRY(roll_indent(span.column, span, RawTokenKind::BlockMappingStart));
    }
    reader_.advance_ascii(1);
    if (reader_.byte() == ' ') reader_.advance_ascii(1);
    needs_separator_ = false;
    // The key of "? a: b" may itself be a compact mapping.
    key_allowed_ = true;
    if (in_flow()) explicit_key_in_entry_ = true;
    queue(RawTokenKind::MappingKey, span, span.offset);
    return Ok{};
}

ScanResult Scanner::fetch_block_entry() {
    const Span span = reader_.span();
    if (last_key_line_ == std::int64_t(span.line))
        return fail("a block sequence cannot start on the same line as its mapping key", span);
    if (last_property_line_ == std::int64_t(span.line))
        return fail("a block sequence entry cannot follow an anchor or tag on the same line", span);
    QM_TRY(roll_indent(span.column, span, RawTokenKind::BlockSequenceStart));
    reader_.advance_ascii(1);
    if (reader_.byte() == ' ') reader_.advance_ascii(1);
    key_allowed_ = true;
    queue(RawTokenKind::BlockEntry, span, span.offset);
    return Ok{};
}

void Scanner::fetch_document_start() {
    const Span span = reader_.span();
    unroll_indent(-1);
    reader_.skip_marker();
    after_document_start_ = true;
    key_allowed_ = false;
    queue(RawTokenKind::DocumentStart, span, span.offset);
}

ScanResult Scanner::fetch_document_end() {
    const Span span = reader_.span();
    unroll_indent(-1);
    reader_.skip_marker();
    const int next = reader_.peek_non_blank();
    if (next != -1 && next != '#' && next != '\n' && next != '\r')
        return fail("unexpected content after document-end marker (...)", span);
    key_allowed_ = false;
    queue(RawTokenKind::DocumentEnd, span, span.offset);
    return Ok{};
}

void Scanner::fetch_directive() {
    const Span span = reader_.span();
    unroll_indent(-1);
    reader_.advance_ascii(1);
    const std::string_view text = reader_.text();
    std::size_t end = reader_.position();
    while (end < text.size() && !is_break(static_cast<unsigned char>(text[end]))) ++end;
    const std::string_view body = text.substr(reader_.position(), end - reader_.position());
    reader_.advance_to(end);
    key_allowed_ = false;
    queue(RawTokenKind::Directive, span, span.offset, body);
}

}  // namespace quillmere::scanner
