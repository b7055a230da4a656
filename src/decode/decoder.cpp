// The document decoder: tokens in, Value trees out.
//
// A recursive descent over the scanner's tokens, one document at a time:
//
//     --- !!map                    DocumentStart Tag MappingStart(Block)
//     a: &x [1, 2]                 MappingKey Scalar MappingValue Anchor SequenceStart ...
//     b: *x                        MappingKey Scalar MappingValue Alias BlockEnd
//
// gives Mapping{a: [1, 2], b: [1, 2]}. Tokens are pulled from the scanner
// as the descent needs them, through a window that is compacted as it is
// consumed, so the token list of a large text never exists at once. A scan
// error counts before any error of the descent, as if the text had been
// tokenized whole first: when the descent fails, the rest of the text is
// still scanned, and a scan error found there is the one reported.
//
// The decoder counts every node it makes, so the node count of an anchored
// value is the difference of the counter across its decoding: anchors know
// their count without a second walk, and an alias costs one charge against
// the stream's expansion budget plus the copy itself.
#include "decode/decoder.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <memory>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "common/hash.h"
#include "common/stack_guard.h"
#include "decode/keys.h"
#include "decode/merge.h"
#include "scanner/scanner.h"
#include "scanner/unicode.h"
#include "scanner/version.h"

namespace quillmere::decode {

namespace {

using resolver::ResolvedKind;
using resolver::ResolveMode;

class TokenStream {
public:
    explicit TokenStream(scanner::Scanner& scanner) : scanner_(scanner) {
        buffer_.reserve(std::min<std::size_t>(scanner.initial_token_capacity(), 2 * kBatch));
    }

    // The token `ahead` places past the cursor; StreamEnd past the end. The
    // reference stays valid until the next call of peek.
    [[gnu::always_inline]] const Token& peek(std::size_t ahead = 0) {
        if (head_ + ahead < buffer_.size()) [[likely]]
            return buffer_[head_ + ahead];
        return peek_slow(ahead);
    }
    TokenKind peek_kind(std::size_t ahead = 0) { return peek(ahead).kind; }
    void advance() {
        if (head_ < buffer_.size()) {
            ++head_;
            ++consumed_;
        }
    }
    // Tokens consumed so far; tells whether a step moved the cursor.
    std::uint64_t position() const { return consumed_; }

    bool failed() const { return failed_; }
    ScanError& error() { return error_; }

    // Scans the rest of the text, so that a later scan error is known.
    void drain() {
        while (!failed_ && !scanner_.finished()) {
            buffer_.clear();
            head_ = 0;
            refill();
        }
    }

private:
    [[gnu::noinline]] const Token& peek_slow(std::size_t ahead) {
        while (head_ + ahead >= buffer_.size())
            if (!refill()) return end_token();
        return buffer_[head_ + ahead];
    }

    bool refill() {
        if (failed_ || scanner_.finished()) return false;
        if (head_ >= 512 && head_ * 2 >= buffer_.size()) {
            buffer_.erase_front(head_);
            head_ = 0;
        }
        auto step = scanner_.scan_some(buffer_, kBatch);
        if (!step.ok()) {
            failed_ = true;
            error_ = std::move(step).error();
            return false;
        }
        return true;
    }

    const Token& end_token() {
        end_.kind = TokenKind::StreamEnd;
        if (failed_) {
            end_.span = error_.span;
        } else if (!buffer_.empty()) {
            end_.span = buffer_.back().span;
        }
        end_.end_offset = end_.span.offset;
        return end_;
    }

    static constexpr std::size_t kBatch = 128;

    scanner::Scanner& scanner_;
    TokenList buffer_;
    std::size_t head_ = 0;
    std::uint64_t consumed_ = 0;
    bool failed_ = false;
    ScanError error_;
    Token end_;
};

// What decoding one node gives: nothing (an empty node) or a value.
struct Node {
    Value value;
    bool present = false;

