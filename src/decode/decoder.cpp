// The document decoder: the parser's Value builder.
//
// The parser (parse/parser.h) reads the grammar; this builder makes the
// Value trees of the plain road:
//
//     --- !!map                    DocumentStart Tag MappingStart(Block)
//     a: &x [1, 2]                 MappingKey Scalar MappingValue Anchor SequenceStart ...
//     b: *x                        MappingKey Scalar MappingValue Alias BlockEnd
//
// gives Mapping{a: [1, 2], b: [1, 2]}. Scalars are resolved under the
// caller's rule set and their tags, custom tags wrap their values, aliases
// are copied under the stream's node budget, the duplicate-key and
// complex-key policies are applied, and merge keys are carried out once a
// document is complete. A scan error counts before any error of the
// descent, as if the text had been tokenized whole first: when the descent
// fails, the rest of the text is still scanned, and a scan error found
// there is the one reported.
//
// The builder counts every node it makes, so the node count of an anchored
// value is the difference of the counter across its building: anchors know
// their count without a second walk, and an alias costs one charge against
// the stream's expansion budget plus the copy itself.
#include "decode/decoder.h"

#include <algorithm>
#include <cassert>
#include <memory>
#include <optional>
#include <span>
#include <utility>

#include "common/stack_guard.h"
#include "decode/child_stack.h"
#include "decode/key_ids.h"
#include "decode/key_set.h"
#include "decode/keys.h"
#include "decode/merge.h"
#include "parse/parser.h"
#include "scanner/scanner.h"

namespace quillmere::decode {

static_assert(kMaxDecodeDepth == parse::kMaxDepth);

namespace {

using parse::StepResult;
using resolver::ResolvedKind;

class ValueBuilder {
public:
    using Node = Value;
    struct Anchor {
        Value value;
        std::uint64_t count;
    };
    using AnchorMark = std::uint64_t;
    struct Collection {
        std::size_t base;
        std::unique_ptr<KeySet> seen;  // the keys so far, when a policy looks at repeats
    };
    // Pairs and items are made in the parser's frame and copied onto the
    // stacks when complete.
    struct PairSlot {
        Value key;
        Value value;
    };
    using ItemSlot = Value;
    static constexpr bool kWantsLayout = false;

    ValueBuilder(Arena& arena, const DecodeOptions& options, std::vector<Value>& documents,
                 std::vector<bool>& has_merge_keys, std::vector<LocatedWarning>& warnings)
        : kept_(arena),
          arena_(&arena),
          options_(options),
          documents_(documents),
          has_merge_keys_(has_merge_keys),
          warnings_(warnings) {
        if (options.for_python) key_ids_.emplace();
    }

    // The entry's position is kept only where a check may report it.
    bool keeps_entry_positions() const { return checks_duplicates() || options_.reject_complex; }

    // A scalar without properties; made in registers and stored once.
    [[gnu::always_inline]] void plain_scalar(const Token& token, Value& out) { out = scalar_value(token); }

    StepResult scalar(const Token& token, const parse::Properties& props, Value& out) {
        if (!props.has_tag) {
            plain_scalar(token, out);
            return Ok{};
        }
        return tagged_scalar(token, props, out);
    }

    // Properties with no content: an empty text under a tag is what the tag
    // reads it as; an anchor alone gives Null.
    StepResult empty(const Token& token, const parse::Properties& props, Value& out) {
        if (!props.has_tag) {
            missing(out);
            return Ok{};
        }
        Token empty = token;
        empty.text = {};
        empty.style = static_cast<std::uint8_t>(ScalarStyle::Plain);
        return tagged_scalar(empty, props, out);
    }

    StepResult alias(const Token& token, Anchor& anchor, Value& out) {
        QM_TRY(charge_alias_expansion(anchor.count, token.span));
        nodes_made_ += anchor.count;
        out = options_.copy_aliases ? deep_copy(anchor.value, *arena_) : stand_in(anchor.value);
        return Ok{};
    }

