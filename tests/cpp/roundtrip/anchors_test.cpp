// The anchor table, the two alias-expanding copies and the path queries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "roundtrip/anchors.h"
#include "support/yaml_nodes.h"

namespace quillmere::roundtrip {
namespace {

using namespace quillmere::testing;

// Nodes other than the nulls that stand for what was cut off.
std::size_t count_nodes(const YamlNode& node) {
    std::size_t n = node.is(NodeKind::Null) ? 0 : 1;
    if (node.is(NodeKind::Sequence)) {
        for (const YamlNode& item : node.items()) n += count_nodes(item);
    } else if (node.is(NodeKind::Mapping)) {
        for (const NodePair& pair : node.pairs()) n += count_nodes(pair.key) + count_nodes(pair.value);
    }
    return n;
}

std::string show(const Path& path) {
    std::string out;
    for (const PathSegment& step : path) out += step.is_key() ? "/" + step.key() : "/" + std::to_string(step.index());
    return out.empty() ? "/" : out;
}

TEST(AnchorTable, TheFirstDefinitionWinsInEveryDocument) {
    // a: &x 1 / b: [*x, &x 2, *x] --- c: *x / d: *y
    std::vector<YamlNode> roots;
    roots.push_back(map({{plain("a"), anchored(plain("1"), "x")},
                         {plain("b"), seq({alias("x"), anchored(plain("2"), "x"), alias("x")})}}));
    roots.push_back(map({{plain("c"), alias("x")}, {plain("d"), alias("y")}}));
    const AnchorTable table = build_anchor_table(roots);
    ASSERT_NE(table.find("x"), nullptr);
    EXPECT_EQ(table.find("x")->text(), "1");
    // An anchored scalar's copy is exact, its anchor included.
    EXPECT_EQ(table.find("x")->anchor(), "x");
    EXPECT_EQ(table.find("y"), nullptr);
    EXPECT_EQ(table.size(), 1u);
    // The tree still holds its aliases.
    EXPECT_TRUE(roots[1].pairs()[1].value.is(NodeKind::Alias));
}

TEST(AnchorTable, OnlyUsedAnchorsAreExpanded) {
    std::vector<YamlNode> roots;
    roots.push_back(seq({anchored(seq({plain("1"), alias("b")}), "a"), anchored(plain("2"), "b"),
                         anchored(plain("3"), "unused")}));
    // *b is used inside a's definition; a itself and "unused" are not.
    EXPECT_EQ(build_anchor_table(roots).size(), 1u);
    EXPECT_EQ(build_anchor_table(roots).find("a"), nullptr);
    roots[0].items().push_back(alias("a"));
    const AnchorTable table = build_anchor_table(roots);
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(table.find("unused"), nullptr);
    const YamlNode* a = table.find("a");
    ASSERT_NE(a, nullptr);
    ASSERT_TRUE(a->is(NodeKind::Sequence));
    EXPECT_EQ(a->items()[1].text(), "2");
}

TEST(AnchorTable, CopiesOfCollectionsAreBareBlockCollections) {
    YamlNode flow = with_inline(with_head(tagged(map({{plain("k"), alias("s")}}, CollectionStyle::Flow), "!t"), {"c"}),
                                "i");
    flow.span = Span{0, 3, 4, 40};
    flow.end_offset = 60;
    std::vector<YamlNode> roots;
    roots.push_back(seq({anchored(flow, "m"), with_inline(anchored(plain("v"), "s"), "kept"), alias("m")}));
    const AnchorTable table = build_anchor_table(roots);
    const YamlNode* m = table.find("m");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->style(), CollectionStyle::Block);
    EXPECT_EQ(m->tag(), "!t");
    EXPECT_FALSE(m->anchor());
    EXPECT_TRUE(m->comments.head().empty());
    EXPECT_FALSE(m->comments.inline_comment());
    EXPECT_EQ(m->span, (Span{0, 3, 4, 40}));
    EXPECT_EQ(m->end_offset, 40u);
    EXPECT_EQ(m->end_line, 3u);
    const YamlNode& value = m->pairs()[0].value;
    EXPECT_EQ(value.text(), "v");
    EXPECT_EQ(value.comments.inline_comment(), " kept");
}

TEST(AnchorTable, SelfReferenceStopsAfterADepthOfAHundred) {
    std::vector<YamlNode> roots;
    roots.push_back(map({{plain("a"), anchored(seq({plain("x"), alias("a")}), "a")}, {plain("b"), alias("a")}}));
    const AnchorTable table = build_anchor_table(roots);
    const YamlNode* node = table.find("a");
    ASSERT_NE(node, nullptr);
    int levels = 0;
    while (node->is(NodeKind::Sequence)) {
        node = &node->items()[1];
        ++levels;
    }
    EXPECT_EQ(levels, 101);
    EXPECT_TRUE(node->is(NodeKind::Null));
}

// a0: &a0 [x, ...] (10 items), a_i: &a_i [*a_(i-1) x 10], and one use of the
// last: the full expansion would copy over 10^7 nodes.
std::vector<YamlNode> alias_bomb(int levels) {
    std::vector<NodePair> pairs;
    std::vector<YamlNode> items(10, plain("x"));
    pairs.push_back(NodePair{plain("a0"), anchored(YamlNode::sequence(items, CollectionStyle::Flow), "a0")});
    for (int i = 1; i < levels; ++i) {
        std::vector<YamlNode> aliases(10, alias("a" + std::to_string(i - 1)));
        pairs.push_back(NodePair{plain("a" + std::to_string(i)),
                                 anchored(YamlNode::sequence(aliases, CollectionStyle::Flow), "a" + std::to_string(i))});
    }
    pairs.push_back(NodePair{plain("use"), alias("a" + std::to_string(levels - 1))});
    std::vector<YamlNode> roots;
    roots.push_back(YamlNode::mapping(std::move(pairs), CollectionStyle::Block));
    return roots;
}

TEST(AnchorTable, ABombSpendsTheBudgetInDocumentOrder) {
    const std::vector<YamlNode> roots = alias_bomb(8);
    const AnchorTable table = build_anchor_table(roots);
    std::size_t total = 0;
    for (int i = 0; i < 8; ++i) {
        const YamlNode* entry = table.find("a" + std::to_string(i));
        ASSERT_NE(entry, nullptr) << i;
        total += count_nodes(*entry);
    }
    EXPECT_LE(total, kAliasExpansionBudget);
    // Names are expanded as the aliases that use them come: the early,
    // small ones whole, the last ones cut off.
    EXPECT_EQ(count_nodes(*table.find("a0")), 11u);
    EXPECT_EQ(count_nodes(*table.find("a4")), 111111u);
    EXPECT_TRUE(table.find("a5")->items().back().is(NodeKind::Null));
    EXPECT_TRUE(table.find("a7")->is(NodeKind::Null));
    // The same text gives the same table, whatever the hash order.
    const AnchorTable again = build_anchor_table(roots);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(count_nodes(*again.find("a" + std::to_string(i))), count_nodes(*table.find("a" + std::to_string(i))));
}

TEST(DetachCopy, KeepsLayoutAndProvenanceAndDropsAnchors) {
    YamlNode secret = from_source(plain("hunter2"), "!secret", "db_password");
    YamlNode defined = anchored(with_head(map({{plain("p"), secret}, {plain("q"), alias("nowhere")}},
                                              CollectionStyle::Flow),
                                          {"above"}),
                                "d");
    defined.span = Span{0, 1, 2, 10};
    defined.end_offset = 30;
    defined.explicit_start = true;
    std::vector<YamlNode> roots{map({{plain("d"), defined}, {plain("e"), with_inline(tagged(alias("d"), "!t"), "c")}})};
    const AliasTargets targets(roots);
    std::uint64_t budget = kAliasExpansionBudget;
    const YamlNode copy = detach_copy(roots[0].pairs()[1].value, targets, 0, budget);
    ASSERT_TRUE(copy.is(NodeKind::Mapping));
    EXPECT_EQ(copy.style(), CollectionStyle::Flow);
    EXPECT_FALSE(copy.anchor());
    EXPECT_FALSE(copy.explicit_start);
    EXPECT_EQ(copy.comments.head(), std::vector<std::string>{" above"});
    EXPECT_EQ(copy.end_offset, 10u);
    // The secret's value is written back as its directive.
    const YamlNode& p = copy.pairs()[0].value;
    ASSERT_TRUE(p.source());
    EXPECT_EQ(p.source()->tag, "!secret");
    EXPECT_EQ(p.source()->target, "db_password");
    // An unknown alias becomes a null that keeps the alias's layout.
    YamlNode unknown = with_inline(tagged(alias("nowhere"), "!t"), "c");
    const YamlNode null = detach_copy(unknown, targets, 0, budget);
    EXPECT_TRUE(null.is(NodeKind::Null));
    EXPECT_EQ(null.tag(), "!t");
    EXPECT_EQ(null.comments.inline_comment(), " c");
    EXPECT_EQ(budget, kAliasExpansionBudget - 7);
    std::uint64_t spent = 0;
    EXPECT_TRUE(detach_copy(defined, targets, 0, spent).is(NodeKind::Null));
    EXPECT_TRUE(detach_copy(defined, targets, kAliasExpansionDepth + 1, budget).is(NodeKind::Null));
}

TEST(AliasTargets, AnAliasMeansTheLatestDefinitionCompleteBeforeIt) {
    // a: &x 1   b: *x   c: &x {k: *x, &y m: *y}   d: *x   --- e: *x   f: &z [*z]
    std::vector<YamlNode> roots;
    roots.push_back(map({{plain("a"), anchored(plain("1"), "x")},
                         {plain("b"), alias("x")},
                         {plain("c"), anchored(map({{plain("k"), alias("x")}, {anchored(plain("m"), "y"), alias("y")}}),
                                               "x")},
                         {plain("d"), alias("x")}}));
    roots.push_back(map({{plain("e"), alias("x")}, {plain("f"), anchored(seq({alias("z")}), "z")}}));
    const AliasTargets targets(roots);
    const YamlNode& first = roots[0].pairs()[0].value;
    const YamlNode& second = roots[0].pairs()[2].value;
    EXPECT_EQ(targets.find(roots[0].pairs()[1].value), &first);
    EXPECT_EQ(targets.find(second.pairs()[0].value), &first);  // its own mapping is not complete yet
    EXPECT_EQ(targets.find(second.pairs()[1].value), &second.pairs()[1].key);  // a key defines too
    EXPECT_EQ(targets.find(roots[0].pairs()[3].value), &second);
    EXPECT_EQ(targets.find(roots[1].pairs()[0].value), &second);
    // No complete definition before it: the first definition, here its own node.
    const YamlNode& own = roots[1].pairs()[1].value;
    EXPECT_EQ(targets.find(own.items()[0]), &own);
    EXPECT_EQ(AliasTargets(roots, AliasTargets::Unpreceded::Nothing).find(own.items()[0]), nullptr);
    EXPECT_EQ(targets.find(alias("x")), nullptr);  // not an alias of the trees
    EXPECT_EQ(AliasTargets(std::span(roots).first(1)).find(roots[1].pairs()[0].value), nullptr);

    EXPECT_EQ(show(*path_to_node(roots[0], second)), "/c");
    EXPECT_EQ(show(*path_to_node(roots[0], roots[0])), "/");
    EXPECT_FALSE(path_to_node(roots[0], second.pairs()[1].key));  // keys have no path
    EXPECT_FALSE(path_to_node(roots[0], own));
    std::vector<std::string> shown;
    for (const Path& path : alias_paths(roots[0], first, targets)) shown.push_back(show(path));
    EXPECT_EQ(shown, (std::vector<std::string>{"/b", "/c/k"}));
}

TEST(PathQueries, FindAnchorsAndAliases) {
    // a: &r {b: [x, &i y, *i]}   &k key: *i   c: [*i]  --- second: &only 1
    YamlNode inner = seq({plain("x"), anchored(plain("y"), "i"), alias("i")});
    std::vector<YamlNode> roots;
    roots.push_back(map({{plain("a"), anchored(map({{plain("b"), inner}}), "r")},
                         {anchored(plain("key"), "k"), alias("i")},
                         {seq({plain("flow")}, CollectionStyle::Flow), alias("i")},
                         {plain("c"), seq({alias("i")})}}));
    roots.push_back(map({{plain("second"), anchored(plain("1"), "only")}}));

    EXPECT_EQ(show(*anchor_path(roots, "r")), "/a");
    EXPECT_EQ(show(*anchor_path(roots, "i")), "/a/b/1");
    EXPECT_FALSE(anchor_path(roots, "k"));     // on a key
    EXPECT_FALSE(anchor_path(roots, "only"));  // in the second document only
    EXPECT_FALSE(anchor_path({}, "r"));
    std::vector<YamlNode> anchored_root{anchored(plain("1"), "top")};
    EXPECT_EQ(show(*anchor_path(anchored_root, "top")), "/");

    const auto target_of = [&](const Path& path) -> std::optional<Path> {
        const YamlNode* node = follow_path(roots[0], path);
        return node ? alias_target_path(roots, 0, *node) : std::nullopt;
    };
    EXPECT_EQ(show(*target_of({PathSegment::key("c"), PathSegment::index(0)})), "/a/b/1");
    EXPECT_FALSE(target_of({PathSegment::key("a")}));
    EXPECT_FALSE(target_of({PathSegment::key("c"), PathSegment::index(1)}));
    EXPECT_FALSE(target_of({PathSegment::index(0)}));

    const AliasTargets targets(roots);
    std::vector<std::string> shown;
    for (const Path& path : alias_paths(roots[0], roots[0].pairs()[0].value.pairs()[0].value.items()[1], targets))
        shown.push_back(show(path));
    // The alias under the flow-sequence key has no path.
    EXPECT_EQ(shown, (std::vector<std::string>{"/a/b/2", "/key", "/c/0"}));

    YamlNode twice = seq({anchored(plain("1"), "d"), anchored(seq({anchored(plain("2"), "d")}), "e")});
    std::vector<std::string> anchors;
    for (const auto& [name, path] : list_anchors(anchored(twice, "top"))) anchors.push_back(name + show(path));
    EXPECT_EQ(anchors, (std::vector<std::string>{"top/", "d/0", "e/1", "d/1/0"}));
}

TEST(PathQueries, WalkWithPathStopsWhenAsked) {
    const YamlNode node = map({{plain("a"), plain("1")}, {alias("k"), plain("2")}, {plain("b"), plain("3")}});
    Path path;
    std::vector<std::string> seen;
    const bool stopped = walk_with_path(node, path, [&](const YamlNode& child, Path& at) {
        seen.push_back(show(at) + "=" + child.text());
        return child.text() == "3";
    });
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(path.empty());
    EXPECT_EQ(seen, (std::vector<std::string>{"/a=1", "/b=3"}));
}

TEST(PathQueries, AKeyThatALaterEntryRepeatsHasNoPath) {
    const YamlNode node = map({{plain("a"), anchored(plain("1"), "x")}, {plain("b"), plain("2")},
                               {scalar("a", ScalarStyle::SingleQuoted), anchored(plain("3"), "y")}});
    Path path;
    std::vector<std::string> seen;
    walk_with_path(node, path, [&](const YamlNode& child, Path& at) {
        seen.push_back(show(at) + "=" + child.text());
        return false;
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"/b=2", "/a=3"}));
    std::vector<YamlNode> roots{node};
    EXPECT_FALSE(anchor_path(roots, "x"));
    EXPECT_EQ(show(*anchor_path(roots, "y")), "/a");
    EXPECT_EQ(entry_position(node.pairs(), "a"), 2u);
    EXPECT_FALSE(entry_position(node.pairs(), "c"));
}