    static Node none() { return Node{}; }
    static Node of(Value v) { return Node{v, true}; }
};

// Where a node stands: a sequence entry treats a "- " right after its
// properties as the next entry, not as a nested sequence.
enum class Position { Other, SequenceEntry };

using StepResult = Result<void, LocatedError>;

bool is_custom_tag(std::string_view tag) {
    return !(tag.starts_with("!!") || tag.starts_with(resolver::kStandardTagPrefix));
}

// The named handle of a tag ("!e!" of "!e!x"), or empty when there is none.
std::string_view split_tag_handle(std::string_view tag) {
    const std::size_t second = tag.find('!', 1);
    if (second == std::string_view::npos) return {};
    return tag.substr(0, second + 1);
}

bool is_collection_end(TokenKind kind) {
    return kind == TokenKind::MappingEnd || kind == TokenKind::SequenceEnd || kind == TokenKind::BlockEnd;
}

bool ends_document(TokenKind kind) {
    return kind == TokenKind::StreamEnd || kind == TokenKind::DocumentStart || kind == TokenKind::DocumentEnd;
}

class Decoder {
public:
    Decoder(TokenStream& tokens, Arena& arena, const DecodeOptions& options, std::vector<LocatedWarning>& warnings)
        : tokens_(tokens), arena_(arena), options_(options), warnings_(warnings) {}

    // Decodes every document; `has_merge_keys` tells, per document, whether
    // it holds a merge-key marker (only those need the merge pass).
    StepResult decode_stream(std::vector<Value>& documents, std::vector<bool>& has_merge_keys);

private:
    // Each decodes the node at the cursor into `out`, which stays none for
    // an empty node.
    StepResult decode_node(Position position, Node& out);
    StepResult decode_node_body(Position position, Node& out);
    // A node where an entry needs a value: an empty node is Null. The
    // commonest node, a scalar without properties, is made in place and
    // handed back in registers. On failure the error waits in `failure_`
    // and the value is Null.
    [[gnu::always_inline]] Value decode_child(Position position) {
        const Token& token = tokens_.peek();
        if (token.kind == TokenKind::Scalar && depth_ < kMaxDecodeDepth) [[likely]] {
            const Value value = scalar_value(token);
            tokens_.advance();
            return value;
        }
        return decode_child_node(position);
    }
    [[gnu::noinline]] Value decode_child_node(Position position) {
        Node node;
        StepResult step = decode_node(position, node);
        if (!step.ok()) {
            failure_ = std::move(step);
            return Value::null();
        }
        return node.present ? node.value : null_node();
    }
    bool failed() const { return !failure_.ok(); }
    StepResult take_failure() { return std::exchange(failure_, StepResult(Ok{})); }
    // Null standing for an empty node.
    Value null_node() {
        ++nodes_made_;
        return Value::null();
    }
    Value scalar_value(const Token& token);
    // A scalar under a tag. A text that its core tag cannot read leaves its
    // error, located at the tag, in `failure_`.
    Value tagged_scalar_value(const Token& token, std::string_view tag, Span tag_span);
    Value resolved_value(const resolver::ResolvedScalar& scalar, std::string_view text);
    void check_yaml11_reading(const Token& token, const std::optional<std::string_view>& tag);
    StepResult decode_alias(const Token& token, Node& out);
    StepResult decode_mapping(bool flow, Node& out);
    StepResult decode_sequence(bool flow, Node& out);
    Value decode_block_sequence_entry();
    StepResult decode_flow_sequence_entry(Node& out);
    StepResult decode_indentless_sequence(Node& out);
    StepResult insert_mapping_entry(KeySet* seen, const Value& key, const Value& value, Span entry);
    StepResult check_complex_key(const Value& key, Span entry) const;
    StepResult read_directive_group();
    StepResult check_trailing_content();
    Result<std::string_view, LocatedError> expand_tag(const Token& token);
    StepResult charge_alias_expansion(std::uint64_t count, Span at);