    // Null standing for an empty node.
    void missing(Value& out) {
        ++nodes_made_;
        out = Value::null();
    }
    void empty_at(const Span&, Value& out) { missing(out); }

    // A custom tag wraps the value; a core tag on a collection is dropped.
    void finish_node(Value& value, const parse::Properties& props) {
        if (props.has_tag && parse::is_custom_tag(props.expanded)) {
            value = Value::tagged(props.expanded, value, *arena_);
            ++nodes_made_;
        }
    }

    void expand_tag(const parse::TagParts& parts, parse::Properties& props) {
        if (parts.prefix.empty()) {
            props.expanded = parts.suffix;
            return;
        }
        std::string text;
        text.reserve(parts.prefix.size() + parts.suffix.size());
        text.append(parts.prefix);
        text.append(parts.suffix);
        props.expanded = arena_->copy_text(text);
    }

    AnchorMark anchor_mark() const { return nodes_made_; }
    Anchor make_anchor(const Value& value, AnchorMark mark) const {
        const std::uint64_t count = nodes_made_ - mark;
        assert(!options_.copy_aliases || count == count_nodes(value));  // stand-ins are smaller
        return Anchor{value, count};
    }

    Collection begin_mapping(const Token&) {
        ++nodes_made_;
        return Collection{pairs_.size(), checks_duplicates() ? std::make_unique<KeySet>() : nullptr};
    }
    Collection begin_sequence(const Token&) {
        ++nodes_made_;
        return Collection{items_.size(), nullptr};
    }
    Collection begin_indentless(const Token& dash) { return begin_sequence(dash); }

    PairSlot new_pair(Collection&) { return PairSlot{}; }
    Value& key_of(PairSlot& pair) { return pair.key; }
    Value& value_of(PairSlot& pair) { return pair.value; }

    StepResult add_pair(Collection& mapping, PairSlot& pair, const parse::Entry& entry) {
        number_key(pair.key);
        if (options_.reject_complex) QM_TRY(check_complex_key(pair.key, entry.at));
        if (mapping.seen) return insert_mapping_entry(*mapping.seen, pair.key, pair.value, entry.at);
        pairs_.emplace_back(pair.key, pair.value);  // built in its slot: no stack copy to read back
        return Ok{};
    }

    ItemSlot new_item(Collection&) { return Value{}; }
    Value& item_of(ItemSlot& item) { return item; }
    void add_item(Collection&, ItemSlot& item, const parse::Item&) { items_.push_back(item); }
    void drop_item(Collection&, ItemSlot&) {}

    // A flow sequence item written as a key and a value.
    StepResult flow_pair(Value&& key, Value&& value, const parse::Entry& entry, Value& out) {
        ++nodes_made_;
        number_key(key);
        if (options_.reject_complex) QM_TRY(check_complex_key(key, entry.at));
        Pair* pair = arena_->allocate_array<Pair>(1);
        pair->key = key;
        pair->value = value;
        out = Value::mapping(pair, 1);
        return Ok{};
    }

    void end_mapping(Collection& mapping, const Token*, Value& out) {
        const std::span<Pair> pairs = pairs_.move_out(mapping.base, *arena_);
        out = Value::mapping(pairs.data(), pairs.size());
    }
    void end_sequence(Collection& sequence, const Token*, Value& out) {
        const std::span<Value> items = items_.move_out(sequence.base, *arena_);
        out = Value::sequence(items.data(), items.size());
    }

    void directive(const Token&, parse::DirectiveKind) {}

    std::uint32_t key_ids() const { return key_ids_ ? key_ids_->count() : 0; }

