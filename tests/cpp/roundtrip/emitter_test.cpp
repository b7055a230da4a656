// The round-trip emitter on hand-built trees: the exact text of each rule,
// and that the plain road reads the text back as the tree's data.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "roundtrip/emitter.h"
#include "support/yaml_nodes.h"
#include "support/value_text.h"

namespace quillmere::roundtrip {
namespace {

using namespace quillmere::testing;

constexpr auto Block = CollectionStyle::Block;
constexpr auto Flow = CollectionStyle::Flow;

struct Case {
    const char* name;
    YamlNode root;
    const char* text;      // the emitted text
    const char* data;      // what decoding the text gives
    NullStyle null_style = NullStyle::Empty;
};

std::string render(const YamlNode& root, NullStyle style) {
    std::string out;
    render_document(out, style, root);
    return out;
}

void check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = render(c.root, c.null_style);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(decode_to_text(text), c.data) << text;
    }
}

YamlNode kv(std::string key, YamlNode value) { return map({{plain(std::move(key)), std::move(value)}}); }

YamlNode literal(std::string text) { return modified(scalar(std::move(text), ScalarStyle::Literal)); }
YamlNode folded(std::string text) { return modified(scalar(std::move(text), ScalarStyle::Folded)); }

// A node as the composer gives it: with a place in the source.
YamlNode read_from_source(YamlNode node) {
    node.span = Span{0, 0, 1, 1};
    return node;
}

YamlNode synthetic_null() {
    YamlNode node = YamlNode::null();
    node.synthetic = true;
    return node;
}

TEST(RoundTripEmitter, KeepsCommentsStylesAndBlockScalarText) {
    YamlNode root = map({{with_head(plain("a"), {"top"}),
                          with_inline(seq({plain("1"), plain("2")}, Flow), "c", 2)},
                         {plain("b"), with_raw(scalar("x\ny", ScalarStyle::Literal), "|-\n  x\n  y")},
                         {with_head(plain("c"), {"", "two"}, 1), scalar("it's", ScalarStyle::SingleQuoted)},
                         {plain("d"), with_inline(scalar("q", ScalarStyle::DoubleQuoted), "", 0)}});
    root = with_foot(root, {"end"});
    check({{"layout", root,
            "# top\na: [1, 2]  # c\nb: |-\n  x\n  y\n\n#\n# two\nc: 'it''s'\nd: \"q\" #\n# end\n",
            "{\"a\": [1, 2], \"b\": \"x\\ny\", \"c\": \"it's\", \"d\": \"q\"}"}});
}

TEST(RoundTripEmitter, BlockScalarsReadBackAsTheirText) {
    check({
        {"strip", kv("k", literal("a\nb")), "k: |-\n  a\n  b\n", "{\"k\": \"a\\nb\"}"},
        {"clip", kv("k", literal("a\nb\n")), "k: |\n  a\n  b\n", "{\"k\": \"a\\nb\\n\"}"},
        {"keep", kv("k", literal("a\nb\n\n\n")), "k: |+\n  a\n  b\n\n\n", "{\"k\": \"a\\nb\\n\\n\\n\"}"},
        {"empty", kv("k", literal("")), "k: |-\n", "{\"k\": \"\"}"},
        {"one line feed", kv("k", literal("\n")), "k: |+\n\n", "{\"k\": \"\\n\"}"},
        {"empty lines inside", kv("k", literal("\n\na\n\nb\n")), "k: |\n\n\n  a\n\n  b\n",
         "{\"k\": \"\\n\\na\\n\\nb\\n\"}"},
        {"leading space", kv("k", literal(" a\nb\n")), "k: |2\n   a\n  b\n", "{\"k\": \" a\\nb\\n\"}"},
        {"leading blank line of spaces", kv("k", literal("  \nb")), "k: |2-\n    \n  b\n", "{\"k\": \"  \\nb\"}"},
        {"as an item", seq({literal(" a\n")}), "- |4\n     a\n", "[\" a\\n\"]"},
        {"at the root", literal("a\n"), "|\n  a\n", "\"a\\n\""},
        {"folded lines", kv("k", folded("a b\nc\n")), "k: >\n  a b\n\n  c\n", "{\"k\": \"a b\\nc\\n\"}"},
        {"folded, more indented", kv("k", folded("a\n  b\nc")), "k: >-\n  a\n    b\n  c\n",
         "{\"k\": \"a\\n  b\\nc\"}"},
        {"folded, empty lines", kv("k", folded("a\n\nb\n")), "k: >\n  a\n\n\n  b\n", "{\"k\": \"a\\n\\nb\\n\"}"},
        {"folded, leading line feed", kv("k", folded("\na\n")), "k: >\n\n  a\n", "{\"k\": \"\\na\\n\"}"},
        {"control character", kv("k", literal("a\x01\n")), "k: \"a\\x01\\n\"\n", "{\"k\": \"a\x01\\n\"}"},
        {"carriage return", kv("k", literal("a\rb\n")), "k: \"a\\rb\\n\"\n", "{\"k\": \"a\\rb\\n\"}"},
        {"in a flow collection", kv("k", seq({literal("a\n")}, Flow)), "k: [\"a\\n\"]\n", "{\"k\": [\"a\\n\"]}"},
    });
}

