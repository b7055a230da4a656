// JSON Schema validation on hand-built trees: each keyword's messages,
// paths and positions, the order of violations, alias copies and merge
// keys. Schemas are written as YAML flow text and decoded.
#include <gtest/gtest.h>

#include <memory>

#include "decode/decoder.h"
#include "schema/instance.h"
#include "schema/validator.h"
#include "support/node_builder.h"

namespace quillmere::testing {
namespace {

using resolver::ResolveMode;
using schema::SchemaViolation;

class Schema {
public:
    explicit Schema(std::string text) : text_(std::make_unique<std::string>(std::move(text))) {
        auto decoded = decode::decode_documents(*text_, {});
        EXPECT_TRUE(decoded.ok()) << *text_;
        if (decoded.ok()) documents_ = std::move(decoded).value();
    }
    const Value& value() const { return documents_.documents.front(); }

private:
    std::unique_ptr<std::string> text_;  // the decoded values may view it
    decode::Documents documents_;
};

std::string show(const SchemaViolation& v) {
    return v.message + " @ " + v.path + " " + std::to_string(v.line + 1) + ":" + std::to_string(v.column + 1);
}

std::string first_violation(const YamlNode& tree, const char* schema_text, ResolveMode mode = ResolveMode::Core12) {
    const Schema schema(schema_text);
    const auto violation = schema::validate_document(tree, schema.value(), mode);
    return violation ? show(*violation) : "ok";
}

std::vector<std::string> all_violations(const YamlNode& tree, const char* schema_text) {
    const Schema schema(schema_text);
    schema::Violations violations;
    std::string path = "$";
    schema::validate_node(tree, schema.value(), path, ResolveMode::Core12, violations);
    EXPECT_EQ(path, "$");
    std::vector<std::string> shown;
    for (const SchemaViolation& v : violations.list()) shown.push_back(show(v));
    return shown;
}

struct Case {
    const char* schema;
    YamlNode tree;
    const char* expected;
    ResolveMode mode = ResolveMode::Core12;
};

void run_cases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.schema);
        EXPECT_EQ(first_violation(c.tree, c.schema, c.mode), c.expected);
    }
}

TEST(SchemaValidation, Types) {
    const YamlNode mapping = map({{scalar("a", {2, 0}), scalar("1", {2, 3})}}, {2, 0});
    run_cases({
        {"{type: integer}", scalar("5", {1, 4}), "ok"},
        {"{type: number}", scalar("5"), "ok"},
        {"{type: integer}", quoted("5", {1, 4}), "expected type integer, found string @ $ 2:5"},
        {"{type: string}", quoted("5"), "ok"},
        {"{type: integer}", scalar("5.0"), "expected type integer, found number @ $ 1:1"},
        {"{type: number}", scalar("5.0"), "ok"},
        {"{type: integer}", scalar("123456789012345678901234567890"), "ok"},
        {"{type: [string, 'null']}", mapping, "expected type string | null, found object @ $ 3:1"},
        {"{type: [string, 5, 'null']}", null_node(), "ok"},
        {"{type: []}", scalar("x"), "expected type , found string @ $ 1:1"},
        {"{type: 5}", scalar("x"), "ok"},
        {"{type: fraction}", scalar("x"), "ok"},
        {"{type: array}", seq({}), "ok"},
        {"{type: object}", seq({}), "expected type object, found array @ $ 1:1"},
        {"{type: 'null'}", scalar("~"), "ok"},
        {"{type: 'null'}", alias("nowhere", {0, 3}), "ok"},
        {"{type: boolean}", scalar("true"), "ok"},
        // The load's own resolve mode reads the scalars.
        {"{type: boolean}", scalar("yes"), "expected type boolean, found string @ $ 1:1"},
        {"{type: boolean}", scalar("yes"), "ok", ResolveMode::Yaml11},
        {"{type: boolean}", scalar("y"), "ok", ResolveMode::Yaml11},
        {"{type: boolean}", scalar("y"), "expected type boolean, found string @ $ 1:1", ResolveMode::Yaml11Compat},
        {"{type: boolean}", scalar("yes"), "ok", ResolveMode::Yaml11Compat},
        {"{type: integer}", scalar("010"), "expected type integer, found string @ $ 1:1"},
        {"{type: integer}", scalar("010"), "ok", ResolveMode::Yaml11},
        {"{type: integer}", tagged("!!int", quoted("42")), "ok"},
        {"{type: string}", tagged("!!str", scalar("42")), "ok"},
        {"{type: string}", tagged("!custom", scalar("42")), "ok"},
        // An empty node under a tag is the empty text read by its tag.
        {"{type: string}", tagged("!!str", null_node()), "ok"},
        {"{type: string}", scalar("<<"), "ok"},
    });
}

