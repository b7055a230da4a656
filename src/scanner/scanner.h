// The YAML scanner: text in, tokens out.
//
// `tokenize` reads one whole YAML text and returns its tokens, from
// StreamStart to StreamEnd, or the one ScanError that stopped it. The text
//
//     &a key: [1, 2]
//
// gives StreamStart, MappingStart(Block), MappingKey, Anchor "a",
// Scalar "key", MappingValue, SequenceStart(Flow), Scalar "1", FlowEntry,
// Scalar "2", SequenceEnd, BlockEnd, StreamEnd.
//
// Block structure comes from indentation: a stack of open block levels whose
// columns are compared with the column of each line's first token, closing
// levels with BlockEnd. A line at the column of a block mapping begins its
// next entry, and a line indented past the innermost level continues the
// node that level still waits for. Implicit keys are found in two ways. A
// plain or quoted scalar looks for its own ":" right after itself and queues
// the key tokens. A node that begins with an anchor, tag, alias or flow collection
// saves a "simple key" (the queue position of its first token); when the ":"
// arrives on the same line, MappingStart and MappingKey are inserted there.
// While a key is saved, no token leaves the queue.
//
// Scalar bodies are in scalars.cpp, flow brackets and node properties in
// properties.cpp; this file holds the main loop, the indentation rules and
// the indicators.
#pragma once

#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "common/arena.h"
#include "common/result.h"
#include "scanner/reader.h"
#include "scanner/token.h"
#include "scanner/token_list.h"

namespace quillmere::scanner {

using ScanResult = Result<void, ScanError>;

struct OutputKind {
    TokenKind kind;
    std::uint8_t style;
};

inline constexpr auto kBlock = static_cast<std::uint8_t>(CollectionStyle::Block);
inline constexpr auto kFlow = static_cast<std::uint8_t>(CollectionStyle::Flow);

// Output kind and collection style of each raw kind, in RawTokenKind order.
inline constexpr OutputKind kOutputKinds[] = {
    {TokenKind::StreamStart, 0},   {TokenKind::StreamEnd, 0},        {TokenKind::DocumentStart, 0},
    {TokenKind::DocumentEnd, 0},   {TokenKind::Directive, 0},        {TokenKind::MappingStart, kBlock},
    {TokenKind::SequenceStart, kBlock}, {TokenKind::BlockEnd, 0},    {TokenKind::BlockEntry, 0},
    {TokenKind::MappingStart, kFlow}, {TokenKind::MappingEnd, 0},    {TokenKind::SequenceStart, kFlow},
    {TokenKind::SequenceEnd, 0},   {TokenKind::FlowEntry, 0},        {TokenKind::MappingKey, 0},
    {TokenKind::MappingValue, 0},  {TokenKind::Scalar, 0},           {TokenKind::Anchor, 0},
    {TokenKind::Alias, 0},         {TokenKind::Tag, 0},
};
static_assert(std::size(kOutputKinds) == static_cast<std::size_t>(RawTokenKind::Tag) + 1);

inline OutputKind output_kind(RawTokenKind raw) { return kOutputKinds[static_cast<std::size_t>(raw)]; }

// Whether a token of this kind ends a node: a scalar, an alias, a closing
// bracket, or BlockEnd, which ends a block collection.
inline bool ends_node(RawTokenKind raw) {
    constexpr auto bit = [](RawTokenKind k) { return std::uint32_t(1) << static_cast<unsigned>(k); };
    constexpr std::uint32_t kEnds = bit(RawTokenKind::Scalar) | bit(RawTokenKind::Alias) |
                                    bit(RawTokenKind::FlowSequenceEnd) | bit(RawTokenKind::FlowMappingEnd) |
                                    bit(RawTokenKind::BlockEnd);
    return (kEnds >> static_cast<unsigned>(raw)) & 1;
}

class Scanner {
public:
    // `text` is borrowed for the life of the scanner and must be valid UTF-8.
    explicit Scanner(std::string_view text, std::uint32_t file_id = 0, bool collect_comments = false);

    // Appends the next output tokens to `out`: at least `at_least`, unless
    // the stream ends first. The last token of a stream is StreamEnd.
    ScanResult scan_some(TokenList& out, std::size_t at_least = 1);
    bool finished() const { return finished_; }

    bool had_bom() const { return reader_.had_bom(); }
    const std::vector<ScannedComment>& comments() const { return comments_; }
    std::vector<ScannedComment> take_comments() { return std::move(comments_); }

    // The texts the scanner built (owned scalar texts, names, tags,
    // directives). Token texts point into it or into the input.
    Arena& texts() { return texts_; }
    Arena take_texts() { return std::move(texts_); }

    // Room to reserve for the whole token list of the input.
    std::size_t initial_token_capacity() const;

private:
    // Main loop (scanner.cpp).
    ScanResult check_printable() const;
    ScanResult fetch_next_token();
    ScanResult skip_to_next_token(bool& crossed_break);
    bool line_starts_at(std::size_t offset) const;
    bool byte_order_mark_opens_prefix_line() const;
    bool only_blanks_before_on_line() const;
    void skip_comment();
    ScanResult check_line_continues() const;
    ScanResult fetch_mapping_entry(const char* key_needed);
    ScanResult check_continuation_indent(std::size_t line_start, std::int64_t limit, const char* message) const;
    ScanResult fetch_in_flow();
    ScanResult fetch_in_block();
    ScanResult fetch_value();
    ScanResult fetch_key();
    ScanResult fetch_block_entry();
    void fetch_document_start();
    ScanResult fetch_document_end();
    void fetch_directive();
    ScanResult fetch_stream_end();

