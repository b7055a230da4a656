// The composer: the parser's YamlNode builder.
//
// The grammar is the plain road's (parse/parser.h); this builder keeps
// what the round trip needs and the decoder drops: positions and end
// positions, anchors and tags as written, scalar and collection styles,
// the source of block scalars, the directive lines of each document and
// the blanks after "-" and ":". For
//
//     %YAML 1.2
//     --- &a !t
//     - [x, y]   # c
//
// it gives one root: a block sequence with anchor a, tag !t, the directive
// line "%YAML 1.2" and explicit_start, whose item is a flow sequence with
// value_pad 1 (the blanks after the dash) that ends after its "]";
// comment attachment then gives the item inline "c" and inline_spaces 3.
//
// End positions. A scalar ends where the scanner recorded its end (after
// the closing quote of a quoted scalar, after the last line of a block
// scalar), an alias after its name, a bracketed flow collection after its
// closing bracket, any other collection at the furthest end of its keys,
// values and items, and an empty node at its start; no node ends before
// it starts. Line and column of an end come from the line index, or, for
// an end on the line where the node starts, from counting the code points
// in between.
#include "roundtrip/composer.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "parse/parser.h"
#include "resolver/resolver.h"
#include "roundtrip/comments.h"
#include "roundtrip/line_index.h"
#include "roundtrip/node_ends.h"
#include "scanner/scanner.h"

namespace quillmere::roundtrip {

namespace {

using parse::StepResult;

bool is_block_collection(const YamlNode& node) {
    return (node.is(NodeKind::Mapping) || node.is(NodeKind::Sequence)) && node.style() == CollectionStyle::Block;
}

// Whether a byte offset of `text` falls inside a multi-byte character.
bool splits_character(std::string_view text, std::uint64_t offset) {
    return offset < text.size() && (static_cast<unsigned char>(text[offset]) & 0xC0) == 0x80;
}

// A stack whose elements never move while it grows: a node is made in
// its slot while the nodes below it are being made. Slots are made once
// and reused; a slot handed out is empty, or left empty by a move.
template <class T>
class SlotStack {
public:
    T& push() {
        if (size_ == chunks_.size() * kChunk) chunks_.push_back(std::make_unique<T[]>(kChunk));
        return at(size_++);
    }
    T& at(std::size_t index) { return chunks_[index / kChunk][index % kChunk]; }
    std::size_t size() const { return size_; }
    // Moves the elements from `base` to the top into a list of their own.
    std::vector<T> take_from(std::size_t base) {
        std::vector<T> taken;
        taken.reserve(size_ - base);
        for (std::size_t i = base; i < size_; ++i) taken.push_back(std::move(at(i)));
        size_ = base;
        return taken;
    }
    void pop() { --size_; }

private:
    static constexpr std::size_t kChunk = 256;
    std::vector<std::unique_ptr<T[]>> chunks_;
    std::size_t size_ = 0;
};

// Makes a node in place of the empty one at `out`: `make` returns it.
template <class Make>
YamlNode& make_at(YamlNode& out, Make&& make) {
    std::destroy_at(&out);
    return *::new (&out) YamlNode(make());
}

class Composer {
public:
    using Node = YamlNode;
    struct Anchor {};
    struct AnchorMark {};
    struct Collection {
        std::size_t base;
        Span start;
        CollectionStyle style;
    };
    using PairSlot = NodePair*;
    using ItemSlot = YamlNode*;
    static constexpr bool kWantsLayout = true;

    Composer(std::string_view text, const LineIndex& lines, const ComposeOptions& options, std::vector<YamlNode>& roots)
        : text_(text), lines_(lines), options_(options), roots_(roots) {}

    bool keeps_entry_positions() const { return true; }

    void plain_scalar(const Token& token, YamlNode& out) {
        YamlNode& node = make_at(out, [&] { return YamlNode::scalar(std::string(token.text), token.scalar_style()); });
        node.span = token.span;
        node.in_place = true;
        set_end(node, token.end_offset);
        if (token.scalar_style() == ScalarStyle::Literal || token.scalar_style() == ScalarStyle::Folded) keep_raw(node);
    }

    StepResult scalar(const Token& token, const parse::Properties&, YamlNode& out) {
        plain_scalar(token, out);
        return Ok{};
    }

    StepResult empty(const Token& token, const parse::Properties&, YamlNode& out) {
        empty_at(token.span, out);
        return Ok{};
    }