// A tag as the composer records one whose spelling does not say what it
// names.
YamlNode expanded(std::string tag, std::string expansion, YamlNode node) {
    node = tagged(std::move(tag), std::move(node));
    node.mutable_tag_expansion() = std::move(expansion);
    return node;
}

TEST(SchemaValidation, TagsActByWhatTheyName) {
    const YamlNode core = expanded("!e!int", "tag:yaml.org,2002:int", scalar("1"));
    const YamlNode custom = expanded("!!int", "tag:example.com,2000:int", scalar("1"));
    run_cases({
        {"{type: string}", core, "expected type string, found integer @ $ 1:1"},
        {"{type: integer}", custom, "expected type integer, found string @ $ 1:1"},
        {"{type: string}", expanded("!<tag:yaml.org,2002:str>", "tag:yaml.org,2002:str", scalar("1")), "ok"},
        // Through an alias, the copy of the definition keeps it.
        {"{items: {type: string}}", seq({anchored("a", core), alias("a", {1, 0})}),
         "expected type string, found integer @ $[0] 1:1"},
    });
}

TEST(SchemaValidation, EnumAndConst) {
    const YamlNode pair = seq({scalar("a"), scalar("1")});
    run_cases({
        {"{enum: [1, 2]}", scalar("1.0"), "ok"},
        {"{enum: [1.0, 2]}", scalar("1"), "ok"},
        {"{enum: [1, 2]}", scalar("3", {0, 2}), "value is not one of the allowed enum values @ $ 1:3"},
        {"{enum: []}", scalar("3"), "value is not one of the allowed enum values @ $ 1:1"},
        {"{enum: 3}", scalar("4"), "ok"},
        {"{enum: [~, x]}", null_node(), "ok"},
        {"{enum: [false]}", scalar("0"), "value is not one of the allowed enum values @ $ 1:1"},
        {"{enum: [1]}", scalar("true"), "value is not one of the allowed enum values @ $ 1:1"},
        {"{enum: ['1']}", scalar("1"), "value is not one of the allowed enum values @ $ 1:1"},
        {"{const: [a, 1]}", pair, "ok"},
        {"{const: [a, 1]}", seq({}), "value does not equal the required const @ $ 1:1"},
        {"{const: [a, 1.0]}", pair, "ok"},
        {"{const: {b: 2, a: 1}}", map({{scalar("a"), scalar("1")}, {scalar("b"), scalar("2")}}), "ok"},
        {"{const: {a: 1}}", map({{scalar("a"), scalar("2")}}), "value does not equal the required const @ $ 1:1"},
        {"{const: {a: 1}}", map({{scalar("a"), scalar("1")}, {scalar("b"), scalar("1")}}),
         "value does not equal the required const @ $ 1:1"},
        {"{const: .nan}", scalar(".nan"), "value does not equal the required const @ $ 1:1"},
        {"{const: 0.0}", scalar("-0.0"), "ok"},
        {"{const: ~}", scalar("null"), "ok"},
        // Integers compare by value, whatever their size or spelling.
        {"{const: 100000000000000000000}", scalar("+100000000000000000000"), "ok"},
        {"{const: 100000000000000000000}", scalar("1e20"), "ok"},
        {"{const: -9223372036854775808}", scalar("-9223372036854775808"), "ok"},
        {"{const: 1000000000000000000000}", scalar("1_000_000_000_000_000_000_000"), "ok", ResolveMode::Yaml11},
        {"{const: 604462909807314587353087}", tagged("!!int", scalar("0x7FFFFFFFFFFFFFFFFFFF")), "ok"},
    });
}