TEST(RoundTripEmitter, UnchangedBlockScalarsKeepTheirSourceText) {
    const auto raw = [](const char* text, const char* source) {
        return with_raw(scalar(text, ScalarStyle::Literal), source);
    };
    const auto raw_folded = [](const char* text, const char* source) {
        return with_raw(scalar(text, ScalarStyle::Folded), source);
    };
    check({
        {"verbatim", kv("k", raw("a\n", "|   # why\n      a\n")), "k: |   # why\n      a\n", "{\"k\": \"a\\n\"}"},
        // The scanner's end lies in the next line's indentation.
        {"next line's indentation", kv("o", kv("k", raw("a\n\n", "|+\n    a\n\n  "))), "o:\n  k: |+\n    a\n\n",
         "{\"o\": {\"k\": \"a\\n\\n\"}}"},
        {"folded as written", kv("k", raw_folded("a b c\n", ">\n  a\n  b\n  c\n")), "k: >\n  a\n  b\n  c\n",
         "{\"k\": \"a b c\\n\"}"},
        {"CR LF", kv("k", raw("a\nb\n", "|\r\n  a\r\n  b\r\n")), "k: |\n  a\n  b\n", "{\"k\": \"a\\nb\\n\"}"},
        // Too shallow for its new place: the lines move.
        {"shifted", kv("o", kv("k", raw("a\n b\n", "|\n a\n  b\n"))), "o:\n  k: |\n    a\n     b\n",
         "{\"o\": {\"k\": \"a\\n b\\n\"}}"},
        // An indentation indicator counts from the parent's indentation.
        {"indicator moved", kv("o", kv("k", raw("  x\n", "|1\n   x\n"))), "o:\n  k: |2\n      x\n",
         "{\"o\": {\"k\": \"  x\\n\"}}"},
        {"indicator kept", kv("k", raw("  x\n", "|1\n   x\n")), "k: |1\n   x\n", "{\"k\": \"  x\\n\"}"},
        // A last line that the end of the text cut off has no line break,
        // which clipping and keeping would take in once one follows it.
        {"clip cut off", kv("k", raw("x", "|\n  x")), "k: |-\n  x\n", "{\"k\": \"x\"}"},
        {"folded clip cut off", kv("k", raw_folded("x y", ">\n  x\n  y")), "k: >-\n  x y\n", "{\"k\": \"x y\"}"},
        {"keep cut off", kv("k", raw("x", "|+\n  x")), "k: |-\n  x\n", "{\"k\": \"x\"}"},
        {"strip cut off", kv("k", raw("x", "|-\n  x")), "k: |-\n  x\n", "{\"k\": \"x\"}"},
        // A changed scalar keeps its header comment.
        {"changed", kv("k", modified(raw("new\n", "|  # note\n  old\n"))), "k: |  # note\n  new\n",
         "{\"k\": \"new\\n\"}"},
    });
}