    // Moves the children of a finished collection, those above `base` on
    // their stack, into an array of their own in the arena.
    template <class T>
    std::span<T> take_children(std::vector<T>& stack, std::size_t base) {
        const std::size_t n = stack.size() - base;
        T* children = arena_.allocate_array<T>(n);
        std::copy(stack.begin() + static_cast<std::ptrdiff_t>(base), stack.end(), children);
        stack.resize(base);
        return {children, n};
    }
    Value finish_sequence(std::size_t base) {
        const std::span<Value> items = take_children(items_, base);
        return Value::sequence(items.data(), items.size());
    }
    Value finish_mapping(std::size_t base) {
        const std::span<Pair> pairs = take_children(pairs_, base);
        return Value::mapping(pairs.data(), pairs.size());
    }
    bool checks_duplicates() const { return options_.dup_error || options_.dup_warn; }
    Err<LocatedError> fail(std::string message, Span span,
                           LocatedErrorKind kind = LocatedErrorKind::Parse) const {
        return Err<LocatedError>{LocatedError{std::move(message), span, kind}};
    }
    void forget_document_state() {
        anchors_.clear();
        tag_handles_.clear();
    }

    struct Anchor {
        Value value;
        std::uint64_t count;
    };

    TokenStream& tokens_;
    Arena& arena_;
    const DecodeOptions& options_;
    std::vector<LocatedWarning>& warnings_;
    std::uint32_t depth_ = 0;
    std::uint64_t expanded_ = 0;
    std::uint64_t nodes_made_ = 0;  // every node made so far; see decode_node_body
    StepResult failure_ = Ok{};     // the error of a failed decode_child
    bool document_has_merge_keys_ = false;
    std::unordered_map<std::string_view, Anchor, SeededHash, TextEqual> anchors_;
    std::unordered_map<std::string_view, std::string_view, SeededHash, TextEqual> tag_handles_;
    // Children of the collections being decoded, innermost last.
    std::vector<Value> items_;
    std::vector<Pair> pairs_;
};

StepResult Decoder::decode_stream(std::vector<Value>& documents, std::vector<bool>& has_merge_keys) {
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
                if (!directives_allowed)
                    return fail("a directive must be at the start of the stream or follow a document-end marker (...)",
                                token.span);
                QM_TRY(read_directive_group());
                if (tokens_.peek().kind != TokenKind::DocumentStart)
                    return fail("directive must be followed by a document start (---)", token.span);
                break;
            case TokenKind::DocumentStart: {
                tokens_.advance();
                // Directives belong before "---", never right after it.
                const Token next = tokens_.peek();
                if (next.kind == TokenKind::Directive)
                    return fail("a directive must be at the start of the stream or follow a document-end marker (...)",
                                next.span);
                Node node;
                QM_TRY(decode_node(Position::Other, node));
                documents.push_back(node.present ? node.value : Value::null());
                has_merge_keys.push_back(std::exchange(document_has_merge_keys_, false));
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
                Node node;
                QM_TRY(decode_node(Position::Other, node));
                if (node.present) {
                    documents.push_back(node.value);
                    has_merge_keys.push_back(document_has_merge_keys_);
                    QM_TRY(check_trailing_content());
                }
                forget_document_state();
                document_has_merge_keys_ = false;
                directives_allowed = false;
                if (tokens_.position() == before) tokens_.advance();
                break;
            }
        }
    }
}

StepResult Decoder::check_trailing_content() {
    const Token next = tokens_.peek();
    if (next.kind == TokenKind::StreamEnd || next.kind == TokenKind::DocumentStart ||
        next.kind == TokenKind::DocumentEnd || next.kind == TokenKind::Directive)
        return Ok{};
    return fail("trailing content after document", next.span);
}