TEST(SchemaValidation, Numbers) {
    run_cases({
        {"{minimum: 10}", scalar("5", {3, 6}), "value 5 is less than minimum 10 @ $ 4:7"},
        {"{minimum: 5}", scalar("5"), "ok"},
        {"{maximum: 4.5}", scalar("5"), "value 5 is greater than maximum 4.5 @ $ 1:1"},
        {"{exclusiveMinimum: 5}", scalar("5"), "value 5 is not greater than 5 @ $ 1:1"},
        {"{exclusiveMaximum: 5}", scalar("5"), "value 5 is not less than 5 @ $ 1:1"},
        {"{exclusiveMaximum: 5}", scalar("4.99"), "ok"},
        {"{exclusiveMinimum: 0.5}", scalar("0.0001"), "value 0.0001 is not greater than 0.5 @ $ 1:1"},
        {"{minimum: 0}", scalar("-2.5e-7"), "value -0.00000025 is less than minimum 0 @ $ 1:1"},
        // Shortest digits in plain decimal: never an exponent, nor the
        // exact binary expansion of the double.
        {"{maximum: 1e20}", scalar("1e23"),
         "value 100000000000000000000000 is greater than maximum 100000000000000000000 @ $ 1:1"},
        {"{maximum: 0.1}", scalar("0.30000000000000004"),
         "value 0.30000000000000004 is greater than maximum 0.1 @ $ 1:1"},
        // Big integers: read as floats, a leading '+' or the 1.1
        // underscores included.
        {"{maximum: 10}", scalar("+100000000000000000000"),
         "value 100000000000000000000 is greater than maximum 10 @ $ 1:1"},
        {"{maximum: 10}", scalar("1_000_000_000_000_000_000_000"),
         "value 1000000000000000000000 is greater than maximum 10 @ $ 1:1", ResolveMode::Yaml11},
        {"{minimum: 100000000000000000000}", scalar("5"), "value 5 is less than minimum 100000000000000000000 @ $ 1:1"},
        {"{minimum: 0}", scalar("-.inf"), "value -inf is less than minimum 0 @ $ 1:1"},
        {"{minimum: 0, maximum: 0}", scalar(".nan"), "ok"},
        {"{minimum: .nan}", scalar("5"), "ok"},
        {"{minimum: '10'}", scalar("5"), "ok"},
        {"{minimum: 10}", quoted("5"), "ok"},
        {"{minimum: 10}", scalar("x"), "ok"},
    });
}

TEST(SchemaValidation, Lengths) {
    run_cases({
        // Five code points, six bytes.
        {"{maxLength: 3}", quoted("h\xC3\xA9llo", {0, 5}), "string is longer than maxLength 3 @ $ 1:6"},
        {"{maxLength: 5}", quoted("h\xC3\xA9llo"), "ok"},
        {"{minLength: 2.0}", quoted("a"), "string is shorter than minLength 2 @ $ 1:1"},
        {"{minLength: 2.5}", quoted("a"), "ok"},
        {"{minLength: 2}", scalar("5"), "ok"},
        {"{minLength: 1}", quoted(""), "string is shorter than minLength 1 @ $ 1:1"},
        {"{maxLength: -1}", quoted(""), "string is longer than maxLength -1 @ $ 1:1"},
        {"{maxLength: 1e300}", quoted("abc"), "ok"},
        {"{minItems: 2}", seq({scalar("1")}), "array has fewer than minItems 2 @ $ 1:1"},
        {"{maxItems: 0}", seq({scalar("1")}), "array has more than maxItems 0 @ $ 1:1"},
        {"{maxItems: 1}", map({{scalar("a"), scalar("1")}, {scalar("b"), scalar("1")}}), "ok"},
    });
}