TEST(RoundTripEmitter, ScalarsThatTheirStyleCannotCarryAreDoubleQuoted) {
    check({
        {"plain line feed", kv("k", plain("a\nb")), "k: \"a\\nb\"\n", "{\"k\": \"a\\nb\"}"},
        {"single line feed", kv("k", scalar("a\nb", ScalarStyle::SingleQuoted)), "k: \"a\\nb\"\n",
         "{\"k\": \"a\\nb\"}"},
        // Characters that readers take for line breaks or drop are escaped.
        {"byte order mark", kv("k", plain("\xEF\xBB\xBFx")), "k: \"\\uFEFFx\"\n", "{\"k\": \"\xEF\xBB\xBFx\"}"},
        {"line breaks of YAML 1.1",
         kv("k", scalar("a\xC2\x85" "b\xE2\x80\xA8" "c\xE2\x80\xA9", ScalarStyle::DoubleQuoted)),
         "k: \"a\\Nb\\Lc\\P\"\n", "{\"k\": \"a\xC2\x85" "b\xE2\x80\xA8" "c\xE2\x80\xA9\"}"},
        // Inside brackets ",", ":" and "?" need quotes, the last two for
        // readers of YAML 1.1.
        {"flow indicators", kv("k", seq({plain("a,b"), plain("c]"), plain("x:y"), plain("12:30"), plain("?x"),
                                         plain("a?")}, Flow)),
         "k: [\"a,b\", \"c]\", \"x:y\", \"12:30\", \"?x\", \"a?\"]\n",
         "{\"k\": [\"a,b\", \"c]\", \"x:y\", \"12:30\", \"?x\", \"a?\"]}"},
        // A text read from the source keeps its plain style there.
        {"source texts keep theirs",
         kv("k", seq({read_from_source(plain("x:y")), read_from_source(plain("http://x.org")),
                      read_from_source(plain("a?b"))}, Flow)),
         "k: [x:y, http://x.org, a?b]\n", "{\"k\": [\"x:y\", \"http://x.org\", \"a?b\"]}"},
        {"block context keeps questions", kv("k", plain("a?b")), "k: a?b\n", "{\"k\": \"a?b\"}"},
        {"block context keeps them", kv("k", plain("a,b")), "k: a,b\n", "{\"k\": \"a,b\"}"},
        {"block context keeps colons", kv("k", plain("x:y")), "k: x:y\n", "{\"k\": \"x:y\"}"},
        // A first entry read as a plain text starting with ":" keeps a blank
        // after the bracket.
        {"colon first", kv("k", seq({read_from_source(plain("::vector")), read_from_source(plain(":x"))}, Flow)),
         "k: [ ::vector, :x]\n", "{\"k\": [\"::vector\", \":x\"]}"},
        {"colon key first", kv("k", map({{read_from_source(plain(":a")), read_from_source(plain("b"))}}, Flow)),
         "k: { :a: b}\n", "{\"k\": {\":a\": \"b\"}}"},
        {"indicators", seq({plain("- x"), plain("#x"), plain("a: b"), plain("a #b"), plain("-1"), plain("x:")}),
         "- \"- x\"\n- \"#x\"\n- \"a: b\"\n- \"a #b\"\n- -1\n- \"x:\"\n",
         "[\"- x\", \"#x\", \"a: b\", \"a #b\", -1, \"x:\"]"},
    });
}