StepResult Decoder::read_directive_group() {
    bool seen_yaml = false;
    while (tokens_.peek().kind == TokenKind::Directive) {
        const Token token = tokens_.peek();
        tokens_.advance();
        const std::vector<std::string_view> words = scanner::split_words(token.text);
        if (words.empty()) continue;
        if (words[0] == "YAML") {
            // The version is the caller's to use; here it only has to be well formed.
            if (!scanner::read_yaml_directive(std::span(words).subspan(1)).well_formed)
                return fail("invalid %YAML directive", token.span);
            if (seen_yaml) return fail("duplicate %YAML directive", token.span);
            seen_yaml = true;
        } else if (words[0] == "TAG") {
            if (words.size() < 3) continue;
            const std::string_view handle = words[1];
            if (handle.front() != '!' || handle.back() != '!') continue;
            if (!tag_handles_.emplace(handle, words[2]).second)
                return fail("duplicate %TAG directive for handle '" + std::string(handle) + "'", token.span);
        }
    }
    return Ok{};
}

Result<std::string_view, LocatedError> Decoder::expand_tag(const Token& token) {
    const std::string_view tag = token.text;
    if (tag.starts_with("!<")) {
        // A verbatim standard tag is that tag: !<tag:yaml.org,2002:int> is !!int.
        const std::string_view uri = tag.substr(2, tag.size() - 3);
        return uri.starts_with(resolver::kStandardTagPrefix) ? uri : tag;
    }
    auto joined = [&](std::string_view prefix, std::string_view suffix) {
        std::string text;
        text.reserve(prefix.size() + suffix.size());
        text.append(prefix);
        text.append(suffix);
        return arena_.copy_text(text);
    };
    if (tag.starts_with("!!")) {
        auto it = tag_handles_.find(std::string_view("!!"));
        return joined(it != tag_handles_.end() ? it->second : resolver::kStandardTagPrefix, tag.substr(2));
    }
    const std::string_view handle = split_tag_handle(tag);
    if (!handle.empty()) {
        auto it = tag_handles_.find(handle);
        if (it == tag_handles_.end())
            return make_err(LocatedError{"undefined tag handle: " + std::string(handle), token.span,
                                         LocatedErrorKind::Parse});
        return joined(it->second, tag.substr(handle.size()));
    }
    auto it = tag_handles_.find(std::string_view("!"));
    if (it == tag_handles_.end()) return tag;
    return joined(it->second, tag.substr(1));
}

StepResult Decoder::charge_alias_expansion(std::uint64_t count, Span at) {
    expanded_ = count > ~std::uint64_t(0) - expanded_ ? ~std::uint64_t(0) : expanded_ + count;
    if (expanded_ > kAliasNodeBudget) return fail("document expands to too many nodes (possible alias bomb)", at);
    return Ok{};
}

StepResult Decoder::decode_node(Position position, Node& out) {
    if (++depth_ > kMaxDecodeDepth) {
        --depth_;
        return fail("maximum nesting depth (" + std::to_string(kMaxDecodeDepth) + ") exceeded", tokens_.peek().span);
    }
    StepResult result = with_stack_guard([&] { return decode_node_body(position, out); });
    --depth_;
    return result;
}

