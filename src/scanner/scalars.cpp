// Scalar bodies: plain, single- and double-quoted, literal and folded.
//
// Each routine starts on the scalar's first character (the quote or the
// block indicator), reads through the scalar, builds its text and queues the
// Scalar token. Plain and quoted scalars also look for an implicit-key ":"
// right after themselves and then queue MappingKey, Scalar and MappingValue.
//
// A plain scalar that stays on one line is a slice of the input. Every
// other text is built in `scratch_` and copied once into the text arena.
//
//     key: two
//       lines      ->  Scalar "key", Scalar "two lines" (folded, owned)
//     "a\x41"      ->  Scalar "aA" (double-quoted, owned)
#include <algorithm>
#include <cstdio>

#include "scanner/byte_search.h"
#include "common/utf8.h"
#include "scanner/scanner.h"

namespace quillmere::scanner {

namespace {

int hex_value(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

// The current character as text (for messages that quote it).
static std::string current_char_text(const Reader& reader) {
    return std::string(reader.text().substr(reader.position(), reader.char_length()));
}

ScanResult Scanner::queue_implicit_key(const Span& start, std::string_view text, ScalarStyle style,
                                       std::uint64_t end_offset, bool ascii) {
    if (!in_flow()) QM_TRY(roll_indent(start.column, start, RawTokenKind::BlockMappingStart));
    queue(RawTokenKind::MappingKey, start, start.offset);
    queue(RawTokenKind::Scalar, start, end_offset, text, static_cast<std::uint8_t>(style), ascii);
    if (!in_flow()) {
        last_key_line_ = reader_.line();
        after_block_value_ = true;
    }
    const Span colon = reader_.span();
    reader_.advance_ascii(1);
    if (reader_.byte() == ' ') reader_.advance_ascii(1);
    queue(RawTokenKind::MappingValue, colon, colon.offset);
    needs_separator_ = false;
    return Ok{};
}

ScanResult Scanner::scan_plain_scalar() {
    const bool key_was_allowed = key_allowed_;
    const Span start = reader_.span();
    const bool flow = in_flow();
    const std::string_view text = reader_.text();
    const std::size_t size = text.size();
    bool owned = false;
    std::size_t line_start = start.offset;  // first text character of the current line
    std::size_t line_end = start.offset;    // just past its last non-blank text character
    std::size_t text_end = start.offset;    // just past the scalar's last text character
    std::size_t breaks_before_line = 0;     // line breaks between the previous line and this one
    bool at_indicator = false;              // the scalar ended at a ':' that may be a value indicator
    bool ascii = true;                      // no byte of 0x80 or more met

    // Adds the current line, and the fold before it, to the owned text. A
    // line that ended before any text character adds nothing.
    auto append_line = [&] {
        if (line_end == line_start) return;
        if (breaks_before_line == 1)
            scratch_ += ' ';
        else
            scratch_.append(breaks_before_line - 1, '\n');
        scratch_.append(text.data() + line_start, line_end - line_start);
        text_end = line_end;
    };

    for (;;) {
        // One line of the scalar.
        for (;;) {
            // A run of text characters and blanks: ASCII found sixteen bytes
            // at a time, multi-byte characters stepped over one by one. The
            // line's text ends at the run's last text character: blanks
            // there belong to the fold or separate a comment.
            const std::size_t run = reader_.position();
            std::size_t p = run;
            std::uint32_t columns = 0;
            for (;;) {
                const std::size_t stop = find_plain_stop(text.data(), p, size, flow);
                columns += static_cast<std::uint32_t>(stop - p);
                p = stop;
                if (p >= size || static_cast<unsigned char>(text[p]) < 0x80) break;
                ascii = false;
                p += utf8_length(static_cast<unsigned char>(text[p]));
                ++columns;
            }
            if (p != run) {
                reader_.advance_counted(p, columns);
                std::size_t last = p;
                while (last > run && is_blank(static_cast<unsigned char>(text[last - 1]))) --last;
                if (last != run) line_end = last;
            }
            if (reader_.at_end()) goto done;
            const unsigned char c = reader_.byte();
            if (c == ':') {
                if (indicator_ends_here(1)) {
                    at_indicator = true;
                    goto done;
                }
                reader_.advance_ascii(1);
                line_end = reader_.position();
                continue;
            }
            if (c == '#') {
                if (is_blank(static_cast<unsigned char>(text[reader_.position() - 1]))) goto done;
                reader_.advance_ascii(1);
                line_end = reader_.position();
                continue;
            }
            if (is_break(c)) break;
            goto done;  // a flow indicator inside a flow collection
        }

        // A line break: find the next non-empty line and decide whether the
        // scalar continues there.
        const Reader at_break = reader_;
        std::size_t breaks = 0;
        std::int64_t spaces = 0;  // the indentation of the last line reached
        while (!reader_.at_end() && is_break(reader_.byte())) {
            reader_.consume_line_break();
            ++breaks;
            reader_.skip_spaces();
            spaces = reader_.column();
            reader_.skip_blanks();
        }
        if (reader_.at_end()) goto done;
        {
            const unsigned char c = reader_.byte();
            // The line continues the scalar only when its leading spaces
            // indent it past the block context (tabs after them are
            // separation). Otherwise the scalar ends; when tabs would have
            // carried the line past the block context, or inside a flow
            // collection, the reader goes back to the line break, so that
            // the next token checks the line's indentation and reports it.
            if (spaces <= (flow ? flow_base_indent_ : indent_)) {
                if (flow || spaces != reader_.column()) reader_ = at_break;
                goto done;
            }
            if (!flow && reader_.at_document_marker()) goto done;
            if (c == '#') goto done;
            if ((c == ':' || c == '?') && reader_.next_is_blank_break_or_end()) goto done;
            if (flow && (c == '[' || c == '{')) goto done;
        }
        if (!owned) {
            owned = true;
            scratch_.assign(text.data() + start.offset, line_end - start.offset);
            text_end = line_end;
        } else {
            append_line();
        }
        breaks_before_line = breaks;
        line_start = line_end = reader_.position();
    }

done:
    if (owned)
        append_line();
    else
        text_end = line_end;
    const std::string_view value =
        owned ? keep_text(scratch_) : text.substr(start.offset, text_end - start.offset);
    const bool multi_line = reader_.line() > start.line;

    key_allowed_ = !flow && multi_line;
    if (!flow && key_saved_ && key_start_.line != reader_.line()) QM_TRY(drop_simple_key());

    // A ':' that ends a line of the scalar was checked as it was met; one at
    // the start of a later line ended the scalar without that check.
    const bool at_value_indicator =
        at_indicator || (reader_.byte() == ':' && reader_.has(0) && indicator_ends_here(1));
    if (key_was_allowed && !(flow && explicit_key_in_entry_) && at_value_indicator) {
        if (!flow && multi_line) {
            if (reader_.column() >= start.column)
                return fail("an implicit mapping key cannot span multiple lines", start);
            // The ':' belongs to an outer level.
        } else {
            if (flow && !flow_is_mapping_.back() && reader_.line() != start.line)
                return fail("the implicit key of a flow sequence pair must be on one line", start);
            return queue_implicit_key(start, value, ScalarStyle::Plain, text_end, ascii);
        }
    } else if (flow && !explicit_key_in_entry_ && multi_line && at_value_indicator) {
        return fail("missing ',' between flow collection entries", start);
    }

    queue(RawTokenKind::Scalar, start, text_end, value, static_cast<std::uint8_t>(ScalarStyle::Plain), ascii);
    if (flow) {
        last_flow_node_line_ = start.line;
        needs_separator_ = true;
    }
    return Ok{};
}

bool Scanner::value_indicator_follows() {
    // Most scalars are followed by neither: no copy of the reader for them.
    if (reader_.at_end() || (reader_.byte() != ' ' && reader_.byte() != ':')) return false;
    const Reader saved = reader_;
    reader_.skip_spaces();
    if (reader_.byte() == ':' && reader_.has(0) && indicator_ends_here(1)) return true;
    reader_ = saved;
    return false;
}

ScanResult Scanner::scan_quoted_scalar(bool double_quoted) {
    const bool key_was_allowed = key_allowed_;
    const Span quote = reader_.span();
    const bool flow = in_flow();
    const std::int64_t block_indent = flow ? flow_base_indent_ : indent_;
    const std::string_view text = reader_.text();
    reader_.advance_ascii(1);

    std::string& value = scratch_;
    value.clear();
    // Length of the text that folding may not trim: everything up to the
    // end of the last escape.
    std::size_t kept = 0;
    bool ascii = true;  // no byte of 0x80 or more met or written

    for (;;) {
        if (reader_.at_document_marker())
            return fail("a document marker cannot appear inside a quoted scalar", quote);
        if (reader_.at_end())
            return fail(double_quoted ? "unterminated double-quoted scalar" : "unterminated single-quoted scalar",
                        quote);
        const unsigned char c = reader_.byte();
        if (is_break(c)) {
            QM_TRY(fold_quoted_line_break(value, kept, block_indent));
            continue;
        }
        if (!double_quoted && c == '\'') {
            if (reader_.has(1) && reader_.byte(1) == '\'') {
                value += '\'';
                reader_.advance_ascii(2);
                continue;
            }
            reader_.advance_ascii(1);
            break;
        }
        if (double_quoted && c == '"') {
            reader_.advance_ascii(1);
            break;
        }
        if (double_quoted && c == '\\') {
            const std::size_t before = value.size();
            QM_TRY(scan_escape(value, quote, block_indent));
            // A character past ASCII ends in a byte of 0x80 or more.
            if (value.size() > before && static_cast<unsigned char>(value.back()) >= 0x80) ascii = false;
            kept = value.size();
            continue;
        }
        // A run of ordinary characters.
        const std::size_t run = reader_.position();
        std::size_t p = run;
        std::uint32_t columns = 0;
        for (;;) {
            const std::size_t stop = find_quoted_stop(text.data(), p, text.size(), double_quoted);
            columns += static_cast<std::uint32_t>(stop - p);
            p = stop;
            if (p >= text.size() || static_cast<unsigned char>(text[p]) < 0x80) break;
            ascii = false;
            p += utf8_length(static_cast<unsigned char>(text[p]));
            ++columns;
        }
        value.append(text.data() + run, p - run);
        reader_.advance_counted(p, columns);
    }

    const std::uint64_t end_offset = reader_.position();
    key_allowed_ = false;
    const std::string_view kept_text = keep_text(value);
    const ScalarStyle style = double_quoted ? ScalarStyle::DoubleQuoted : ScalarStyle::SingleQuoted;

    if (key_was_allowed && !(flow && explicit_key_in_entry_) && value_indicator_follows()) {
        if (!flow && reader_.line() > quote.line)
            return fail("an implicit mapping key cannot span multiple lines", quote);
        return queue_implicit_key(quote, kept_text, style, end_offset, ascii);
    }
    if (!flow) {
        const int next = reader_.peek_non_blank();
        if (next != -1 && next != '\n' && next != '\r' && next != '#' && next != ':')
            return fail("unexpected content after quoted scalar", reader_.span());
    }
    queue(RawTokenKind::Scalar, quote, end_offset, kept_text, static_cast<std::uint8_t>(style), ascii);
    if (flow) {
        last_flow_node_line_ = quote.line;
        needs_separator_ = true;
        adjacent_value_allowed_ = true;
    }
    return Ok{};
}

ScanResult Scanner::fold_quoted_line_break(std::string& value, std::size_t kept, std::int64_t block_indent) {
    while (value.size() > kept && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    std::size_t empty_lines = 0;
    QM_TRY(skip_quoted_line_breaks(block_indent, empty_lines));
    if (empty_lines == 0)
        value += ' ';
    else
        value.append(empty_lines, '\n');
    return Ok{};
}

// Consumes the line break at the reader and the white space at the start of
// the lines after it, counting the lines of only white space, and checks the
// indentation of the line where the scalar goes on.
ScanResult Scanner::skip_quoted_line_breaks(std::int64_t block_indent, std::size_t& empty_lines) {
    reader_.consume_line_break();
    std::size_t line_start = reader_.position();
    for (;;) {
        reader_.skip_blanks();
        if (reader_.at_end()) return Ok{};
        if (!is_break(reader_.byte())) break;
        reader_.consume_line_break();
        line_start = reader_.position();
        ++empty_lines;
    }
    return check_continuation_indent(line_start, block_indent,
                                     "a multi-line quoted scalar must be indented past its block context");
}

ScanResult Scanner::scan_escape(std::string& value, Span quote, std::int64_t block_indent) {
    reader_.advance_ascii(1);  // the backslash
    if (reader_.at_end()) return fail("unterminated escape sequence", quote);
    const unsigned char c = reader_.byte();
    char32_t cp = 0;
    int digits = 0;
    switch (c) {
        case '0': cp = 0x00; break;
        case 'a': cp = 0x07; break;
        case 'b': cp = 0x08; break;
        case 't': case '\t': cp = 0x09; break;
        case 'n': cp = 0x0A; break;
        case 'v': cp = 0x0B; break;
        case 'f': cp = 0x0C; break;
        case 'r': cp = 0x0D; break;
        case 'e': cp = 0x1B; break;
        case ' ': cp = ' '; break;
        case '"': cp = '"'; break;
        case '/': cp = '/'; break;
        case '\\': cp = '\\'; break;
        case 'N': cp = 0x85; break;
        case '_': cp = 0xA0; break;
        case 'L': cp = 0x2028; break;
        case 'P': cp = 0x2029; break;
        case 'x': digits = 2; break;
        case 'u': digits = 4; break;
        case 'U': digits = 8; break;
        case '\n':
        case '\r':
        {
            // An escaped line break joins the lines without a space; a line
            // of only white space after it is an empty line.
            std::size_t empty_lines = 0;
            QM_TRY(skip_quoted_line_breaks(block_indent, empty_lines));
            value.append(empty_lines, '\n');
            return Ok{};
        }
        default:
            return fail("unknown escape character: '\\" + current_char_text(reader_) + "'", reader_.span());
    }
    reader_.advance_ascii(1);
    if (digits != 0) {
        QM_TRY(scan_hex_escape(digits, quote, cp));
        // A high surrogate escape directly followed by a low surrogate
        // escape is the pair of UTF-16 units of one character, as JSON
        // writes characters beyond U+FFFF.
        if (digits == 4 && cp >= 0xD800 && cp <= 0xDBFF && reader_.byte() == '\\' && reader_.byte(1) == 'u') {
            reader_.advance_ascii(2);
            char32_t low = 0;
            QM_TRY(scan_hex_escape(4, quote, low));
            // Anything else leaves the high surrogate alone, and it fails.
            if (low >= 0xDC00 && low <= 0xDFFF) cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        }
        if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(cp));
            return fail(std::string("invalid unicode code point: U+") + hex, quote);
        }
    }
    append_utf8(value, cp);
    return Ok{};
}

ScanResult Scanner::scan_hex_escape(int digits, Span quote, char32_t& out) {
    std::uint32_t cp = 0;
    for (int i = 0; i < digits; ++i) {
        if (reader_.at_end()) return fail("incomplete unicode escape", quote);
        const int v = hex_value(reader_.byte());
        if (v < 0)
            return fail("invalid hex digit in unicode escape: '" + current_char_text(reader_) + "'", reader_.span());
        cp = cp * 16 + std::uint32_t(v);
        reader_.advance_ascii(1);
    }
    out = cp;
    return Ok{};
}

std::size_t Scanner::scan_block_scalar_breaks(std::int64_t content_indent) {
    std::size_t breaks = 0;
    const std::string_view text = reader_.text();
    for (;;) {
        // Spaces up to the content indentation, and no further.
        const std::int64_t room = content_indent - std::int64_t(reader_.column());
        if (room > 0) {
            const std::size_t limit = std::min(text.size(), reader_.position() + std::size_t(room));
            std::size_t end = reader_.position();
            while (end < limit && text[end] == ' ') ++end;
            reader_.advance_ascii(end - reader_.position());
        }
        if (reader_.at_end() || !is_break(reader_.byte())) return breaks;
        reader_.consume_line_break();
        ++breaks;
    }
}

ScanResult Scanner::scan_block_scalar(bool literal) {
    const Span indicator = reader_.span();
    const std::int64_t indent = indent_;
    const std::string_view text = reader_.text();
    enum class Chomping { Clip, Strip, Keep } chomping = Chomping::Clip;
    int explicit_indent = 0;
    bool header_break = false;

    // Header: chomping and indentation indicators, an optional comment.
    reader_.advance_ascii(1);
    while (!reader_.at_end()) {
        const unsigned char c = reader_.byte();
        if (is_blank(c)) {
            reader_.advance_ascii(1);
        } else if (c == '+' || c == '-') {
            chomping = c == '+' ? Chomping::Keep : Chomping::Strip;
            reader_.advance_ascii(1);
        } else if (c >= '1' && c <= '9') {
            explicit_indent = c - '0';
            reader_.advance_ascii(1);
        } else if (c == '#') {
            const std::size_t pos = reader_.position();
            const auto before = static_cast<unsigned char>(text[pos - 1]);
            if (!(is_blank(before) || is_break(before)))
                return fail("a comment must be preceded by whitespace", reader_.span());
            reader_.skip_rest_of_line(find_line_break(text.data(), pos, text.size()));
        } else if (is_break(c)) {
            reader_.consume_line_break();
            header_break = true;
            break;
        } else {
            return fail("unexpected content after block scalar indicator", reader_.span());
        }
    }

    // Content indentation.
    std::int64_t content_indent = 0;
    if (explicit_indent != 0) {
        content_indent = explicit_indent + std::max<std::int64_t>(indent, 0);
    } else {
        std::size_t p = reader_.position();
        std::int64_t max_empty = 0;
        std::int64_t content_count = -1;  // -1: no content line before the end
        while (p < text.size()) {
            std::size_t spaces = 0;
            while (p + spaces < text.size() && text[p + spaces] == ' ') ++spaces;
            if (p + spaces >= text.size()) {
                max_empty = std::max<std::int64_t>(max_empty, std::int64_t(spaces));
                break;
            }
            const auto c = static_cast<unsigned char>(text[p + spaces]);
            if (!is_break(c)) {
                content_count = std::int64_t(spaces);
                break;
            }
            max_empty = std::max<std::int64_t>(max_empty, std::int64_t(spaces));
            p += spaces + 1;
            if (c == '\r' && p < text.size() && text[p] == '\n') ++p;
        }
        if (content_count <= indent) {
            // No content line: the lines of spaces are empty lines, however
            // many spaces they hold.
            content_indent = std::max<std::int64_t>(indent + 1, max_empty);
        } else if (max_empty > content_count) {
            return fail("a leading empty line in a block scalar is indented more than the content", indicator);
        } else {
            content_indent = content_count;
        }
    }

    std::string& value = scratch_;
    value.clear();
    const std::size_t leading = scan_block_scalar_breaks(content_indent);
    // Before the first content line, a tab where the indentation should be
    // is no empty line and no content either.
    if (reader_.byte() == '\t' && std::int64_t(reader_.column()) < content_indent)
        return fail("a tab cannot be used for indentation", reader_.span());
    std::size_t pending = leading;
    std::size_t trailing = leading;
    bool any_content = false;

    auto line_continues = [&] {
        return std::int64_t(reader_.column()) == content_indent && !reader_.at_end() && !reader_.at_document_marker();
    };
    while (line_continues()) {
        any_content = true;
        value.append(pending, '\n');
        const bool more_indented = is_blank(reader_.byte());
        const std::size_t end = find_line_break(text.data(), reader_.position(), text.size());
        value.append(text.data() + reader_.position(), end - reader_.position());
        reader_.skip_rest_of_line(end);
        const bool had_break = !reader_.at_end();
        if (had_break) reader_.consume_line_break();
        const std::size_t empty_lines = scan_block_scalar_breaks(content_indent);
        if (!line_continues()) {
            trailing = empty_lines + (had_break ? 1 : 0);
            break;
        }
        if (literal) {
            value += '\n';
        } else if (more_indented || is_blank(reader_.byte())) {
            value += '\n';
        } else if (empty_lines == 0) {
            value += ' ';
        }
        pending = empty_lines;
    }
    // A last line of spaces that the end of the text cuts off still counts
    // as an empty line.
    if (!any_content && header_break && reader_.at_end() && reader_.column() > 0) ++trailing;

    switch (chomping) {
        case Chomping::Strip: break;
        case Chomping::Clip:
            // The final line break is kept when there is one: a last line
            // that the end of the text cuts off has none.
            if (!value.empty() && trailing > 0) value += '\n';
            break;
        case Chomping::Keep: value.append(trailing, '\n'); break;
    }
    key_allowed_ = true;
    queue(RawTokenKind::Scalar, indicator, reader_.position(), keep_text(value),
          static_cast<std::uint8_t>(literal ? ScalarStyle::Literal : ScalarStyle::Folded));
    return Ok{};
}

}  // namespace quillmere::scanner