    StepResult alias(const Token& token, Anchor&, YamlNode& out) {
        YamlNode& node = make_at(out, [&] { return YamlNode::alias(std::string(token.text)); });
        node.span = token.span;
        node.in_place = true;
        set_end(node, token.span.offset + 1 + token.text.size());  // after "*" and the name
        return Ok{};
    }

    // An absent key or value: a Null at position zero.
    void missing(YamlNode& out) {
        make_at(out, [] { return YamlNode::null(); });
    }

    void empty_at(const Span& span, YamlNode& out) {
        YamlNode& node = make_at(out, [] { return YamlNode::null(); });
        node.span = span;
        node.in_place = true;
        set_end(node, span.offset);
    }

    void finish_node(YamlNode& node, const parse::Properties& props) {
        if (props.has_anchor) node.mutable_anchor() = std::string(props.anchor);
        if (props.has_tag) {
            node.mutable_tag() = std::string(props.tag);
            node.set_tag_span(props.tag_span);
            if (!props.expanded.empty()) node.mutable_tag_expansion() = std::string(props.expanded);
        }
        if (props.any()) node.set_properties_offset(props.start.offset);
        if (props.any() && node.is(NodeKind::Null)) node.set_properties_end(properties_end(props));
    }

    // Tags stay as written; the parser has checked their handles. The
    // expansion is kept only where the spelling alone misleads about what
    // the tag names: a core tag written through a handle or verbatim, a
    // "!!" that a %TAG line points elsewhere.
    void expand_tag(const parse::TagParts& parts, parse::Properties& props) {
        std::string expanded(parts.prefix);
        expanded += parts.suffix;
        const bool same = resolver::standard_tag_word(expanded) == resolver::standard_tag_word(props.tag) &&
                          parse::is_custom_tag(expanded) == parse::is_custom_tag(props.tag);
        props.expanded = same ? std::string_view() : std::string_view(expansions_.emplace_back(std::move(expanded)));
    }

    AnchorMark anchor_mark() { return {}; }
    Anchor make_anchor(const YamlNode&, AnchorMark) { return {}; }

    Collection begin_mapping(const Token& start) { return {pairs_.size(), start.span, start.collection_style()}; }
    Collection begin_sequence(const Token& start) { return {items_.size(), start.span, start.collection_style()}; }
    Collection begin_indentless(const Token& dash) { return {items_.size(), dash.span, CollectionStyle::Block}; }

    PairSlot new_pair(Collection&) { return &pairs_.push(); }
    YamlNode& key_of(PairSlot pair) { return pair->key; }
    YamlNode& value_of(PairSlot pair) { return pair->value; }

    StepResult add_pair(Collection&, PairSlot pair, const parse::Entry& entry) {
        if (entry.has_indicator) set_value_pad(pair->value, entry.indicator, entry.value_first);
        return Ok{};
    }

    ItemSlot new_item(Collection&) { return &items_.push(); }
    YamlNode& item_of(ItemSlot item) { return *item; }

    void add_item(Collection&, ItemSlot item, const parse::Item& entry) {
        if (entry.after_dash && entry.first.line == entry.dash.line) {
            if (item->is(NodeKind::Sequence) && item->style() == CollectionStyle::Block)
                item->comments.compact = true;
            else
                set_value_pad(*item, entry.dash, entry.first);
        }
    }

    // An entry that turned out empty gives its slot back; nothing was made
    // in it.
    void drop_item(Collection&, ItemSlot) { items_.pop(); }

    StepResult flow_pair(YamlNode&& key, YamlNode&& value, const parse::Entry& entry, YamlNode& out) {
        if (entry.has_indicator) set_value_pad(value, entry.indicator, entry.value_first);
        std::vector<NodePair> pairs;
        pairs.emplace_back(std::move(key), std::move(value));
        const YamlNode* furthest = further(&pairs[0].key, pairs[0].value);
        YamlNode& node = make_at(out, [&] { return YamlNode::mapping(std::move(pairs), CollectionStyle::Flow); });
        finish_collection(node, Collection{0, entry.at, CollectionStyle::Flow}, nullptr, TokenKind::MappingEnd, furthest);
        return Ok{};
    }

    void end_mapping(Collection& mapping, const Token* end, YamlNode& out) {
        std::vector<NodePair> pairs = pairs_.take_from(mapping.base);
        const YamlNode* furthest = nullptr;
        for (const NodePair& pair : pairs) {
            furthest = further(furthest, pair.key);
            furthest = further(furthest, pair.value);
        }
        YamlNode& node = make_at(out, [&] { return YamlNode::mapping(std::move(pairs), mapping.style); });
        finish_collection(node, mapping, end, TokenKind::MappingEnd, furthest);
    }