TEST(PathQueries, AddressableEntriesAgreeForEverySize) {
    // Small mappings are checked pair by pair, large ones through a set.
    for (std::size_t size : {1u, 5u, 16u, 17u, 64u}) {
        std::vector<NodePair> pairs;
        for (std::size_t i = 0; i < size; ++i) {
            YamlNode key = i % 7 == 3 ? alias("k") : plain(std::to_string(i * 5 % 11));
            pairs.push_back(NodePair{std::move(key), plain("v")});
        }
        const std::vector<bool> addressable = addressable_entries(pairs);
        for (std::size_t i = 0; i < size; ++i) {
            bool expected = pairs[i].key.is(NodeKind::Scalar);
            for (std::size_t k = i + 1; k < size && expected; ++k)
                expected = !(pairs[k].key.is(NodeKind::Scalar) && pairs[k].key.text() == pairs[i].key.text());
            EXPECT_EQ(addressable[i], expected) << size << " " << i;
        }
    }
}

TEST(StandaloneCopy, WritesTheDefinitionsOfAliasesOutsideWhereTheyAreFirstUsed) {
    // base: &b {x: &p 1}   port: &q 2
    // use: {c: *b, d: *b, e: &i 3, f: *i, g: *p, h: *q}
    YamlNode base = anchored(map({{plain("x"), anchored(plain("1"), "p")}}, CollectionStyle::Flow), "b");
    YamlNode use = map({{plain("c"), with_inline(alias("b"), "first")},
                        {plain("d"), alias("b")},
                        {plain("e"), anchored(plain("3"), "i")},
                        {plain("f"), alias("i")},
                        {plain("g"), alias("p")},
                        {plain("h"), alias("q")}});
    std::vector<YamlNode> roots{map({{plain("base"), base}, {plain("port"), anchored(plain("2"), "q")},
                                     {plain("use"), use}})};
    const YamlNode copy = standalone_copy(roots[0].pairs()[2].value, roots);
    const auto& pairs = copy.pairs();
    // The first alias of b becomes the definition with its anchor and the
    // alias's comment; the later one stays an alias of it.
    EXPECT_TRUE(pairs[0].value.is(NodeKind::Mapping));
    EXPECT_EQ(pairs[0].value.anchor(), "b");
    EXPECT_EQ(pairs[0].value.style(), CollectionStyle::Flow);
    EXPECT_EQ(pairs[0].value.comments.inline_comment(), " first");
    EXPECT_EQ(pairs[0].value.pairs()[0].value.anchor(), "p");
    EXPECT_TRUE(pairs[1].value.is(NodeKind::Alias));
    // Inside the copied node, aliases stay.
    EXPECT_TRUE(pairs[3].value.is(NodeKind::Alias));
    // *p is defined inside the copy of b, before it.
    EXPECT_TRUE(pairs[4].value.is(NodeKind::Alias));
    EXPECT_EQ(pairs[5].value.text(), "2");
    EXPECT_EQ(pairs[5].value.anchor(), "q");
}