    // An explicit document is there even when empty; a bare one only with
    // a node.
    //
    // With `first_document_only`, the documents after the first are built
    // and checked like it, then freed: the keys of their warnings are
    // copied into the kept trees first.
    void document(Value&& root, bool present, const Token* start) {
        if (present || start != nullptr) {
            if (options_.first_document_only && !documents_.empty()) {
                for (std::size_t i = warnings_seen_; i < warnings_.size(); ++i)
                    warnings_[i].key = deep_copy(warnings_[i].key, kept_);
                dropped_ = Arena();
            } else {
                documents_.push_back(present ? root : Value::null());
                has_merge_keys_.push_back(document_has_merge_keys_);
                if (options_.first_document_only) arena_ = &dropped_;
            }
        }
        warnings_seen_ = warnings_.size();
        document_has_merge_keys_ = false;
    }

private:
    // What an alias stands as when values are not kept: the shape of its
    // anchored value (which a complex-key check reads) with nothing inside.
    Value stand_in(const Value& value) {
        switch (value.kind()) {
            case ValueKind::Sequence:
                return Value::sequence(nullptr, 0);
            case ValueKind::Mapping:
                return Value::mapping(nullptr, 0);
            case ValueKind::Tagged:
                return Value::tagged(value.tagged_value().tag, stand_in(value.tagged_value().inner), *arena_);
            default:
                return value;  // a scalar: its text is shared, never changed
        }
    }

    // Keys are numbered as they are added, while their text is still in
    // cache; a key copied for an alias or a merge keeps its id. The keys
    // of a document that is not kept are never converted: they get none.
    void number_key(Value& key) {
        if (key_ids_ && arena_ == &kept_ && key.is(ValueKind::String)) key.set_key_id(key_ids_->id_of(key.text()));
    }

    Value scalar_value(const Token& token) {
        if (options_.yaml11_warn) [[unlikely]]
            check_yaml11_reading(token, std::nullopt);
        ++nodes_made_;
        const bool quoted = token.scalar_style() != ScalarStyle::Plain;
        return resolved_value(resolver::resolve_scalar(options_.mode, token.text, quoted, std::nullopt), token);
    }

    // A scalar under a tag; a text that its core tag cannot read is an
    // error at the tag.
    StepResult tagged_scalar(const Token& token, const parse::Properties& props, Value& out) {
        if (options_.yaml11_warn) [[unlikely]]
            check_yaml11_reading(token, props.expanded);
        ++nodes_made_;
        const std::string_view text = token.text;
        const resolver::ResolvedScalar scalar = resolver::resolve_scalar(options_.mode, text, false, props.expanded);
        if (scalar.kind == ResolvedKind::Invalid)
            return fail(resolver::invalid_tagged_text_message(props.expanded, text), props.tag_span);
        out = resolved_value(scalar, token);
        return Ok{};
    }

    Value resolved_value(const resolver::ResolvedScalar& scalar, const Token& token) {
        const std::string_view text = token.text;
        switch (scalar.kind) {
            case ResolvedKind::Null: return Value::null();
            case ResolvedKind::Bool: return Value::boolean(scalar.boolean);
            case ResolvedKind::Int: return Value::integer(scalar.integer);
            case ResolvedKind::BigInt: return big_int_value(text);
            case ResolvedKind::Float: return Value::floating(scalar.number);
            case ResolvedKind::Str:
            case ResolvedKind::Invalid: return string_value(token);
            case ResolvedKind::Merge:
                document_has_merge_keys_ = true;
                ++nodes_made_;  // the marker is a tag around a string
                return make_merge_marker(*arena_);
        }
        return string_value(token);
    }

    // A BigInt keeps its decimal text: the text itself, or the digits of a
    // number written in another base, copied into the arena.
    Value big_int_value(std::string_view text) {
        std::string storage;
        const std::string_view digits = resolver::big_integer_text(options_.mode, text, storage);
        return Value::big_int(storage.empty() ? digits : arena_->copy_text(digits), *arena_);
    }

    Value string_value(const Token& token) {
        Value value = Value::string(token.text, *arena_);
        value.note_ascii_text(token.ascii);
        return value;
    }