StepResult Decoder::decode_node_body(Position position, Node& node) {
    std::optional<std::string_view> anchor;
    std::optional<std::string_view> tag;
    Span tag_span;
    std::uint64_t made_before = 0;
    node = Node::none();
    for (bool decoded = false; !decoded;) {
        const Token& token = tokens_.peek();
        if (token.kind == TokenKind::Anchor) {
            if (anchor) return fail("a node cannot have two anchors", token.span);
            anchor = token.text;
            made_before = nodes_made_;
            tokens_.advance();
            continue;
        }
        if (token.kind == TokenKind::Tag) {
            auto expanded = expand_tag(token);
            if (!expanded.ok()) return make_err(std::move(expanded).error());
            tag = expanded.value();
            tag_span = token.span;
            tokens_.advance();
            continue;
        }
        const bool has_properties = anchor || tag;
        decoded = true;
        switch (token.kind) {
            case TokenKind::Scalar:
                if (tag) {
                    node = Node::of(tagged_scalar_value(token, *tag, tag_span));
                    if (failed()) return take_failure();
                } else {
                    node = Node::of(scalar_value(token));
                }
                tokens_.advance();
                break;
            case TokenKind::Alias:
                if (has_properties) return fail("an alias node cannot have an anchor or tag", token.span);
                return decode_alias(token, node);
            case TokenKind::MappingStart:
                QM_TRY(decode_mapping(token.collection_style() == CollectionStyle::Flow, node));
                break;
            case TokenKind::SequenceStart:
                QM_TRY(decode_sequence(token.collection_style() == CollectionStyle::Flow, node));
                break;
            case TokenKind::BlockEntry:
                if (!(has_properties && position == Position::SequenceEntry)) {
                    QM_TRY(decode_indentless_sequence(node));
                    break;
                }
                [[fallthrough]];
            default:
                if (tag) {
                    // An empty node under a tag is the empty text resolved by it.
                    Token empty = token;
                    empty.text = {};
                    empty.style = static_cast<std::uint8_t>(ScalarStyle::Plain);
                    node = Node::of(tagged_scalar_value(empty, *tag, tag_span));
                    if (failed()) return take_failure();
                    break;
                }
                if (token.kind == TokenKind::StreamStart || token.kind == TokenKind::Directive) {
                    // Stray: the node after it stands in its place.
                    tokens_.advance();
                    decoded = false;
                    break;
                }
                // An empty node; with an anchor it is still an entry.
                if (!anchor) return Ok{};
                node = Node::of(null_node());
                break;
        }
    }

    if (tag && is_custom_tag(*tag)) {
        node = Node::of(Value::tagged(*tag, node.value, arena_));
        ++nodes_made_;
    }
    if (anchor) {
        const std::uint64_t count = nodes_made_ - made_before;
        assert(count == count_nodes(node.value));
        anchors_[*anchor] = Anchor{node.value, count};
    }
    return Ok{};
}

void Decoder::check_yaml11_reading(const Token& token, const std::optional<std::string_view>& tag) {
    const bool quoted = token.scalar_style() != ScalarStyle::Plain;
    if (auto diff = resolver::resolution_difference(options_.mode, token.text, quoted, tag)) {
        warnings_.push_back(LocatedWarning{WarningKind::Yaml11Reading, token.span, Value::null(),
                                           {token.text, diff->first, diff->second}});
    }
}

Value Decoder::resolved_value(const resolver::ResolvedScalar& scalar, std::string_view text) {
    switch (scalar.kind) {
        case ResolvedKind::Null: return Value::null();
        case ResolvedKind::Bool: return Value::boolean(scalar.boolean);
        case ResolvedKind::Int: return Value::integer(scalar.integer);
        case ResolvedKind::BigInt: return Value::big_int(text, arena_);
        case ResolvedKind::Float: return Value::floating(scalar.number);
        case ResolvedKind::Str:
        case ResolvedKind::Invalid: return Value::string(text, arena_);
        case ResolvedKind::Merge:
            document_has_merge_keys_ = true;
            ++nodes_made_;  // the marker is a tag around a string
            return make_merge_marker(arena_);
    }
    return Value::string(text, arena_);
}

Value Decoder::scalar_value(const Token& token) {
    if (options_.yaml11_warn) [[unlikely]]
        check_yaml11_reading(token, std::nullopt);
    ++nodes_made_;
    const bool quoted = token.scalar_style() != ScalarStyle::Plain;
    return resolved_value(resolver::resolve_scalar(options_.mode, token.text, quoted, std::nullopt), token.text);
}

Value Decoder::tagged_scalar_value(const Token& token, std::string_view tag, Span tag_span) {
    if (options_.yaml11_warn) [[unlikely]]
        check_yaml11_reading(token, tag);
    ++nodes_made_;
    const std::string_view text = token.text;
    const resolver::ResolvedScalar scalar = resolver::resolve_scalar(options_.mode, text, false, tag);
    if (scalar.kind == ResolvedKind::Invalid) {
        failure_ = fail(resolver::invalid_tagged_text_message(tag, text), tag_span);
        return Value::null();
    }
    if (scalar.kind == ResolvedKind::BigInt) {
        std::string storage;
        const std::string_view digits = resolver::tagged_big_integer_text(options_.mode, text, storage);
        return Value::big_int(storage.empty() ? digits : arena_.copy_text(digits), arena_);
    }
    return resolved_value(scalar, text);
}

