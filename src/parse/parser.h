// Parser<Builder>: the YAML grammar over the scanner's tokens, feeding a
// builder that makes the trees.
//
// The parser is the one place that knows how tokens form documents and
// nodes: directives and their placement, tag handles, node properties,
// implicit and explicit keys, the one-pair mappings of flow sequences,
// indentless sequences, anchors and aliases, the nesting limit, and every
// structural error. What a node becomes is the builder's business. The
// plain road's decoder builds Value trees with it; the round-trip composer
// builds YamlNode trees. For
//
//     %TAG !e! tag:x,2024:
//     --- !e!p [x: 1, &a y, *a]
//
// the parser reads the directive, the document start, the tag (split into
// the declared prefix and "p"), the flow sequence with its one-pair
// mapping, the anchor and the alias, and asks the builder, in source order
// and innermost first, for the scalars x and 1, the pair, the scalar y
// with its anchor, the alias of a, the finished sequence with its tag, and
// the document.
//
// The builder is a template argument, so each of its steps is an ordinary
// call that the compiler inlines: the parser costs the decoder next to
// nothing over rules written into it. Nodes are made where they will stay: the parser
// asks the builder for the place of each key, value and item (a slot) and
// has the node made there. A builder provides:
//
//     Node                       the tree node it makes (movable; a default
//                                one is empty and can be made over)
//     Anchor, AnchorMark         what an alias needs of its anchored node,
//                                and what is noted when an anchor is read
//     Collection                 the state of a mapping or sequence being built
//     PairSlot, ItemSlot         where a pair or an item is being made
//     kWantsLayout               whether it reads the indicator and first-token
//                                positions of entries (Entry, Item below)
//     keeps_entry_positions()    whether it reads Entry::at when kWantsLayout
//                                is false (for its own key checks)
//
//     void plain_scalar(token, Node&)               a scalar without properties
//     StepResult scalar(token, props, Node&)        a scalar with properties
//     StepResult empty(token, props, Node&)         properties with no content,
//                                                   positioned at `token`
//     StepResult alias(token, Anchor&, Node&)       an alias of a known anchor
//     void missing(Node&)                           an absent key or value
//     void empty_at(span, Node&)                    an absent entry at `span`
//     void finish_node(Node&, props)                applies the properties
//     AnchorMark anchor_mark()
//     Anchor make_anchor(const Node&, AnchorMark)
//     Collection begin_mapping(token), begin_sequence(token),
//                begin_indentless(first dash token)
//     PairSlot new_pair(Collection&), Node& key_of(slot), Node& value_of(slot)
//     StepResult add_pair(Collection&, PairSlot&, entry)
//     ItemSlot new_item(Collection&), Node& item_of(slot)
//     void add_item(Collection&, ItemSlot&, item), drop_item(Collection&, ItemSlot&)
//     StepResult flow_pair(Node&& key, Node&& value, entry, Node& out)
//     void end_mapping(Collection&, end token or null, Node& out),
//          end_sequence(Collection&, end token or null, Node& out)
//     void directive(token, DirectiveKind)          a %YAML or %TAG line read
//     void expand_tag(TagParts, Properties&)        sets props.expanded
//     void document(Node&&, bool present, "---" token or null)
//
// Every Node& the parser hands over for making is empty.
// Token references handed to the builder are valid only during the call.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "common/hash.h"
#include "common/result.h"
#include "common/stack_guard.h"
#include "model/located_error.h"
#include "parse/directives.h"
#include "parse/token_stream.h"

namespace quillmere::parse {

// Nodes nest at most this deep; the root of a document counts 1.
inline constexpr std::uint32_t kMaxDepth = 1000;

using StepResult = Result<void, LocatedError>;

// The anchor and tag written before a node.
struct Properties {
    std::string_view anchor;    // without "&"
    std::string_view tag;       // as written
    std::string_view expanded;  // set by the builder's expand_tag
    Span tag_span;
    Span start;  // the first property's
    bool has_anchor = false;
    bool has_tag = false;

