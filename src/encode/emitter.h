// The YAML writer: one Value tree in, YAML text out.
//
// The emitter appends one document to a byte buffer that the caller owns
// (dumps gives it 1024 bytes to start with; it grows geometrically). Block
// collections put each entry on its own line; flow collections, every
// collection under flow_style, and every mapping key are written on the
// current line. With the default configuration
//
//     Mapping{name: "x y", tags: [a, b], "yes": null, note: "one\ntwo\n"}
//
// becomes
//
//     name: x y
//     tags:
//       - a
//       - b
//     "yes":
//     note: |
//       one
//       two
//
// Strings are written plain unless needs_quotes says otherwise; a multi-line
// string that a literal block can carry exactly is written as one, and the
// characters that YAML allows in no file (C0 controls but tab, line feed and
// carriage return; DEL; C1 controls but NEL; U+FFFE; U+FFFF) only as escapes
// in double quotes. With a width, long plain and quoted scalars and flow
// collections are folded at single spaces and separators. Whatever the
// configuration, the text reads back with this engine's decoder (YAML 1.2
// core rules) as the same tree, except where the tree holds what YAML cannot
// say: NaN (never equal to itself), a tag inside a tag (a node has one tag),
// a custom-tagged scalar that is not a string (the tag makes it read back as
// a string), and a tag that has no safe short form (written verbatim, as
// !<...>).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/value.h"

namespace quillmere::encode {

// How Null is written: after "key:" or "-" it is " null", nothing, or " ~";
// in flow collections and at the root it is "null", "null", or "~".
enum class NullStyle : std::uint8_t { Keyword = 0, Empty = 1, Tilde = 2 };

struct EmitterConfig {
    std::uint64_t indent = 2;  // spaces per nesting level; every use takes at least 1
    std::uint64_t width = 0;   // fold lines longer than this; 0 never folds
    NullStyle null_style = NullStyle::Empty;
    bool sort_keys = false;
    bool flow_style = false;  // every collection in brackets and braces
    bool explicit_start = false;
    bool explicit_end = false;
    bool prefer_double_quotes = true;
    bool indentless_sequences = false;  // a sequence under a key starts at the key's column
};

// Appends `root` as one document: "---" first with explicit_start, "..."
// last with explicit_end; the text always ends with a line feed.
void emit_document(std::string& out, const Value& root, const EmitterConfig& config);

// A multi-line string that a literal block scalar reproduces exactly: it
// holds a line feed, no other control character but tab and NEL, no
// U+FFFE or U+FFFF, and its first non-empty line does not start with a
// blank.
bool is_literal_eligible(std::string_view text);

// Appends a pointer to each pair in writing order: stored order, or with
// sort_keys stably by the text of String keys (bytewise, a prefix first;
// other keys sort as the empty text, so they come first).
void ordered_entries(std::span<const Pair> pairs, bool sort_keys, std::vector<const Pair*>& out);

// Appends a tag. A tag that is "!" alone, "!" or "!!" followed by tag
// characters, or a well-formed "!<uri>" is written as it stands; any other
// text is written in the verbatim form "!<...>", with every byte outside
// the URI characters percent-encoded, so that no tag text can end early,
// open structure or name an undeclared handle.
void append_tag(std::string& out, std::string_view tag);

// What a folded text is, which decides where it may break.
enum class FoldStyle : std::uint8_t { Plain, SingleQuoted, DoubleQuoted };

class Emitter {
public:
    // `out` and `config` are borrowed for the emitter's life.
    Emitter(std::string& out, const EmitterConfig& config);

    void emit_document(const Value& root);

    // Writes the value on the current line; `in_flow` tells whether it
    // stands inside a flow collection.
    void emit_flow_value(const Value& value, bool in_flow);
    // Writes what follows "key:" or "-" (no space written yet) and ends its
    // lines. `after_key` is false for a tagged sequence item, whose inner
    // sequence must not start at the item's own column.
    void emit_block_value(const Value& value, std::uint64_t indent, bool after_key = true);
    void emit_block_mapping(std::span<const Pair> pairs, std::uint64_t indent);
    // `indentless`: the sequence stands at the column of its mapping key.
    void emit_block_sequence(std::span<const Value> items, std::uint64_t indent, bool indentless = false);
    // After "|" has its place on the current line; `text` is literal-eligible.
    void emit_literal_block(std::string_view text, std::uint64_t indent);
    // Writes `text` (already escaped for its quotes), breaking at single
    // spaces where the next word would pass the width; continuation lines
    // start at `indent`.
    void fold_quoted(std::string_view text, std::uint64_t indent, FoldStyle style);
    // The "," between flow entries, then a space or a new line at `indent`.
    void write_flow_separator(std::uint64_t indent);

private:
    void emit_string(const Value& value, bool in_flow);
    void emit_quoted(std::string_view text);
    void emit_compact_mapping(std::span<const Pair> pairs, std::uint64_t indent);
    void emit_key(const Value& key, bool in_flow);
    void emit_block_key(const Value& key);
    void emit_tagged_block(const TaggedValue& tagged, std::uint64_t indent, bool after_key);
    void newline();
    void newline_indent(std::uint64_t indent);
    std::uint64_t column() const { return out_.size() - line_start_; }
    std::uint64_t continuation_indent() const;
    bool folding() const { return config_.width != 0 && key_depth_ == 0; }
    // Positions of the pairs of a mapping in writing order; nested mappings
    // stack their orders on the same vector.
    std::size_t push_order(std::span<const Pair> pairs);

    std::string& out_;
    const EmitterConfig& config_;
    const std::uint64_t step_;  // max(indent, 1)
    std::size_t line_start_;    // offset of the current line in out_
    // Lower bound for the base of continuation lines: the column of a
    // compact mapping whose first entry shares the line of its "- ".
    std::uint64_t floor_column_ = 0;
    // Keys being written: an implicit key must stay on one line.
    std::uint32_t key_depth_ = 0;
    // Where the line after the last empty null value of a key starts.
    std::size_t empty_value_end_ = static_cast<std::size_t>(-1);
    std::vector<const Pair*> order_;
    std::string escaped_;
};

}  // namespace quillmere::encode