    void end_sequence(Collection& sequence, const Token* end, YamlNode& out) {
        std::vector<YamlNode> items = items_.take_from(sequence.base);
        const YamlNode* furthest = nullptr;
        for (const YamlNode& item : items) furthest = further(furthest, item);
        YamlNode& node = make_at(out, [&] { return YamlNode::sequence(std::move(items), sequence.style); });
        finish_collection(node, sequence, end, TokenKind::SequenceEnd, furthest);
    }

    // Directive lines, reserved ones too, with their comments; they go to
    // the next root.
    void directive(const Token& token, parse::DirectiveKind) { directives_.push_back("%" + std::string(token.text)); }

    void document(YamlNode&& root, bool present, const Token* start) {
        if (!present) {
            if (start == nullptr || !options_.keep_empty) {
                directives_.clear();
                return;
            }
            empty_at(start->span, root);
        }
        root.explicit_start = start != nullptr;
        if (!directives_.empty()) root.mutable_directives() = std::move(directives_);
        directives_.clear();
        roots_.push_back(std::move(root));
    }

private:
    static const YamlNode* further(const YamlNode* furthest, const YamlNode& node) {
        return furthest == nullptr || node.end_offset > furthest->end_offset ? &node : furthest;
    }

    static void finish_collection(YamlNode& node, const Collection& collection, const Token* end, TokenKind closing,
                                  const YamlNode* furthest) {
        node.span = collection.start;
        node.in_place = true;
        set_collection_end(node, end, closing, furthest);
    }

    void set_end(YamlNode& node, std::uint64_t end) { roundtrip::set_end(node, end, text_, lines_); }

    // Where the last of the properties ends: their texts are views into
    // the source.
    std::uint64_t properties_end(const parse::Properties& props) const {
        std::uint64_t end = props.start.offset;
        for (std::string_view part : {props.anchor, props.tag}) {
            if (part.empty() || part.data() < text_.data() || part.data() + part.size() > text_.data() + text_.size())
                continue;
            end = std::max<std::uint64_t>(end, static_cast<std::uint64_t>(part.data() + part.size() - text_.data()));
        }
        return end;
    }

    // The source of a block scalar, from its indicator to its end.
    void keep_raw(YamlNode& node) {
        const std::uint64_t start = node.span.offset;
        const std::uint64_t end = node.end_offset;
        if (end <= start || end > text_.size() || splits_character(text_, start) || splits_character(text_, end))
            return;
        node.comments.mutable_raw() = std::string(text_.substr(start, end - start));
    }

    // The blanks between an indicator ("-" or ":") and a node that starts
    // on its line; the node's first token may be a property.
    static void set_value_pad(YamlNode& node, const Span& indicator, const Span& first) {
        if (is_block_collection(node) || node.span.offset < first.offset) return;  // absent, or not inline
        if (first.line != indicator.line || first.column <= indicator.column) return;
        node.comments.value_pad = first.column - indicator.column - 1;
    }

    std::string_view text_;
    const LineIndex& lines_;
    const ComposeOptions& options_;
    std::vector<YamlNode>& roots_;
    std::vector<std::string> directives_;
    std::deque<std::string> expansions_;  // of the tags read so far; stable addresses
    // Children of the collections being built, innermost last.
    SlotStack<YamlNode> items_;
    SlotStack<NodePair> pairs_;
};

}  // namespace

Result<std::vector<YamlNode>, ScanError> compose_text(std::string_view text, const ComposeOptions& options) {
    std::vector<YamlNode> roots;
    scanner::Scanner scanner(text, options.file_id, /*collect_comments=*/true);
    parse::TokenStream tokens(scanner);
    const LineIndex lines = build_line_index(text);
    Composer composer(text, lines, options, roots);
    parse::Parser<Composer> parser(tokens, composer);
    StepResult parsed = parser.parse_stream();
    if (!parsed.ok()) tokens.drain();
    if (tokens.failed()) return make_err(std::move(tokens.error()));
    if (!parsed.ok()) {
        LocatedError& e = parsed.error();
        return make_err(ScanError{std::move(e.message), e.span});
    }
    attach_comments(text, lines, roots, scanner.take_comments());
    if (scanner.had_bom() && !roots.empty()) roots.front().leading_bom = true;
    return roots;
}

}  // namespace quillmere::roundtrip