TEST(Anchors, DeepTreesAreWalked) {
    YamlNode tree = anchored(alias("bottom"), "leaf");
    for (int i = 0; i < 200000; ++i) {
        std::vector<YamlNode> items;
        items.push_back(std::move(tree));
        tree = YamlNode::sequence(std::move(items), CollectionStyle::Block);
    }
    std::vector<YamlNode> roots;
    roots.push_back(std::move(tree));
    roots.push_back(anchored(seq({alias("leaf")}), "bottom"));
    EXPECT_EQ(list_anchors(roots[0]).size(), 1u);
    const AliasTargets targets(roots);
    EXPECT_EQ(alias_paths(roots[0], roots[1], targets).front().size(), 200000u);
    EXPECT_EQ(anchor_path(roots, "leaf")->size(), 200000u);
    const AnchorTable table = build_anchor_table(roots);
    EXPECT_NE(table.find("leaf"), nullptr);
    AnchorIndex index;
    collect_anchors(roots[0], index);
    std::uint64_t budget = kAliasExpansionBudget;
    EXPECT_TRUE(expand_copy(roots[0], index, 0, budget).is(NodeKind::Sequence));
    EXPECT_TRUE(detach_copy(roots[0], targets, 0, budget).is(NodeKind::Sequence));
}

}  // namespace
}  // namespace quillmere::roundtrip