StepResult Decoder::decode_alias(const Token& token, Node& out) {
    auto it = anchors_.find(token.text);
    if (it == anchors_.end()) return fail("unknown alias: *" + std::string(token.text), token.span);
    QM_TRY(charge_alias_expansion(it->second.count, token.span));
    tokens_.advance();
    nodes_made_ += it->second.count;
    out = Node::of(deep_copy(it->second.value, arena_));
    return Ok{};
}

StepResult Decoder::check_complex_key(const Value& key, Span entry) const {
    if (key.is(ValueKind::Sequence))
        return fail("complex mapping key (a sequence used as a key)", entry, LocatedErrorKind::ComplexKey);
    if (key.is(ValueKind::Mapping))
        return fail("complex mapping key (a mapping used as a key)", entry, LocatedErrorKind::ComplexKey);
    return Ok{};
}

StepResult Decoder::insert_mapping_entry(KeySet* seen, const Value& key, const Value& value, Span entry) {
    if (!is_merge_marker(key) && !seen->insert(key)) {
        if (options_.dup_error)
            return fail("duplicate mapping key: " + key_display_text(key), entry, LocatedErrorKind::DuplicateKey);
        warnings_.push_back(LocatedWarning{WarningKind::DuplicateKey, entry, key, {}});
    }
    pairs_.push_back(Pair{key, value});
    return Ok{};
}