    bool any() const { return has_anchor || has_tag; }
};

// A mapping entry as written. `at` is the explicit key's "?" or the first
// token of an implicit key. Layout builders also get the ":" and the first
// token of the value (its properties included) when there is a ":".
struct Entry {
    Span at;
    Span indicator;
    Span value_first;
    bool has_indicator = false;
};

// A sequence item as written, for layout builders: for a block entry, its
// "-" and the item's first token (properties included).
struct Item {
    Span dash;
    Span first;
    bool after_dash = false;
};

inline bool is_collection_end(TokenKind kind) {
    return kind == TokenKind::MappingEnd || kind == TokenKind::SequenceEnd || kind == TokenKind::BlockEnd;
}

inline bool ends_document(TokenKind kind) {
    return kind == TokenKind::StreamEnd || kind == TokenKind::DocumentStart || kind == TokenKind::DocumentEnd;
}

template <class Builder>
class Parser {
public:
    using Node = typename Builder::Node;

    Parser(TokenStream& tokens, Builder& builder) : tokens_(tokens), builder_(builder) {}

    // Reads every document of the stream and hands each to the builder.
    StepResult parse_stream();

private:
    // Where a node stands: a sequence entry treats a "- " right after its
    // properties as the next entry, not as a nested sequence.
    enum class Position { Other, SequenceEntry };

    // Each parses the node at the cursor into `out` and tells whether there
    // was one; `out` stays empty for an empty node.
    StepResult parse_node(Position position, Node& out, bool& present);
    StepResult parse_node_body(Position position, Node& out, bool& present);

    // A node where an entry needs one: an empty node is the builder's
    // missing() or, with `empty_at`, its empty_at(). The commonest node, a
    // scalar without properties, is made right here. On failure the error
    // waits in `failure_`.
    [[gnu::always_inline]] void parse_child(Position position, Node& out, const Span* empty_at = nullptr) {
        const Token& token = tokens_.peek();
        if (token.kind == TokenKind::Scalar && depth_ < kMaxDepth) [[likely]] {
            builder_.plain_scalar(token, out);
            tokens_.advance();
            return;
        }
        parse_child_node(position, out, empty_at);
    }
    [[gnu::noinline]] void parse_child_node(Position position, Node& out, const Span* empty_at) {
        bool present = false;
        StepResult step = parse_node(position, out, present);
        if (!step.ok()) {
            failure_ = std::move(step);
            return;
        }
        if (present) return;
        if (empty_at)
            builder_.empty_at(*empty_at, out);
        else
            builder_.missing(out);
    }
    // The value after the ":" under the cursor, noted in `entry`.
    void parse_value(Entry& entry, Node& out, const Span* empty_at) {
        if constexpr (Builder::kWantsLayout) {
            entry.indicator = tokens_.peek().span;
            entry.has_indicator = true;
        }
        tokens_.advance();
        if constexpr (Builder::kWantsLayout) entry.value_first = tokens_.peek().span;
        parse_child(Position::Other, out, empty_at);
    }
    bool failed() const { return !failure_.ok(); }
    StepResult take_failure() { return std::exchange(failure_, StepResult(Ok{})); }

    StepResult parse_alias(const Token& token, Node& out);
    StepResult parse_mapping(const Token& start, Node& out);
    StepResult parse_sequence(const Token& start, Node& out);
    void parse_block_sequence_entry(const Span& dash, Node& out);
    StepResult parse_flow_sequence_entry(Node& out, bool& present);
    StepResult parse_indentless_sequence(const Token& first, Node& out);
    StepResult read_directive_group();
    StepResult read_tag(const Token& token, Properties& props);
    StepResult check_trailing_content();
    void forget_document_state() {
        anchors_.clear();
        directives_.clear();
    }
    static Err<LocatedError> fail(std::string message, Span span) {
        return Err<LocatedError>{LocatedError{std::move(message), span, LocatedErrorKind::Parse}};
    }