    // Indentation. Most calls open nothing, so that test is inline.
    ScanResult roll_indent(std::int64_t column, Span span, RawTokenKind kind) {
        if (column <= indent_ && !after_document_start_) return Ok{};
        return open_indent(column, span, kind);
    }
    ScanResult open_indent(std::int64_t column, Span span, RawTokenKind kind);
    ScanResult check_no_tab_before(const Span& start) const;
    void unroll_indent(std::int64_t column);
    void pop_indent();

    // Simple keys. A key that a block mapping needs (`key_needed_`) may
    // not be dropped: dropping it fails with that message.
    void save_simple_key();
    void settle_long_key();
    ScanResult drop_simple_key() {
        key_saved_ = false;
        if (key_needed_ == nullptr) return Ok{};
        const char* message = key_needed_;
        key_needed_ = nullptr;
        return fail(message, key_start_);
    }

    // Token queue. Every token passes through here, so it is inline, and it
    // constructs the token in its slot: one assembled elsewhere and copied
    // in costs a stalled store-to-load forward on every token.
    [[gnu::always_inline]] void queue(RawTokenKind kind, Span span, std::uint64_t end_offset,
                                      std::string_view text = {}, std::uint8_t style = 0, bool ascii = false) {
        const OutputKind out = output_kind(kind);
        const std::uint8_t token_style = kind == RawTokenKind::Scalar ? style : out.style;
        last_kind_ = kind;
        if (!key_saved_ && queue_.empty()) {
            out_->emplace_back(out.kind, token_style, span, end_offset, text, ascii);
            if (kind == RawTokenKind::StreamEnd) finished_ = true;
        } else {
            queue_.emplace_back(out.kind, token_style, span, end_offset, text, ascii);
        }
    }
    void queue_at(std::size_t index, RawTokenKind kind, Span span, std::uint64_t end_offset);
    void emit(TokenList& out);

    // Scalars (scalars.cpp).
    ScanResult scan_plain_scalar();
    ScanResult scan_quoted_scalar(bool double_quoted);
    ScanResult scan_escape(std::string& text, Span quote, std::int64_t block_indent);
    ScanResult scan_hex_escape(int digits, Span quote, char32_t& out);
    ScanResult fold_quoted_line_break(std::string& text, std::size_t kept, std::int64_t block_indent);
    ScanResult skip_quoted_line_breaks(std::int64_t block_indent, std::size_t& empty_lines);
    ScanResult scan_block_scalar(bool literal);
    std::size_t scan_block_scalar_breaks(std::int64_t content_indent);
    bool value_indicator_follows();
    ScanResult queue_implicit_key(const Span& start, std::string_view text, ScalarStyle style,
                                  std::uint64_t end_offset, bool ascii);

    // Flow brackets and node properties (properties.cpp).
    ScanResult fetch_flow_collection_start();
    ScanResult fetch_flow_collection_end();
    ScanResult scan_anchor_or_alias(bool alias);
    ScanResult scan_tag();
    ScanResult check_property_indent();

    ScanError error(std::string message, Span span) const { return ScanError{std::move(message), span}; }
    Err<ScanError> fail(std::string message, Span span) const {
        return Err<ScanError>{error(std::move(message), span)};
    }
    std::string_view keep_text(std::string_view text) { return texts_.copy_text(text); }
    bool in_flow() const { return flow_level_ > 0; }
    // Whether the character `ahead` bytes on (after a ':', '?' or '-') is a
    // blank, a line break, the end, or inside flow collections a flow
    // indicator.
    bool indicator_ends_here(std::size_t ahead) const {
        if (!reader_.has(ahead)) return true;
        const unsigned char next = reader_.byte(ahead);
        return is_blank(next) || is_break(next) || (in_flow() && is_flow_indicator(next));
    }

    Reader reader_;
    Arena texts_;
    // Tokens go straight to the caller's list while no simple key is saved,
    // and wait in `queue_` while one is.
    TokenList* out_ = nullptr;
    TokenList queue_;
    std::string scratch_;

    // The simple-key slot.
    bool key_saved_ = false;
    std::size_t key_token_ = 0;
    Span key_start_;  // the key's first character
    const char* key_needed_ = nullptr;
    bool key_settled_ = false;  // settle_long_key has looked at the saved key

    // The kind of the last token queued at the back (not one inserted for
    // a key).
    RawTokenKind last_kind_ = RawTokenKind::StreamStart;
    // The last line on which a tab was skipped between tokens.
    std::int64_t last_tab_line_ = -1;

    std::int64_t indent_ = -1;
    std::vector<std::int64_t> indents_;
    std::vector<bool> indent_is_sequence_;
    bool sequence_level_ = false;

    std::uint32_t flow_level_ = 0;
    std::vector<bool> flow_is_mapping_;
    std::uint32_t flow_start_line_ = 0;
    std::int64_t flow_base_indent_ = -1;
    std::uint32_t last_flow_node_line_ = 0;
    std::int64_t last_key_line_ = -1;
    std::int64_t last_property_line_ = -1;

    bool key_allowed_ = true;
    bool after_document_start_ = false;
    bool after_block_value_ = false;
    bool entry_has_content_ = false;
    bool needs_separator_ = false;
    bool explicit_key_in_entry_ = false;
    bool adjacent_value_allowed_ = false;
    bool stream_started_ = false;
    bool stream_ended_ = false;
    bool finished_ = false;

    bool collect_comments_ = false;
    std::vector<ScannedComment> comments_;
};

inline constexpr std::uint32_t kMaxFlowDepth = 1000;

// Scans the whole text. On failure every token is dropped.
Result<TokenList, ScanError> tokenize(Scanner& scanner);

}  // namespace quillmere::scanner