TEST(RoundTripEmitter, NullsFollowTheirOriginAndTheNullStyle) {
    check({
        {"parsed", kv("k", null_node()), "k:\n", "{\"k\": null}"},
        {"assigned, empty", kv("k", synthetic_null()), "k:\n", "{\"k\": null}"},
        {"assigned, keyword", kv("k", synthetic_null()), "k: null\n", "{\"k\": null}", NullStyle::Keyword},
        {"assigned, tilde", kv("k", synthetic_null()), "k: ~\n", "{\"k\": null}", NullStyle::Tilde},
        {"in a flow collection", seq({null_node(), synthetic_null()}, Flow), "[null, ~]\n", "[null, null]",
         NullStyle::Tilde},
        // A tagged empty node stays empty: "null" would make a string of it.
        {"tagged", kv("k", tagged(null_node(), "!!str")), "k: !!str\n", "{\"k\": \"\"}"},
        {"tagged in flow", seq({tagged(null_node(), "!!str"), plain("x")}, Flow), "[!!str , x]\n", "[\"\", \"x\"]"},
        {"anchored", seq({anchored(null_node(), "a"), alias("a")}), "- &a null\n- *a\n", "[null, null]"},
        {"item", seq({null_node(), plain("b")}), "-\n- b\n", "[null, \"b\"]"},
        {"key", map({{null_node(), plain("v")}, {tagged(null_node(), "!!str"), plain("w")}}),
         "null: v\n!!str : w\n", "{null: \"v\", \"\": \"w\"}"},
        {"root", null_node(), "null\n", "null"},
        {"tagged root", tagged(null_node(), "!!str"), "!!str\n", "\"\""},
        // An assigned null under a tag is empty in every style: "~" or
        // "null" would be a text under the tag.
        {"assigned under a tag", kv("k", tagged(synthetic_null(), "!t")), "k: !t\n", "{\"k\": !t(\"\")}"},
        {"assigned under a tag, tilde", kv("k", tagged(synthetic_null(), "!t")), "k: !t\n", "{\"k\": !t(\"\")}",
         NullStyle::Tilde},
        {"assigned under a tag, keyword", seq({tagged(synthetic_null(), "!t"), plain("x")}, Flow), "[!t , x]\n",
         "[!t(\"\"), \"x\"]", NullStyle::Keyword},
        // Below comments under its key a null is written out: nothing there
        // would leave a line of blanks.
        {"below comments", kv("k", with_head(synthetic_null(), {"c"})), "k:\n  # c\n  null\n", "{\"k\": null}"},
        {"below comments, tilde", kv("k", with_head(synthetic_null(), {"c"})), "k:\n  # c\n  ~\n", "{\"k\": null}",
         NullStyle::Tilde},
        {"parsed, below comments", kv("k", with_inline(with_head(null_node(), {"c"}), "d")), "k:\n  # c\n  null # d\n",
         "{\"k\": null}"},
    });
}

TEST(RoundTripEmitter, ALaterDocumentWithDirectiveLinesStartsItself) {
    // The second root lost its "---" to an edit; its directive lines end
    // the document before and start its own.
    std::vector<YamlNode> roots{plain("a"), kv("b", plain("3"))};
    roots[1].mutable_directives() = {"%YAML 1.2", "%FOO bar # c"};
    std::string out;
    render_documents(out, NullStyle::Empty, roots);
    EXPECT_EQ(out, "a\n...\n%YAML 1.2\n%FOO bar # c\n---\nb: 3\n");
    roots[1].explicit_start = true;
    out.clear();
    render_documents(out, NullStyle::Empty, roots);
    EXPECT_EQ(out, "a\n...\n%YAML 1.2\n%FOO bar # c\n---\nb: 3\n");
    roots[1].mutable_directives().clear();
    roots[1].explicit_start = false;
    out.clear();
    render_documents(out, NullStyle::Empty, roots);
    EXPECT_EQ(out, "a\n---\nb: 3\n");
}

TEST(RoundTripEmitter, BlockCollectionsKeepTheirLayout) {
    YamlNode indented = at(seq({plain("a")}), 1, 2);
    YamlNode indentless = at(seq({plain("a")}), 1, 0);
    YamlNode compact = seq({plain("a"), plain("b")});
    compact.comments.compact = true;
    check({
        {"indentless", kv("k", indentless), "k:\n- a\n", "{\"k\": [\"a\"]}"},
        {"indented", kv("k", indented), "k:\n  - a\n", "{\"k\": [\"a\"]}"},
        {"compact", seq({compact, plain("c")}), "- - a\n  - b\n- c\n", "[[\"a\", \"b\"], \"c\"]"},
        {"not compact", seq({seq({plain("a")})}), "-\n  - a\n", "[[\"a\"]]"},
        {"mapping item", seq({map({{plain("a"), plain("1")}, {plain("b"), plain("2")}})}), "- a: 1\n  b: 2\n",
         "[{\"a\": 1, \"b\": 2}]"},
        {"block mapping key", map({{map({{plain("a"), plain("1")}}), plain("v")}}), "?\n  a: 1\n: v\n",
         "{{\"a\": 1}: \"v\"}"},
        {"block scalar key", map({{literal("a\n"), plain("v")}}), "? |\n  a\n: v\n", "{\"a\\n\": \"v\"}"},
        {"empty collections", map({{plain("a"), seq({})}, {plain("b"), seq({map({}, Block)})}}),
         "a: []\nb:\n- {}\n", "{\"a\": [], \"b\": [{}]}"},
        {"value pad", map({{plain("a"), [] {
                                YamlNode v = plain("1");
                                v.comments.value_pad = 3;
                                return v;
                            }()}}),
         "a:   1\n", "{\"a\": 1}"},
        {"properties", tagged(anchored(kv("k", tagged(anchored(seq({plain("x")}), "s"), "!t")), "m"), "!m"),
         "!m &m\nk: !t &s\n- x\n", "!m({\"k\": !t([\"x\"])})"},
        // A tag no tag token can hold is written verbatim, escaped.
        {"control character in a tag", kv("k", tagged(plain("v"), std::string("!\0t", 3))), "k: !<!%00t> v\n",
         "{\"k\": !<!%00t>(\"v\")}"},
    });
}