TEST(SchemaValidation, ObjectsAndArrays) {
    // a: 1            (line 1)
    // c: x            (line 2)
    const YamlNode ac = map({{scalar("a", {0, 0}), scalar("1", {0, 3})}, {scalar("c", {1, 0}), scalar("x", {1, 3})}},
                            {0, 0});
    // items: [a, b, 3]
    const YamlNode items = map(
        {{scalar("items", {0, 0}), seq({scalar("a", {0, 8}), scalar("b", {0, 11}), scalar("3", {0, 14})}, {0, 7})}});
    run_cases({
        {"{required: [a, b]}", ac, "missing required property 'b' @ $ 1:1"},
        {"{required: [a, 5, c]}", ac, "ok"},
        {"{required: [b]}", seq({}), "ok"},
        {"{properties: {a: {type: integer}}, additionalProperties: false}", ac,
         "additional property 'c' is not allowed @ $.c 2:4"},
        {"{properties: {a: {type: string}}}", ac, "expected type string, found integer @ $.a 1:4"},
        {"{additionalProperties: {type: integer}}", ac, "expected type integer, found string @ $.c 2:4"},
        {"{additionalProperties: true}", ac, "ok"},
        {"{properties: {c: false}}", ac, "value is not allowed (schema is false) @ $.c 2:4"},
        {"{properties: 5, additionalProperties: false}", ac, "additional property 'a' is not allowed @ $.a 1:4"},
        {"{properties: {items: {items: {type: string}}}}", items, "expected type string, found integer @ $.items[2] 1:15"},
        {"{items: [{type: string}]}", seq({scalar("1")}), "ok"},
        {"{items: false}", seq({}), "ok"},
        {"{items: false}", seq({scalar("1", {0, 1})}), "value is not allowed (schema is false) @ $[0] 1:2"},
        // Keys are inserted in paths as written; pairs with keys that are
        // not scalars are not checked.
        {"{additionalProperties: false}", map({{seq({}), scalar("1")}, {null_node(), scalar("1")}}), "ok"},
        {"{additionalProperties: false}", map({{quoted("a.b [0]"), scalar("1", {0, 9})}}),
         "additional property 'a.b [0]' is not allowed @ $.a.b [0] 1:10"},
        // A value left empty has no position of its own: its key's is used.
        {"{properties: {name: {type: string}}}", map({{scalar("name", {4, 2}), null_node()}}, {4, 2}),
         "expected type string, found null @ $.name 5:3"},
        {"{additionalProperties: false}", map({{scalar("name", {4, 2}), null_node()}}, {4, 2}),
         "additional property 'name' is not allowed @ $.name 5:3"},
        {"{additionalProperties: {allOf: [{not: {}}]}}", map({{scalar("name", {4, 2}), null_node()}}, {4, 2}),
         "value must not match the 'not' schema @ $.name 5:3"},
    });
}

TEST(SchemaValidation, Combinations) {
    run_cases({
        {"{allOf: [{type: integer}, {minimum: 10}]}", scalar("5"), "value 5 is less than minimum 10 @ $ 1:1"},
        {"{allOf: []}", scalar("5"), "ok"},
        {"{anyOf: [{type: string}, {minimum: 10}]}", scalar("5"), "value does not match any of the anyOf schemas @ $ 1:1"},
        {"{anyOf: [{type: string}, {minimum: 1}]}", scalar("5"), "ok"},
        {"{anyOf: []}", scalar("5"), "value does not match any of the anyOf schemas @ $ 1:1"},
        {"{oneOf: [{type: integer}, {minimum: 1}]}", scalar("5"),
         "value matches 2 of the oneOf schemas (exactly one required) @ $ 1:1"},
        {"{oneOf: [{type: integer}, {minimum: 10}]}", scalar("5"), "ok"},
        {"{oneOf: []}", scalar("5"), "value matches 0 of the oneOf schemas (exactly one required) @ $ 1:1"},
        {"{not: {type: integer}}", scalar("5"), "value must not match the 'not' schema @ $ 1:1"},
        {"{not: {type: string}}", scalar("5"), "ok"},
        {"{not: 5}", scalar("5"), "value must not match the 'not' schema @ $ 1:1"},
        {"false", scalar("5"), "value is not allowed (schema is false) @ $ 1:1"},
        {"true", scalar("5"), "ok"},
        {"{}", scalar("5"), "ok"},
        {"[{type: string}]", scalar("5"), "ok"},
        {"{x: {type: string}, 5: 1}", scalar("5"), "ok"},
    });
}

TEST(SchemaValidation, ViolationsComeInAFixedOrder) {
    // {b: x, c: y} against a schema whose keys are written in reverse order.
    const YamlNode tree = map({{scalar("b", {0, 1}), scalar("x", {0, 4})}, {scalar("c", {0, 7}), scalar("y", {0, 10})}});
    EXPECT_EQ(all_violations(tree, "{not: {}, anyOf: [false], allOf: [{maxLength: 0}, {minProperties: 9, type: array}],"
                                   " properties: {b: {type: integer}, c: {enum: [z], type: boolean}},"
                                   " required: [a], type: [array], const: 1, enum: [1]}"),
              (std::vector<std::string>{
                  "expected type array, found object @ $ 1:1",
                  "value is not one of the allowed enum values @ $ 1:1",
                  "value does not equal the required const @ $ 1:1",
                  "missing required property 'a' @ $ 1:1",
                  "expected type integer, found string @ $.b 1:5",
                  "expected type boolean, found string @ $.c 1:11",
                  "value is not one of the allowed enum values @ $.c 1:11",
                  "expected type array, found object @ $ 1:1",
                  "value does not match any of the anyOf schemas @ $ 1:1",
                  "value must not match the 'not' schema @ $ 1:1",
              }));
    // A keyword given twice counts once: the first.
    EXPECT_EQ(all_violations(scalar("5"), "{type: integer, type: string}"), std::vector<std::string>{});
}