    void check_yaml11_reading(const Token& token, const std::optional<std::string_view>& tag) {
        const bool quoted = token.scalar_style() != ScalarStyle::Plain;
        if (auto diff = resolver::resolution_difference(options_.mode, token.text, quoted, tag)) {
            warnings_.push_back(LocatedWarning{WarningKind::Yaml11Reading, token.span, Value::null(),
                                               {token.text, diff->first, diff->second}});
        }
    }

    StepResult charge_alias_expansion(std::uint64_t count, Span at) {
        expanded_ = count > ~std::uint64_t(0) - expanded_ ? ~std::uint64_t(0) : expanded_ + count;
        if (expanded_ > kAliasNodeBudget) return fail("document expands to too many nodes (possible alias bomb)", at);
        return Ok{};
    }

    StepResult check_complex_key(const Value& key, Span entry) const {
        if (key.is(ValueKind::Sequence))
            return fail("complex mapping key (a sequence used as a key)", entry, LocatedErrorKind::ComplexKey);
        if (key.is(ValueKind::Mapping))
            return fail("complex mapping key (a mapping used as a key)", entry, LocatedErrorKind::ComplexKey);
        return Ok{};
    }

    StepResult insert_mapping_entry(KeySet& seen, const Value& key, const Value& value, Span entry) {
        if (!is_merge_marker(key) && !seen.insert(key)) {
            if (options_.dup_error)
                return fail("duplicate mapping key: " + key_display_text(key), entry, LocatedErrorKind::DuplicateKey);
            warnings_.push_back(LocatedWarning{WarningKind::DuplicateKey, entry, key, {}});
        }
        pairs_.push_back(Pair{key, value});
        return Ok{};
    }

    bool checks_duplicates() const { return options_.dup_error || options_.dup_warn; }
    static Err<LocatedError> fail(std::string message, Span span, LocatedErrorKind kind = LocatedErrorKind::Parse) {
        return Err<LocatedError>{LocatedError{std::move(message), span, kind}};
    }

    Arena& kept_;    // the trees of the documents kept
    Arena* arena_;  // where nodes go: `kept_`, or `dropped_`
    // The trees of documents that are checked but not kept, freed as each
    // one ends.
    Arena dropped_;
    std::size_t warnings_seen_ = 0;  // the warnings of documents already ended
    const DecodeOptions& options_;
    std::optional<KeyIds> key_ids_;  // with for_python
    std::vector<Value>& documents_;
    std::vector<bool>& has_merge_keys_;
    std::vector<LocatedWarning>& warnings_;
    std::uint64_t expanded_ = 0;
    std::uint64_t nodes_made_ = 0;  // every node made so far
    bool document_has_merge_keys_ = false;
    // Children of the collections being built, innermost last.
    ChildStack<Value> items_;
    ChildStack<Pair> pairs_;
};

}  // namespace

Result<Documents, LocatedError> decode_documents(std::string_view text, const DecodeOptions& options) {
    Documents out;
    scanner::Scanner scanner(text);
    parse::TokenStream tokens(scanner);
    // Per document, whether it holds a merge-key marker: only those need
    // the merge pass.
    std::vector<bool> has_merge_keys;
    ValueBuilder builder(out.arena, options, out.documents, has_merge_keys, out.warnings);
    parse::Parser<ValueBuilder> parser(tokens, builder);
    StepResult decoded = parser.parse_stream();
    if (!decoded.ok()) tokens.drain();
    if (tokens.failed()) {
        ScanError& e = tokens.error();
        return make_err(LocatedError{std::move(e.message), e.span, LocatedErrorKind::Parse});
    }
    if (!decoded.ok()) return make_err(std::move(decoded).error());
    for (std::size_t i = 0; i < out.documents.size(); ++i)
        if (has_merge_keys[i]) with_stack_guard([&] { resolve_merge_keys(out.documents[i], out.arena); });
    out.texts = scanner.take_texts();
    out.key_ids = builder.key_ids();
    return out;
}

}  // namespace quillmere::decode
