// The instance that a schema judges is the document that loads returns: for
// every conformance case and corpus file that the plain road loads, the
// composed trees (empty explicit documents kept) with aliases expanded and
// merge keys applied hold the decoder's documents, one for one (tags are
// left out of the comparison: the decoder expands %TAG handles, the tree
// keeps tags as written); and a schema finds the same first violation, at
// the same place, in the decoded document as in its tree.
#include <gtest/gtest.h>

#include "corpus_files.h"
#include "decode/decoder.h"
#include "roundtrip/composer.h"
#include "roundtrip/tree_merge.h"
#include "schema/instance.h"
#include "schema/validator.h"
#include "support/suite.h"
#include "support/node_builder.h"
#include "support/value_text.h"

namespace quillmere::testing {
namespace {

using resolver::ResolveMode;

Value without_tags(const Value& value, Arena& arena) {
    switch (value.kind()) {
        case ValueKind::Tagged: return without_tags(value.tagged_value().inner, arena);
        case ValueKind::Sequence: {
            Value* items = arena.allocate_array<Value>(value.items().size());
            for (std::size_t i = 0; i < value.items().size(); ++i) items[i] = without_tags(value.items()[i], arena);
            return Value::sequence(items, value.items().size());
        }
        case ValueKind::Mapping: {
            Pair* pairs = arena.allocate_array<Pair>(value.pairs().size());
            for (std::size_t i = 0; i < value.pairs().size(); ++i)
                pairs[i] = Pair(without_tags(value.pairs()[i].key, arena), without_tags(value.pairs()[i].value, arena));
            return Value::mapping(pairs, value.pairs().size());
        }
        default: return value;
    }
}

// "" when the two roads agree on `text`, else what differs.
std::string disagreement(std::string_view text, ResolveMode mode) {
    auto decoded = decode::decode_documents(text, decode::DecodeOptions{.mode = mode});
    if (!decoded.ok()) return "";  // the plain road refuses it: nothing is validated
    auto composed = roundtrip::compose_text(text, roundtrip::ComposeOptions{.file_id = 0, .keep_empty = true});
    if (!composed.ok()) return "composer: " + composed.error().message;
    const auto& documents = decoded.value().documents;
    const auto& roots = composed.value();
    if (documents.size() != roots.size())
        return std::to_string(documents.size()) + " documents, " + std::to_string(roots.size()) + " trees";
    Arena arena;
    for (std::size_t i = 0; i < roots.size(); ++i) {
        const roundtrip::AliasTargets targets(std::span(&roots[i], 1), roundtrip::AliasTargets::Unpreceded::Nothing);
        std::uint64_t budget = schema::kAliasCopyBudget;
        roundtrip::YamlNode instance = schema::expand_aliases_for_schema(roots[i], targets, 0, budget);
        roundtrip::resolve_tree_merge_keys(instance, mode);
        const std::string tree = describe_value(without_tags(tree_to_value(instance, mode, arena), arena));
        const std::string plain = describe_value(without_tags(documents[i], arena));
        if (tree != plain) return "document " + std::to_string(i) + ": tree " + tree + "\n  plain " + plain;
    }
    return "";
}

// Schemas that fail somewhere in most documents, at different depths.
constexpr const char* kSchemas[] = {
    "{type: object}",
    "{items: {type: object}, additionalProperties: {type: [object, array]}}",
    "{items: {maxLength: 3}, additionalProperties: {items: {maxLength: 3}, additionalProperties: {maxLength: 3}}}",
    "{additionalProperties: {additionalProperties: {additionalProperties: {type: [string, array]}}}}",
    "{items: {items: {not: {type: string}}}, additionalProperties: {items: {anyOf: [{type: integer}, {required: [x]}]}}}",
    "{additionalProperties: {required: [name], properties: {name: {type: integer}}}}",
};

std::string shown(const std::optional<schema::SchemaViolation>& v) {
    if (!v) return "valid";
    return v->message + " @ " + v->path + " " + std::to_string(v->line) + ":" + std::to_string(v->column);
}

// "" when the decoded document and its tree meet every schema alike.
std::string validation_disagreement(std::string_view text, ResolveMode mode) {
    auto decoded = decode::decode_documents(text, decode::DecodeOptions{.mode = mode});
    if (!decoded.ok() || decoded.value().documents.empty()) return "";
    auto composed = roundtrip::compose_text(text, roundtrip::ComposeOptions{.file_id = 0, .keep_empty = true});
    if (!composed.ok() || composed.value().empty()) return "no tree";
    for (const char* schema_text : kSchemas) {
        auto schema = decode::decode_documents(schema_text, {});
        const Value& schema_value = schema.value().documents.front();
        const auto& root = composed.value().front();
        schema::DecodedCheck check = schema::validate_decoded(decoded.value().documents.front(), schema_value, mode);
        if (check.outcome == schema::DecodedCheck::Outcome::Undecided) continue;
        std::optional<schema::SchemaViolation> placed;
        if (check.outcome == schema::DecodedCheck::Outcome::Violation) {
            schema::locate_violation(root, mode, check.violation);
            placed = check.violation;
        }
        const std::string tree = shown(schema::validate_document(root, schema_value, mode));
        if (shown(placed) != tree) return std::string(schema_text) + ": decoded " + shown(placed) + ", tree " + tree;
    }
    return "";
}

TEST(SchemaInstance, DecodedDocumentsAndTreesMeetSchemasAlike) {
    for (const SuiteCase& c : load_suite()) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(validation_disagreement(c.input, ResolveMode::Core12), "");
    }
    for (const bench::CorpusFile& file : bench::read_corpus()) {
        SCOPED_TRACE(file.name);
        EXPECT_EQ(validation_disagreement(file.text, ResolveMode::Core12), "");
    }
}

TEST(SchemaInstance, ConformanceCasesAgreeWithThePlainRoad) {
    const auto cases = load_suite();
    ASSERT_FALSE(cases.empty());
    for (const SuiteCase& c : cases) {
        for (const ResolveMode mode : {ResolveMode::Core12, ResolveMode::Yaml11}) {
            SCOPED_TRACE(c.id);
            EXPECT_EQ(disagreement(c.input, mode), "");
        }
    }
}

TEST(SchemaInstance, CorpusFilesAgreeWithThePlainRoad) {
    const auto files = bench::read_corpus();
    ASSERT_FALSE(files.empty());
    for (const bench::CorpusFile& file : files) {
        SCOPED_TRACE(file.name);
        EXPECT_EQ(disagreement(file.text, ResolveMode::Core12), "");
    }
}

}  // namespace
}  // namespace quillmere::testing