TEST(SchemaValidation, AliasesAreCheckedAsTheirAnchoredNodes) {
    // base: &b {port: x}      (line 1)
    // use: *b                 (line 2)
    const YamlNode tree =
        map({{scalar("base", {0, 0}), anchored("b", map({{scalar("port", {0, 10}), scalar("x", {0, 16})}}, {0, 9}))},
             {scalar("use", {1, 0}), alias("b", {1, 5})}});
    EXPECT_EQ(first_violation(tree, "{properties: {use: {type: array}}}"),
              "expected type array, found object @ $.use 2:6");
    EXPECT_EQ(first_violation(tree, "{properties: {use: {required: [host]}}}"),
              "missing required property 'host' @ $.use 2:6");
    EXPECT_EQ(first_violation(tree, "{properties: {use: {properties: {port: {type: integer}}}}}"),
              "expected type integer, found string @ $.use.port 1:17");
    EXPECT_EQ(first_violation(tree, "{properties: {use: {type: 'null'}}}"),
              "expected type null, found object @ $.use 2:6");
}

TEST(SchemaValidation, AnAliasNamesTheLastDefinitionBeforeIt) {
    // - &a 1          - *a    - &a x     - *a     - &b [*a]   - &a y    - *b
    const YamlNode tree = seq({anchored("a", scalar("1")), alias("a", {1, 2}), anchored("a", quoted("x")),
                               alias("a", {3, 2}), anchored("b", seq({alias("a")})), anchored("a", quoted("y")),
                               alias("b", {6, 2})});
    EXPECT_EQ(first_violation(tree, "{items: {type: [integer, array]}}"),
              "expected type integer | array, found string @ $[2] 1:1");
    // *b is [x]: the *a inside &b named x where it was written.
    EXPECT_EQ(first_violation(tree, "{items: {anyOf: [{type: integer}, {const: x}, {const: y}, {const: [x]}]}}"), "ok");
    EXPECT_EQ(first_violation(tree, "{items: {anyOf: [{type: integer}, {const: x}, {const: [x]}]}}"),
              "value does not match any of the anyOf schemas @ $[5] 1:1");
    // An alias inside its own anchored node names nothing yet.
    const YamlNode self = anchored("a", seq({alias("a", {0, 5})}));
    EXPECT_EQ(first_violation(self, "{items: {type: 'null'}}"), "ok");
}

TEST(SchemaValidation, MergeKeysAreAppliedFirst) {
    // base: &b {host: h}                       (line 1)
    // srv: {<<: *b, port: 1, <<: 5}            (line 2)
    const YamlNode tree = map(
        {{scalar("base", {0, 0}), anchored("b", map({{scalar("host", {0, 10}), scalar("h", {0, 16})}}, {0, 9}))},
         {scalar("srv", {1, 0}), map({{scalar("<<", {1, 6}), alias("b", {1, 10})},
                                      {scalar("port", {1, 14}), scalar("1", {1, 20})},
                                      {scalar("<<", {1, 23}), scalar("5", {1, 27})}},
                                     {1, 5})}});
    const char* closed = "{properties: {srv: {required: [host, port],"
                         " properties: {host: {type: integer}, port: {}}, additionalProperties: false}}}";
    // The merged host keeps the position of its definition.
    EXPECT_EQ(first_violation(tree, closed), "expected type integer, found string @ $.srv.host 1:17");
    EXPECT_EQ(first_violation(tree, "{properties: {srv: {properties: {host: {}, port: {}}, additionalProperties: false}}}"),
              "additional property '<<' is not allowed @ $.srv.<< 2:28");
    EXPECT_EQ(first_violation(tree, "{properties: {srv: {required: [host], properties: {'<<': {}}}}}"), "ok");
}

