// The composer and the decoder read the same grammar: for every conformance
// case and corpus file that the plain road loads, the composed trees,
// converted with the resolver's rules (tags expanded by the document's
// handles, custom tags kept, aliases copied, merge keys carried out), give
// exactly the decoder's documents, in both rule sets.
#include <gtest/gtest.h>

#include <map>

#include "corpus_files.h"
#include "decode/decoder.h"
#include "decode/merge.h"
#include "parse/directives.h"
#include "resolver/resolver.h"
#include "roundtrip/composer.h"
#include "support/suite.h"
#include "support/value_text.h"

namespace quillmere::testing {
namespace {

using roundtrip::NodeKind;
using roundtrip::YamlNode;

class TreeToValue {
public:
    TreeToValue(Arena& arena, resolver::ResolveMode mode, const YamlNode& root) : arena_(arena), mode_(mode) {
        for (const std::string& line : root.directives()) {
            Token token;
            token.kind = TokenKind::Directive;
            token.text = std::string_view(line).substr(1);
            EXPECT_TRUE(parse::read_directive(token, group_).ok());
        }
    }

    Value convert(const YamlNode& node) {
        std::optional<std::string_view> tag;
        if (node.tag()) {
            Token token;
            token.kind = TokenKind::Tag;
            token.text = *node.tag();
            auto parts = parse::split_tag(token, group_.handles);
            EXPECT_TRUE(parts.ok());
            tag = arena_.copy_text(std::string(parts.value().prefix) + std::string(parts.value().suffix));
        }
        Value value;
        switch (node.kind()) {
            case NodeKind::Null:
                value = tag ? resolved("", false, tag) : Value::null();
                break;
            case NodeKind::Scalar:
                value = resolved(node.text(), node.scalar_style() != ScalarStyle::Plain, tag);
                break;
            case NodeKind::Alias:
                value = deep_copy(anchors_.at(node.text()), arena_);
                break;
            case NodeKind::Sequence: {
                Value* items = arena_.allocate_array<Value>(node.items().size());
                for (std::size_t i = 0; i < node.items().size(); ++i) items[i] = convert(node.items()[i]);
                value = Value::sequence(items, node.items().size());
                break;
            }
            case NodeKind::Mapping: {
                Pair* pairs = arena_.allocate_array<Pair>(node.pairs().size());
                for (std::size_t i = 0; i < node.pairs().size(); ++i)
                    pairs[i] = Pair(convert(node.pairs()[i].key), convert(node.pairs()[i].value));
                value = Value::mapping(pairs, node.pairs().size());
                break;
            }
        }
        if (tag && parse::is_custom_tag(*tag)) value = Value::tagged(*tag, value, arena_);
        if (node.anchor()) anchors_[*node.anchor()] = value;
        return value;
    }

private:
    // A tagged scalar is read by its tag alone, quoted or not.
    Value resolved(std::string_view text, bool quoted, std::optional<std::string_view> tag) {
        const resolver::ResolvedScalar r = resolver::resolve_scalar(mode_, text, quoted && !tag, tag);
        switch (r.kind) {
            case resolver::ResolvedKind::Null: return Value::null();
            case resolver::ResolvedKind::Bool: return Value::boolean(r.boolean);
            case resolver::ResolvedKind::Int: return Value::integer(r.integer);
            case resolver::ResolvedKind::BigInt: {
                std::string storage;
                return Value::big_int(arena_.copy_text(resolver::big_integer_text(mode_, text, storage)), arena_);
            }
            case resolver::ResolvedKind::Float: return Value::floating(r.number);
            case resolver::ResolvedKind::Str: return Value::string(text, arena_);
            case resolver::ResolvedKind::Merge: return make_merge_marker(arena_);
            case resolver::ResolvedKind::Invalid: ADD_FAILURE() << "the decoder loaded " << text;
        }
        return Value::null();
    }

    Arena& arena_;
    resolver::ResolveMode mode_;
    parse::DirectiveGroup group_;
    std::map<std::string, Value, std::less<>> anchors_;
};

// Fails when the decoder loads `text` and the composer's trees say
// something else; a text the decoder refuses is passed over.
void expect_agreement(const std::string& name, std::string_view text, resolver::ResolveMode mode) {
    SCOPED_TRACE(name);
    const std::string decoded = decode_to_text(text, decode::DecodeOptions{.mode = mode});
    if (decoded.starts_with("error(")) return;
    auto roots = roundtrip::compose_text(text, roundtrip::ComposeOptions{0, true});
    ASSERT_TRUE(roots.ok()) << roots.error().message;
    Arena arena;
    std::string composed;
    for (const YamlNode& root : roots.value()) {
        Value value = TreeToValue(arena, mode, root).convert(root);
        decode::resolve_merge_keys(value, arena);
        if (!composed.empty()) composed += " | ";
        composed += describe_value(value);
    }
    EXPECT_EQ(composed, decoded);
}

constexpr resolver::ResolveMode kModes[] = {resolver::ResolveMode::Core12, resolver::ResolveMode::Yaml11};

TEST(ComposerAgreement, ConformanceCases) {
    const std::vector<SuiteCase> cases = load_suite();
    if (cases.empty()) GTEST_SKIP() << "yaml-test-suite not found";
    for (const SuiteCase& c : cases)
        for (const resolver::ResolveMode mode : kModes) expect_agreement(c.id, c.input, mode);
}

TEST(ComposerAgreement, Corpus) {
    const std::vector<bench::CorpusFile> files = bench::read_corpus();
    if (files.empty()) GTEST_SKIP() << "corpus not found";
    for (const bench::CorpusFile& file : files)
        for (const resolver::ResolveMode mode : kModes) expect_agreement(file.name, file.text, mode);
}

}  // namespace
}  // namespace quillmere::testing
