// Hand-built round-trip (YamlNode) trees for tests:
//
//     map({{plain("a"), seq({plain("1"), alias("x")}, Flow)}})
//
// and chained setters for what a composed node would carry:
//
//     anchored(plain("1"), "x")   tagged(map({}), "!t")   with_head(node, {"c"})
#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "roundtrip/ast.h"

namespace quillmere::testing {

using roundtrip::NodePair;
using roundtrip::YamlNode;

inline YamlNode scalar(std::string text, ScalarStyle style) { return YamlNode::scalar(std::move(text), style); }
inline YamlNode plain(std::string text) { return scalar(std::move(text), ScalarStyle::Plain); }
inline YamlNode alias(std::string name) { return YamlNode::alias(std::move(name)); }
inline YamlNode null_node() { return YamlNode::null(); }

inline YamlNode seq(std::initializer_list<YamlNode> items, CollectionStyle style = CollectionStyle::Block) {
    return YamlNode::sequence(std::vector<YamlNode>(items), style);
}

inline YamlNode map(std::initializer_list<std::pair<YamlNode, YamlNode>> pairs,
                    CollectionStyle style = CollectionStyle::Block) {
    std::vector<NodePair> out;
    for (const auto& [key, value] : pairs) out.push_back(NodePair{key, value});
    return YamlNode::mapping(std::move(out), style);
}

inline YamlNode anchored(YamlNode node, std::string name) {
    node.mutable_anchor() = std::move(name);
    return node;
}

inline YamlNode tagged(YamlNode node, std::string tag) {
    node.mutable_tag() = std::move(tag);
    return node;
}

inline YamlNode at(YamlNode node, std::uint32_t line, std::uint32_t column, std::uint64_t offset = 0) {
    node.span.line = line;
    node.span.column = column;
    node.span.offset = offset;
    return node;
}

// Comment texts are given as Python shows them: without the blank after
// the "#".
inline YamlNode with_head(YamlNode node, std::vector<std::string> head, std::uint32_t blank_before = 0) {
    for (std::string& line : head) line = roundtrip::stored_comment(line);
    node.comments.mutable_head() = std::move(head);
    node.comments.blank_before = blank_before;
    return node;
}

inline YamlNode with_inline(YamlNode node, std::string text, std::uint32_t spaces = 1) {
    node.comments.mutable_inline_comment() = roundtrip::stored_comment(text);
    node.comments.inline_spaces = spaces;
    return node;
}

inline YamlNode with_foot(YamlNode node, std::vector<std::string> foot) {
    for (std::string& line : foot) line = roundtrip::stored_comment(line);
    node.comments.mutable_foot() = std::move(foot);
    return node;
}

inline YamlNode with_raw(YamlNode node, std::string raw) {
    node.comments.mutable_raw() = std::move(raw);
    return node;
}

inline YamlNode modified(YamlNode node) {
    node.comments.modified = true;
    return node;
}

inline YamlNode from_source(YamlNode node, std::string tag, std::string target,
                            std::optional<std::uint32_t> file_id = std::nullopt) {
    node.mutable_source() = roundtrip::IncludeSource{std::move(tag), std::move(target), file_id};
    return node;
}

}  // namespace quillmere::testing
