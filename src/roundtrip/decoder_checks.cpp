#include "roundtrip/decoder_checks.h"

#include <cstdint>
#include <string_view>
#include <utility>
#include <unordered_map>

#include "common/hash.h"
#include "common/stack_guard.h"
#include "decode/decoder.h"
#include "parse/directives.h"
#include "roundtrip/node_scalar.h"

namespace quillmere::roundtrip {

namespace {

class Counter {
public:
    explicit Counter(resolver::ResolveMode mode) : mode_(mode) {}

    // Counts one document; false at the alias that passes the budget.
    bool document(const YamlNode& root) {
        anchors_.clear();
        return node(root);
    }

    std::optional<DecoderRefusal> refusal;

private:
    bool node(const YamlNode& node) {
        if (node.is(NodeKind::Alias)) return alias(node);
        const std::uint64_t start = made_;
        ++made_;
        if (const auto tag = node.tag_meaning(); tag && is_custom(*tag)) ++made_;
        if (is_merge(node)) ++made_;  // the merge marker is a tag around a string
        if (unreadable(node)) {
            refusal = DecoderRefusal{LocatedError{resolver::invalid_tagged_text_message(*node.tag_meaning(), text_of(node)),
                                                  node.tag_span(), LocatedErrorKind::Parse},
                                     true};
            return false;
        }
        if (node.is(NodeKind::Sequence)) {
            for (const YamlNode& item : node.items()) {
                if (!with_stack_guard([&] { return this->node(item); })) return false;
            }
        } else if (node.is(NodeKind::Mapping)) {
            for (const NodePair& pair : node.pairs()) {
                if (!with_stack_guard([&] { return this->node(pair.key); })) return false;
                if (!with_stack_guard([&] { return this->node(pair.value); })) return false;
            }
        }
        if (const auto& anchor = node.anchor()) anchors_[std::string_view(*anchor)] = made_ - start;
        return true;
    }

    bool alias(const YamlNode& alias) {
        const auto it = anchors_.find(std::string_view(alias.text()));
        if (it == anchors_.end()) return true;  // an unknown alias is the conversion's error
        const std::uint64_t count = it->second;
        expanded_ = count > ~std::uint64_t(0) - expanded_ ? ~std::uint64_t(0) : expanded_ + count;
        if (expanded_ > decode::kAliasNodeBudget) {
            refusal = DecoderRefusal{LocatedError{"document expands to too many nodes (possible alias bomb)",
                                                  alias.span, LocatedErrorKind::Parse},
                                     false};
            return false;
        }
        made_ += count;
        return true;
    }

    // A tag as written that the decoder keeps around its value: not the
    // verbatim form of a standard tag, which is that tag.
    static bool is_custom(std::string_view tag) {
        return parse::is_custom_tag(tag) && resolver::standard_tag_word(tag).empty();
    }

    static std::string_view text_of(const YamlNode& node) {
        return node.is(NodeKind::Scalar) ? std::string_view(node.text()) : std::string_view();
    }

    // A scalar or empty node under a core tag that cannot read its text.
    bool unreadable(const YamlNode& node) const {
        const auto tag = node.tag_meaning();
        if (!tag || is_custom(*tag) || !(node.is(NodeKind::Scalar) || node.is(NodeKind::Null))) return false;
        return resolver::resolve_scalar(mode_, text_of(node), false, *tag).kind == resolver::ResolvedKind::Invalid;
    }

    bool is_merge(const YamlNode& node) const { return is_merge_key(node, mode_); }

    resolver::ResolveMode mode_;
    std::uint64_t made_ = 0;
    std::uint64_t expanded_ = 0;
    std::unordered_map<std::string_view, std::uint64_t, SeededHash, TextEqual> anchors_;
};

}  // namespace

std::optional<DecoderRefusal> first_decoder_refusal(std::span<const YamlNode> roots, resolver::ResolveMode mode) {
    Counter counter(mode);
    for (const YamlNode& root : roots) {
        if (!with_stack_guard([&] { return counter.document(root); })) return std::move(counter.refusal);
    }
    return std::nullopt;
}

}  // namespace quillmere::roundtrip