    TokenStream& tokens_;
    Builder& builder_;
    std::uint32_t depth_ = 0;
    StepResult failure_ = Ok{};  // the error of a failed parse_child
    DirectiveGroup directives_;
    // The anchors of the current document; a name is known once its node
    // is complete, so an alias inside its own anchored node is unknown.
    std::unordered_map<std::string_view, typename Builder::Anchor, SeededHash, TextEqual> anchors_;
};

template <class Builder>
StepResult Parser<Builder>::parse_stream() {
    static constexpr const char* kMisplacedDirective =
        "a directive must be at the start of the stream or follow a document-end marker (...)";
    bool directives_allowed = true;
    for (;;) {
        const Token token = tokens_.peek();
        switch (token.kind) {
            case TokenKind::StreamStart:
                tokens_.advance();
                break;
            case TokenKind::StreamEnd:
                return Ok{};
            case TokenKind::DocumentEnd:
                tokens_.advance();
                directives_allowed = true;
                break;
            case TokenKind::Directive:
                if (!directives_allowed) return fail(kMisplacedDirective, token.span);
                QM_TRY(read_directive_group());
                if (tokens_.peek().kind != TokenKind::DocumentStart)
                    return fail("directive must be followed by a document start (---)", token.span);
                break;
            case TokenKind::DocumentStart: {
                tokens_.advance();
                // Directives belong before "---", never right after it.
                const Token next = tokens_.peek();
                if (next.kind == TokenKind::Directive) return fail(kMisplacedDirective, next.span);
                Node root{};
                bool present = false;
                QM_TRY(parse_node(Position::Other, root, present));
                builder_.document(std::move(root), present, &token);
                QM_TRY(check_trailing_content());
                forget_document_state();
                if (tokens_.peek().kind == TokenKind::DocumentEnd) {
                    tokens_.advance();
                    directives_allowed = true;
                } else {
                    directives_allowed = false;
                }
                break;
            }
            default: {
                const std::uint64_t before = tokens_.position();
                Node root{};
                bool present = false;
                QM_TRY(parse_node(Position::Other, root, present));
                builder_.document(std::move(root), present, nullptr);
                if (present) QM_TRY(check_trailing_content());
                forget_document_state();
                directives_allowed = false;
                if (tokens_.position() == before) tokens_.advance();
                break;
            }
        }
    }
}

template <class Builder>
StepResult Parser<Builder>::check_trailing_content() {
    const Token& next = tokens_.peek();
    if (ends_document(next.kind) || next.kind == TokenKind::Directive) return Ok{};
    return fail("trailing content after document", next.span);
}

template <class Builder>
StepResult Parser<Builder>::read_directive_group() {
    directives_.seen_yaml = false;
    while (tokens_.peek().kind == TokenKind::Directive) {
        const Token token = tokens_.peek();
        tokens_.advance();
        auto kind = read_directive(token, directives_);
        if (!kind.ok()) return make_err(std::move(kind).error());
        builder_.directive(token, kind.value());
    }
    return Ok{};
}

template <class Builder>
StepResult Parser<Builder>::read_tag(const Token& token, Properties& props) {
    auto parts = split_tag(token, directives_.handles);
    if (!parts.ok()) return make_err(std::move(parts).error());
    props.tag = token.text;
    props.tag_span = token.span;
    props.has_tag = true;
    builder_.expand_tag(parts.value(), props);
    return Ok{};
}

template <class Builder>
StepResult Parser<Builder>::parse_node(Position position, Node& out, bool& present) {
    if (++depth_ > kMaxDepth) {
        --depth_;
        return fail("maximum nesting depth (" + std::to_string(kMaxDepth) + ") exceeded", tokens_.peek().span);
    }
    StepResult result = with_stack_guard([&] { return parse_node_body(position, out, present); });
    --depth_;
    return result;
}

template <class Builder>
StepResult Parser<Builder>::parse_node_body(Position position, Node& node, bool& present) {
    Properties props;
    typename Builder::AnchorMark mark{};
    present = false;
    for (bool done = false; !done;) {
        const Token& token = tokens_.peek();
        if ((token.kind == TokenKind::Anchor || token.kind == TokenKind::Tag) && !props.any()) props.start = token.span;
        if (token.kind == TokenKind::Anchor) {
            if (props.has_anchor) return fail("a node cannot have two anchors", token.span);
            props.anchor = token.text;
            props.has_anchor = true;
            mark = builder_.anchor_mark();
            tokens_.advance();
            continue;
        }
        if (token.kind == TokenKind::Tag) {
            QM_TRY(read_tag(token, props));
            tokens_.advance();
            continue;
        }
        done = true;
        switch (token.kind) {
            case TokenKind::Scalar:
                QM_TRY(builder_.scalar(token, props, node));
                tokens_.advance();
                break;
            case TokenKind::Alias:
                if (props.any()) return fail("an alias node cannot have an anchor or tag", token.span);
                QM_TRY(parse_alias(token, node));
                present = true;
                return Ok{};
            case TokenKind::MappingStart:
                QM_TRY(parse_mapping(token, node));
                break;
            case TokenKind::SequenceStart:
                QM_TRY(parse_sequence(token, node));
                break;
            case TokenKind::BlockEntry:
                if (!(props.any() && position == Position::SequenceEntry)) {
                    QM_TRY(parse_indentless_sequence(token, node));
                    break;
                }
                [[fallthrough]];
            default:
                if (!props.has_tag && (token.kind == TokenKind::StreamStart || token.kind == TokenKind::Directive)) {
                    // Stray: the node after it stands in its place.
                    tokens_.advance();
                    done = false;
                    break;
                }
                // An empty node: with properties it is still a node.
                if (!props.any()) return Ok{};
                QM_TRY(builder_.empty(token, props, node));
                break;
        }
    }
    present = true;
    if (props.any()) {
        builder_.finish_node(node, props);
        if (props.has_anchor) anchors_[props.anchor] = builder_.make_anchor(node, mark);
    }
    return Ok{};
}

template <class Builder>
StepResult Parser<Builder>::parse_alias(const Token& token, Node& out) {
    auto it = anchors_.find(token.text);
    if (it == anchors_.end()) return fail("unknown alias: *" + std::string(token.text), token.span);
    QM_TRY(builder_.alias(token, it->second, out));
    tokens_.advance();
    return Ok{};
}

template <class Builder>
StepResult Parser<Builder>::parse_mapping(const Token& start, Node& out) {
    const bool flow = start.collection_style() == CollectionStyle::Flow;
    typename Builder::Collection mapping = builder_.begin_mapping(start);
    tokens_.advance();
    // The entry's position is kept only where the builder reads it.
    const bool keeps_entries = Builder::kWantsLayout || builder_.keeps_entry_positions();
    const Token* end = nullptr;

    for (;;) {
        const std::uint64_t before = tokens_.position();
        const Token& token = tokens_.peek();
        const TokenKind kind = token.kind;
        if (kind == TokenKind::MappingEnd || kind == TokenKind::BlockEnd) {
            end = &token;
            break;
        }
        if (ends_document(kind)) break;
        if (kind == TokenKind::FlowEntry) {
            tokens_.advance();
            continue;
        }

        Entry entry;
        const bool explicit_key = kind == TokenKind::MappingKey;
        if (explicit_key) {
            if (keeps_entries) entry.at = token.span;
            tokens_.advance();
        } else {
            // An implicit key starts at this token.
            entry.at = token.span;
            if (!flow) {
                std::size_t ahead = 0;
                while (tokens_.peek_kind(ahead) == TokenKind::Anchor || tokens_.peek_kind(ahead) == TokenKind::Tag)
                    ++ahead;
                const Token& first = tokens_.peek(ahead);
                if (((first.kind == TokenKind::MappingStart || first.kind == TokenKind::SequenceStart) &&
                     first.collection_style() == CollectionStyle::Block) ||
                    first.kind == TokenKind::BlockEntry)
                    return fail("a block collection cannot be a mapping key", first.span);
            }
        }
        typename Builder::PairSlot pair = builder_.new_pair(mapping);
        parse_child(Position::Other, builder_.key_of(pair));
        if (failed()) return take_failure();
        if (tokens_.peek_kind() == TokenKind::MappingValue) {
            parse_value(entry, builder_.value_of(pair), nullptr);
            if (failed()) return take_failure();
        } else if (!explicit_key && !flow && kind == TokenKind::Scalar) {
            return fail("expected ':' after mapping key", entry.at);
        } else {
            builder_.missing(builder_.value_of(pair));
        }
        QM_TRY(builder_.add_pair(mapping, pair, entry));
        if (tokens_.position() == before) break;
    }
    builder_.end_mapping(mapping, end, out);
    if (end != nullptr) tokens_.advance();
    return Ok{};
}

template <class Builder>
StepResult Parser<Builder>::parse_sequence(const Token& start, Node& out) {
    const bool flow = start.collection_style() == CollectionStyle::Flow;
    typename Builder::Collection sequence = builder_.begin_sequence(start);
    tokens_.advance();
    const Token* end = nullptr;
    for (;;) {
        const Token& token = tokens_.peek();
        const TokenKind kind = token.kind;
        if (is_collection_end(kind)) {
            end = &token;
            break;
        }
        if (ends_document(kind)) break;
        const std::uint64_t before = tokens_.position();
        const bool separated = kind == TokenKind::BlockEntry || kind == TokenKind::FlowEntry;
        Item item;
        if (Builder::kWantsLayout && kind == TokenKind::BlockEntry) {
            item.dash = token.span;
            item.after_dash = true;
        }
        if (separated) tokens_.advance();
        typename Builder::ItemSlot slot = builder_.new_item(sequence);
        if (flow) {
            bool present = false;
            QM_TRY(parse_flow_sequence_entry(builder_.item_of(slot), present));
            if (present)
                builder_.add_item(sequence, slot, item);
            else
                builder_.drop_item(sequence, slot);
        } else {
            if constexpr (Builder::kWantsLayout) item.first = tokens_.peek().span;
            parse_block_sequence_entry(item.dash, builder_.item_of(slot));
            if (failed()) return take_failure();
            builder_.add_item(sequence, slot, item);
        }
        if (!separated && tokens_.position() == before) break;
    }
    builder_.end_sequence(sequence, end, out);
    if (end != nullptr) tokens_.advance();
    return Ok{};
}

template <class Builder>
void Parser<Builder>::parse_block_sequence_entry(const Span& dash, Node& out) {
    const TokenKind kind = tokens_.peek_kind();
    if (is_collection_end(kind) || kind == TokenKind::BlockEntry) {
        builder_.empty_at(dash, out);
        return;
    }
    parse_child(Position::SequenceEntry, out, &dash);
}

template <class Builder>
StepResult Parser<Builder>::parse_flow_sequence_entry(Node& out, bool& present) {
    const Token& token = tokens_.peek();
    const TokenKind kind = token.kind;
    // A flow entry may be a one-pair mapping: "? a : b" or "a: b". Its key
    // is made where the entry goes and moved into the pair.
    Entry entry;
    if (Builder::kWantsLayout || builder_.keeps_entry_positions()) entry.at = token.span;
    Node key{};
    if (kind == TokenKind::MappingKey) {
        tokens_.advance();
        parse_child(Position::Other, key, &entry.at);
        if (failed()) return take_failure();
    } else if (kind == TokenKind::Scalar && depth_ < kMaxDepth) {
        // The commonest entry, a scalar without properties, made in place.
        builder_.plain_scalar(token, out);
        tokens_.advance();
        present = true;
        if (tokens_.peek_kind() != TokenKind::MappingValue) return Ok{};
        key = std::move(out);
    } else {
        QM_TRY(parse_node(Position::SequenceEntry, out, present));
        if (tokens_.peek_kind() != TokenKind::MappingValue) return Ok{};
        if (present)
            key = std::move(out);
        else
            builder_.empty_at(entry.at, key);
    }
    Node value{};
    if (tokens_.peek_kind() == TokenKind::MappingValue) {
        parse_value(entry, value, &entry.at);
        if (failed()) return take_failure();
    } else {
        builder_.empty_at(entry.at, value);
    }
    QM_TRY(builder_.flow_pair(std::move(key), std::move(value), entry, out));
    present = true;
    return Ok{};
}

template <class Builder>
StepResult Parser<Builder>::parse_indentless_sequence(const Token& first, Node& out) {
    typename Builder::Collection sequence = builder_.begin_indentless(first);
    while (tokens_.peek_kind() == TokenKind::BlockEntry) {
        Item item;
        if constexpr (Builder::kWantsLayout) {
            item.dash = tokens_.peek().span;
            item.after_dash = true;
        }
        tokens_.advance();
        if constexpr (Builder::kWantsLayout) item.first = tokens_.peek().span;
        typename Builder::ItemSlot slot = builder_.new_item(sequence);
        parse_block_sequence_entry(item.dash, builder_.item_of(slot));
        if (failed()) return take_failure();
        builder_.add_item(sequence, slot, item);
    }
    builder_.end_sequence(sequence, nullptr, out);
    return Ok{};
}

}  // namespace quillmere::parse
