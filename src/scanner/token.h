// Positions and the records the scanner produces.
//
// A Span is where something starts: file, line, column (in characters) and
// byte offset, all 0-based. A Token is one scanner output record: its kind,
// its payload (the text of scalars, anchors, aliases, tags and directives, a
// scalar's style, a collection's style), its start Span and its end offset.
// Tokens are small and trivially copyable; their text is a view either into
// the input (a one-line plain scalar) or into the scanner's text arena, which
// the caller keeps alive for as long as it reads the tokens.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "model/span.h"
#include "model/styles.h"

namespace quillmere {

enum class TokenKind : std::uint8_t {
    StreamStart,
    StreamEnd,
    DocumentStart,
    DocumentEnd,
    MappingStart,
    MappingEnd,
    SequenceStart,
    SequenceEnd,
    BlockEnd,
    MappingKey,
    MappingValue,
    BlockEntry,
    FlowEntry,
    Scalar,
    Anchor,
    Alias,
    Tag,
    Directive,
};

// Kinds as the scanner queues them; mapped to TokenKind on output.
enum class RawTokenKind : std::uint8_t {
    StreamStart,
    StreamEnd,
    DocumentStart,
    DocumentEnd,
    Directive,
    BlockMappingStart,
    BlockSequenceStart,
    BlockEnd,
    BlockEntry,
    FlowMappingStart,
    FlowMappingEnd,
    FlowSequenceStart,
    FlowSequenceEnd,
    FlowEntry,
    MappingKey,
    MappingValue,
    Scalar,
    Anchor,
    Alias,
    Tag,
};

struct Token {
    TokenKind kind = TokenKind::StreamStart;
    // ScalarStyle for Scalar, CollectionStyle for MappingStart and
    // SequenceStart, 0 otherwise.
    std::uint8_t style = 0;
    // Scalar: the scanner saw that the text is ASCII (false: not known).
    bool ascii = false;
    Span span;
    std::uint64_t end_offset = 0;
    // Scalar, Anchor, Alias, Tag and Directive: the payload text.
    std::string_view text;

    Token() = default;
    Token(TokenKind kind_, std::uint8_t style_, Span span_, std::uint64_t end_offset_, std::string_view text_,
          bool ascii_ = false)
        : kind(kind_), style(style_), ascii(ascii_), span(span_), end_offset(end_offset_), text(text_) {}

    ScalarStyle scalar_style() const { return static_cast<ScalarStyle>(style); }
    CollectionStyle collection_style() const { return static_cast<CollectionStyle>(style); }
};
static_assert(std::is_trivially_copyable_v<Token>);

struct ScannedComment {
    std::string text;
    Span span;
};

struct ScanError {
    std::string message;
    Span span;
};

const char* token_kind_name(TokenKind kind);

}  // namespace quillmere