StepResult Decoder::decode_mapping(bool flow, Node& out) {
    tokens_.advance();  // MappingStart
    ++nodes_made_;
    const std::size_t base = pairs_.size();
    std::unique_ptr<KeySet> seen;
    if (checks_duplicates()) seen = std::make_unique<KeySet>();
    // The entry's position is kept only where a check may report it.
    const bool checks_keys = seen || options_.reject_complex;

    for (;;) {
        const std::uint64_t before = tokens_.position();
        const Token& token = tokens_.peek();
        const TokenKind kind = token.kind;
        if (kind == TokenKind::MappingEnd || kind == TokenKind::BlockEnd) {
            tokens_.advance();
            break;
        }
        if (ends_document(kind)) break;
        if (kind == TokenKind::FlowEntry) {
            tokens_.advance();
            continue;
        }

        Span entry;
        const bool explicit_key = kind == TokenKind::MappingKey;
        if (explicit_key) {
            if (checks_keys) entry = token.span;
            tokens_.advance();
        } else {
            // An implicit key starts at this token.
            entry = token.span;
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
        const Value key = decode_child(Position::Other);
        if (failed()) return take_failure();
        Value value;
        if (tokens_.peek_kind() == TokenKind::MappingValue) {
            tokens_.advance();
            value = decode_child(Position::Other);
            if (failed()) return take_failure();
        } else if (!explicit_key && !flow && kind == TokenKind::Scalar) {
            return fail("expected ':' after mapping key", entry);
        } else {
            value = null_node();
        }
        if (options_.reject_complex) QM_TRY(check_complex_key(key, entry));
        if (seen)
            QM_TRY(insert_mapping_entry(seen.get(), key, value, entry));
        else
            pairs_.emplace_back(key, value);  // built in its slot: no stack copy to read back
        if (tokens_.position() == before) break;
    }
    out = Node::of(finish_mapping(base));
    return Ok{};
}

StepResult Decoder::decode_sequence(bool flow, Node& out) {
    tokens_.advance();  // SequenceStart
    ++nodes_made_;
    const std::size_t base = items_.size();
    for (;;) {
        const TokenKind kind = tokens_.peek_kind();
        if (is_collection_end(kind)) {
            tokens_.advance();
            break;
        }
        if (ends_document(kind)) break;
        const std::uint64_t before = tokens_.position();
        const bool separated = kind == TokenKind::BlockEntry || kind == TokenKind::FlowEntry;
        if (separated) tokens_.advance();
        if (flow) {
            Node entry;
            QM_TRY(decode_flow_sequence_entry(entry));
            if (entry.present) items_.push_back(entry.value);
        } else {
            const Value entry = decode_block_sequence_entry();
            if (failed()) return take_failure();
            items_.emplace_back(entry);
        }
        if (!separated && tokens_.position() == before) break;
    }
    out = Node::of(finish_sequence(base));
    return Ok{};
}

Value Decoder::decode_block_sequence_entry() {
    const TokenKind kind = tokens_.peek_kind();
    if (is_collection_end(kind) || kind == TokenKind::BlockEntry) return null_node();
    return decode_child(Position::SequenceEntry);
}

StepResult Decoder::decode_flow_sequence_entry(Node& out) {
    const Token& token = tokens_.peek();
    const TokenKind kind = token.kind;
    const Span entry = options_.reject_complex ? token.span : Span{};
    // A flow entry may be a one-pair mapping: "? a : b" or "a: b".
    Value key;
    if (kind == TokenKind::MappingKey) {
        tokens_.advance();
        ++nodes_made_;  // the mapping
        key = decode_child(Position::Other);
        if (failed()) return take_failure();
    } else if (kind == TokenKind::Scalar && depth_ < kMaxDecodeDepth) {
        // The commonest entry, a scalar without properties, made in place.
        key = scalar_value(token);
        tokens_.advance();
        if (tokens_.peek_kind() != TokenKind::MappingValue) {
            out = Node::of(key);
            return Ok{};
        }
        ++nodes_made_;  // the mapping
    } else {
        QM_TRY(decode_node(Position::SequenceEntry, out));
        if (tokens_.peek_kind() != TokenKind::MappingValue) return Ok{};
        ++nodes_made_;  // the mapping
        key = out.present ? out.value : null_node();
    }
    Value value;
    if (tokens_.peek_kind() == TokenKind::MappingValue) {
        tokens_.advance();
        value = decode_child(Position::Other);
        if (failed()) return take_failure();
    } else {
        value = null_node();
    }
    if (options_.reject_complex) QM_TRY(check_complex_key(key, entry));
    Pair* pair = arena_.allocate_array<Pair>(1);
    pair->key = key;
    pair->value = value;
    out = Node::of(Value::mapping(pair, 1));
    return Ok{};
}

StepResult Decoder::decode_indentless_sequence(Node& out) {
    ++nodes_made_;
    const std::size_t base = items_.size();
    while (tokens_.peek_kind() == TokenKind::BlockEntry) {
        tokens_.advance();
        const Value entry = decode_block_sequence_entry();
        if (failed()) return take_failure();
        items_.push_back(entry);
    }
    out = Node::of(finish_sequence(base));
    return Ok{};
}

}  // namespace

Result<Documents, LocatedError> decode_documents(std::string_view text, const DecodeOptions& options) {
    Documents out;
    scanner::Scanner scanner(text);
    TokenStream tokens(scanner);
    Decoder decoder(tokens, out.arena, options, out.warnings);
    std::vector<bool> has_merge_keys;
    StepResult decoded = decoder.decode_stream(out.documents, has_merge_keys);
    if (!decoded.ok()) tokens.drain();
    if (tokens.failed()) {
        ScanError& e = tokens.error();
        return make_err(LocatedError{std::move(e.message), e.span, LocatedErrorKind::Parse});
    }
    if (!decoded.ok()) return make_err(std::move(decoded).error());
    for (std::size_t i = 0; i < out.documents.size(); ++i)
        if (has_merge_keys[i]) with_stack_guard([&] { resolve_merge_keys(out.documents[i], out.arena); });
    out.texts = scanner.take_texts();
    return out;
}

}  // namespace quillmere::decode
