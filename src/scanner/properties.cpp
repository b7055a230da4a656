// Flow brackets and node properties: "[", "{", "]", "}", "&", "*" and "!".
//
// These producers keep the flow level and the flow stack, and they are where
// a simple key is saved: in block context an anchor, tag, alias or flow
// collection that begins a node may turn out to start a mapping key once a
// ":" follows on the same line, as in
//
//     &a key: 1        [a, b]: c        !t x: y
//
// Names and tags are slices of the input; the decoder expands tag handles.
#include <string>

#include "scanner/scanner.h"

namespace quillmere::scanner {

ScanResult Scanner::fetch_flow_collection_start() {
    const Span span = reader_.span();
    const bool mapping = reader_.byte() == '{';
    if (flow_level_ >= kMaxFlowDepth)
        return fail("maximum nesting depth (" + std::to_string(kMaxFlowDepth) + ") exceeded", span);
    if (flow_level_ == 0) {
        flow_start_line_ = span.line;
        flow_base_indent_ = indent_;
        save_simple_key();
    }
    reader_.advance_ascii(1);
    ++flow_level_;
    flow_is_mapping_.push_back(mapping);
    key_allowed_ = true;
    entry_has_content_ = false;
    needs_separator_ = false;
    explicit_key_in_entry_ = false;
    // A ":" right after the bracket follows no node: the closing bracket of
    // an earlier collection left the flag set ("- []\n- [:v]").
    adjacent_value_allowed_ = false;
    queue(mapping ? RawTokenKind::FlowMappingStart : RawTokenKind::FlowSequenceStart, span, span.offset);
    return Ok{};
}

ScanResult Scanner::fetch_flow_collection_end() {
    const Span span = reader_.span();
    const char bracket = char(reader_.byte());
    if (flow_level_ == 0)
        return fail(std::string("unexpected '") + bracket + "' with no open flow collection", span);
    reader_.advance_ascii(1);
    --flow_level_;
    const bool was_mapping = flow_is_mapping_.back();
    flow_is_mapping_.pop_back();
    if (was_mapping != (bracket == '}'))
        return fail(std::string("mismatched flow collection: '") + bracket + "' cannot close a '" +
                        (was_mapping ? '{' : '[') + "'",
                    span);
    last_flow_node_line_ = reader_.line();
    key_allowed_ = false;
    entry_has_content_ = true;
    needs_separator_ = true;
    adjacent_value_allowed_ = true;
    queue(bracket == '}' ? RawTokenKind::FlowMappingEnd : RawTokenKind::FlowSequenceEnd, span, span.offset);
    if (flow_level_ == 0) {
        const int next = reader_.peek_non_blank();
        if (next != -1 && next != '\n' && next != '\r' && next != '#' && next != ':')
            return fail("unexpected content after flow collection", reader_.span());
        if (reader_.line() != flow_start_line_ && next == ':')
            return fail("a multiline flow collection cannot be an implicit mapping key", span);
    }
    return Ok{};
}

ScanResult Scanner::check_property_indent() {
    if (!in_flow() && after_block_value_ && std::int64_t(reader_.column()) <= indent_)
        return fail("a node property must be indented past its mapping key", reader_.span());
    return Ok{};
}

ScanResult Scanner::scan_anchor_or_alias(bool alias) {
    const Span span = reader_.span();
    if (!alias) QM_TRY(check_property_indent());
    save_simple_key();
    reader_.advance_ascii(1);
    const std::string_view text = reader_.text();
    std::size_t end = reader_.position();
    while (end < text.size()) {
        const auto c = static_cast<unsigned char>(text[end]);
        if (c == 0 || is_blank(c) || is_break(c) || is_flow_indicator(c)) break;
        ++end;
    }
    if (end == reader_.position()) return fail(alias ? "expected alias name" : "expected anchor name", span);
    const std::string_view name = text.substr(reader_.position(), end - reader_.position());
    reader_.advance_to(end);
    key_allowed_ = false;
    if (!alias && !in_flow()) last_property_line_ = span.line;
    if (alias && in_flow()) {
        last_flow_node_line_ = span.line;
        needs_separator_ = true;
    }
    queue(alias ? RawTokenKind::Alias : RawTokenKind::Anchor, span, span.offset, name);
    return Ok{};
}

ScanResult Scanner::scan_tag() {
    const Span span = reader_.span();
    QM_TRY(check_property_indent());
    save_simple_key();
    if (!in_flow()) last_property_line_ = span.line;
    reader_.advance_ascii(1);
    const std::string_view text = reader_.text();
    std::size_t end = reader_.position();
    if (reader_.byte() == '<' && reader_.has(0)) {
        // Verbatim: "!<" URI ">", with no blank or line break inside.
        ++end;
        while (end < text.size() && text[end] != '>') {
            const auto c = static_cast<unsigned char>(text[end]);
            if (is_blank(c) || is_break(c)) break;
            ++end;
        }
        if (end >= text.size() || text[end] != '>') return fail("unterminated verbatim tag", span);
        ++end;
    } else {
        // "!", "!suffix", "!!suffix" and "!handle!suffix".
        while (end < text.size()) {
            const auto c = static_cast<unsigned char>(text[end]);
            if (is_blank(c) || is_break(c) || c == ',' || c == ']' || c == '}') break;
            ++end;
        }
    }
    reader_.advance_to(end);
    key_allowed_ = false;
    queue(RawTokenKind::Tag, span, span.offset, text.substr(span.offset, end - span.offset));
    return Ok{};
}

}  // namespace quillmere::scanner