// Places where writing the tree naively would not read back.
TEST(RoundTripEmitter, PropertiesAndAliasesStayWithTheirNode) {
    YamlNode nested = tagged(seq({plain("x")}), "!t");
    nested.comments.compact = true;
    check({
        {"anchored mapping item", seq({anchored(map({{plain("x"), plain("1")}}), "a"), alias("a")}),
         "- &a\n  x: 1\n- *a\n", "[{\"x\": 1}, {\"x\": 1}]"},
        {"tagged sequence item", seq({nested}), "- !t\n  - x\n", "[!t([\"x\"])]"},
        {"alias key", map({{anchored(plain("k"), "a"), plain("1")}, {alias("a"), plain("2")}}), "&a k: 1\n*a : 2\n",
         "{\"k\": 1, \"k\": 2}"},
        {"alias key in flow", map({{plain("x"), anchored(plain("k"), "a")}, {plain("y"), map({{alias("a"), plain("2")}}, Flow)}}),
         "x: &a k\ny: {*a : 2}\n", "{\"x\": \"k\", \"y\": {\"k\": 2}}"},
    });
}

TEST(RoundTripEmitter, DirectivesAndDirectiveNodes) {
    YamlNode root = kv("k", tagged(plain("v"), "!e!x"));
    root.mutable_directives() = {"%YAML 1.2", "%TAG !e! tag:example.com,2000:"};
    root.explicit_start = true;
    YamlNode include = from_source(with_foot(with_inline(with_head(kv("in", plain("file")), {"file head"}), "i"),
                                             {"file foot"}),
                                   "!include", "a.yaml", 1);
    check({
        {"directive lines", root, "%YAML 1.2\n%TAG !e! tag:example.com,2000:\n---\nk: !e!x v\n",
         "{\"k\": tag:example.com,2000:x(\"v\")}"},
        {"include", map({{plain("k"), include}, {plain("s"), with_inline(from_source(plain("pw"), "!secret", "db"), "c")}}),
         "k: !include a.yaml\ns: !secret db # c\n", "{\"k\": !include(\"a.yaml\"), \"s\": !secret(\"db\")}"},
        {"in flow and in items", seq({seq({from_source(plain("x"), "!env_var", "HOME")}, Flow),
                                      from_source(plain("y"), "!include", "my #1.yaml", 2)}),
         "- [!env_var HOME]\n- !include \"my #1.yaml\"\n", "[[!env_var(\"HOME\")], !include(\"my #1.yaml\")]"},
    });
}

TEST(RoundTripEmitter, CommentsAreNeverDropped) {
    YamlNode flow = with_inline(map({{with_head(plain("a"), {"first"}), with_inline(plain("1"), "one", 2)},
                                     {plain("b"), with_inline(seq({with_head(plain("x"), {"inner"})}, Flow), "two")}},
                                    Flow),
                                "after");
    YamlNode item_mapping = with_inline(map({{with_head(plain("a"), {"key"}), null_node()}, {plain("b"), plain("2")}}),
                                        "mapping");
    check({
        {"head of a value", kv("a", with_head(plain("x"), {"c"})), "a:\n  # c\n  x\n", "{\"a\": \"x\"}"},
        {"flow collection", kv("k", flow),
         // The comment of a collection over several lines goes above it:
         // after its closing bracket it would be the next node's.
         "k:\n  # after\n  {\n    # first\n    a: 1, # one\n    # two\n    b: [\n      # inner\n      x\n    ]\n  }\n",
         "{\"k\": {\"a\": 1, \"b\": [\"x\"]}}"},
        {"mapping item", seq({item_mapping}), "# mapping\n# key\n- a:\n  b: 2\n", "[{\"a\": null, \"b\": 2}]"},
        // After "key:", where reading it back gives the collection its
        // inline comment again; an item's stands above its dash.
        {"block value", kv("k", with_inline(seq({plain("x")}), "v")), "k: # v\n- x\n", "{\"k\": [\"x\"]}"},
        {"block value with properties", kv("k", with_inline(anchored(kv("a", plain("1")), "m"), "v", 3)),
         "k: &m   # v\n  a: 1\n", "{\"k\": {\"a\": 1}}"},
    });
}