YamlNode nested_lists(std::size_t depth) {
    YamlNode node = scalar("x");
    for (std::size_t i = 0; i < depth; ++i) {
        std::vector<YamlNode> items;
        items.push_back(std::move(node));
        node = YamlNode::sequence(std::move(items), CollectionStyle::Block);
    }
    return node;
}

TEST(SchemaValidation, DeepDocumentsStayOnTheStack) {
    const YamlNode tree = nested_lists(300000);
    EXPECT_EQ(first_violation(tree, "{items: {items: {items: {type: integer}}}}"),
              "expected type integer, found array @ $[0][0][0] 1:1");
    // A schema as deep as the decoder allows, checked level by level.
    std::string deep;
    for (int i = 0; i < 990; ++i) deep += "{items: ";
    deep += "{type: integer}";
    for (int i = 0; i < 990; ++i) deep += "}";
    EXPECT_NE(first_violation(tree, deep.c_str()).find("expected type integer, found array @ $[0][0]"),
              std::string::npos);
}

std::uint64_t count_nodes(const YamlNode& node) {
    std::uint64_t count = 1;
    if (node.is(roundtrip::NodeKind::Sequence))
        for (const YamlNode& item : node.items()) count += count_nodes(item);
    if (node.is(roundtrip::NodeKind::Mapping))
        for (const roundtrip::NodePair& pair : node.pairs()) count += count_nodes(pair.key) + count_nodes(pair.value);
    return count;
}

TEST(SchemaInstance, AliasBombsAreCutAtTheBudget) {
    // a0: &a0 [x, x, x, x, x, x, x, x, x, x]
    // a1: &a1 [*a0 ten times] ... a9: &a9 [*a8 ten times]: 10^10 nodes.
    std::vector<std::pair<YamlNode, YamlNode>> pairs;
    std::vector<YamlNode> leaves(10, quoted("x"));
    pairs.emplace_back(scalar("a0"), anchored("a0", seq(leaves)));
    for (int level = 1; level < 10; ++level) {
        std::vector<YamlNode> aliases(10, alias("a" + std::to_string(level - 1)));
        pairs.emplace_back(scalar("a" + std::to_string(level)), anchored("a" + std::to_string(level), seq(aliases)));
    }
    const YamlNode tree = map(std::move(pairs));
    const roundtrip::AliasTargets targets(std::span(&tree, 1), roundtrip::AliasTargets::Unpreceded::Nothing);
    std::uint64_t budget = schema::kAliasCopyBudget;
    const YamlNode copy = schema::expand_aliases_for_schema(tree, targets, 0, budget);
    EXPECT_EQ(budget, 0u);
    EXPECT_LT(count_nodes(copy), 1'100'000u);
    // a4 was copied whole; a9's aliases came after the budget: nulls.
    EXPECT_EQ(first_violation(tree, "{properties: {a4: {items: {items: {items: {items: {items: {type: string}}}}}},"
                                    " a9: {items: {type: 'null'}}}}"),
              "ok");
}

TEST(SchemaInstance, AliasChainsStopAfterAHundredSteps) {
    // &l0 x, &l1 [*l0], ..., &l120 [*l119]; the copy of *l120 reaches the
    // scalar only through 120 aliases, so the 101st becomes a null.
    std::vector<YamlNode> items;
    items.push_back(anchored("l0", quoted("x")));
    for (int i = 1; i <= 120; ++i) items.push_back(anchored("l" + std::to_string(i), seq({alias("l" + std::to_string(i - 1))})));
    items.push_back(alias("l120", {9, 0}));
    const YamlNode tree = seq(std::move(items));
    const roundtrip::AliasTargets targets(std::span(&tree, 1), roundtrip::AliasTargets::Unpreceded::Nothing);
    std::uint64_t budget = schema::kAliasCopyBudget;
    YamlNode node = schema::expand_aliases_for_schema(tree, targets, 0, budget).items().back();
    int steps = 0;
    while (node.is(roundtrip::NodeKind::Sequence)) {
        YamlNode inner = std::move(node.items().front());
        node = std::move(inner);
        ++steps;
    }
    EXPECT_EQ(steps, 100);
    EXPECT_TRUE(node.is(roundtrip::NodeKind::Null));
}

}  // namespace
}  // namespace quillmere::testing