TEST(IncludedFiles, RenderedAsFilesOfTheirOwn) {
    YamlNode file = with_foot(with_head(map({{plain("a"), synthetic_null()}}), {"head"}), {"foot"});
    file.leading_bom = true;
    YamlNode root = from_source(file, "!include", "a.yaml", 1);
    EXPECT_EQ(render_file_text(root), "\xEF\xBB\xBF# head\na: null\n# foot\n");
}

TEST(IncludedFiles, CollectedWhenChanged) {
    YamlNode b = from_source(kv("b", plain("2")), "!include", "b.yaml", 2);
    YamlNode a = from_source(map({{plain("inner"), b}, {plain("x"), plain("1")}}), "!include", "a.yaml", 1);
    YamlNode root = map({{plain("first"), a}, {plain("again"), from_source(kv("b", plain("2")), "!include", "b.yaml", 3)},
                         {plain("secret"), from_source(plain("s"), "!secret", "k")}});
    const std::vector<std::optional<std::string>> texts{"root", "a as read", "b as read", std::nullopt};
    std::vector<IncludeText> changed;
    collect_modified_includes(root, texts, changed);
    EXPECT_TRUE(changed.empty());

    std::vector<IncludeText> all;
    collect_include_texts(root, texts, all);
    EXPECT_EQ(all, (std::vector<IncludeText>{{1, "a as read"}, {2, "b as read"}, {3, "b: 2\n"}}));

    // A change inside b.yaml belongs to b.yaml only.
    root.pairs()[0].value.pairs()[0].value.pairs()[0].value.comments.modified = true;
    root.pairs()[2].value.comments.modified = true;
    collect_modified_includes(root, texts, changed);
    EXPECT_EQ(changed, (std::vector<IncludeText>{{2, "b: 2\n"}}));
    all.clear();
    collect_include_texts(root, texts, all);
    EXPECT_EQ(all, (std::vector<IncludeText>{{1, "a as read"}, {2, "b: 2\n"}, {3, "b: 2\n"}}));
    // A change in a.yaml writes a.yaml with its include as a directive.
    root.pairs()[0].value.pairs()[1].value.comments.modified = true;
    changed.clear();
    collect_modified_includes(root, texts, changed);
    EXPECT_EQ(changed, (std::vector<IncludeText>{{1, "inner: !include b.yaml\nx: 1\n"}, {2, "b: 2\n"}}));
}

// An include holds the first document of its file; written back, the file
// keeps the others, with their comments.
TEST(IncludedFiles, KeepTheirOtherDocuments) {
    const std::string text = "# one\na: 1\n---\n# two\nb: 2\n...\n---\n- c\n# end\n";
    YamlNode first = from_source(kv("a", modified(plain("5"))), "!include", "many.yaml", 1);
    first.comments.mutable_head() = {" one"};
    EXPECT_EQ(render_file_text(first, text), "# one\na: 5\n---\n# two\nb: 2\n---\n- c\n# end\n");
    const std::vector<std::optional<std::string>> texts{"root", text};
    std::vector<IncludeText> changed;
    collect_modified_includes(map({{plain("k"), first}}), texts, changed);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].second, render_file_text(first, text));
}

TEST(RoundTripEmitter, DeepTreesAreWritten) {
    YamlNode tree = plain("x");
    for (int i = 0; i < 100000; ++i) {
        std::vector<NodePair> pairs;
        pairs.push_back(NodePair{plain("k"), std::move(tree)});
        tree = YamlNode::mapping(std::move(pairs), i % 2 ? Block : Flow);
    }
    std::string out;
    render_document(out, NullStyle::Empty, tree);
    EXPECT_GT(out.size(), 100000u);
}

}  // namespace
}  // namespace quillmere::roundtrip
