#include "support/tree_text.h"

#include <algorithm>

#include "encode/scalar_text.h"
#include "resolver/resolver.h"
#include "scanner/scanner.h"
#include "scanner/unicode.h"

namespace quillmere::testing {

using roundtrip::NodeKind;
using roundtrip::NodePair;
using roundtrip::YamlNode;

namespace {

void describe(std::string& out, const YamlNode& node) {
    if (node.anchor()) out += "&" + *node.anchor() + " ";
    if (node.tag()) out += *node.tag() + " ";
    switch (node.kind()) {
        case NodeKind::Null:
            out += "null";
            return;
        case NodeKind::Alias:
            out += "*" + node.text();
            return;
        case NodeKind::Scalar: {
            const auto value = resolver::resolve_scalar_owned(
                resolver::ResolveMode::Core12, node.text(), node.scalar_style() != ScalarStyle::Plain,
                node.tag() ? resolver::OptionalTag(*node.tag()) : std::nullopt);
            switch (value.kind) {
                case resolver::ResolvedKind::Null: out += "null"; break;
                case resolver::ResolvedKind::Bool: out += value.boolean ? "true" : "false"; break;
                case resolver::ResolvedKind::Int: out += "i:" + std::to_string(value.integer); break;
                case resolver::ResolvedKind::BigInt: out += "i:" + value.text; break;
                case resolver::ResolvedKind::Float: out += "f:" + encode::format_float(value.number); break;
                case resolver::ResolvedKind::Invalid: out += "invalid(" + node.text() + ")"; break;
                default: encode::write_double_quoted(out, value.text); break;
            }
            return;
        }
        case NodeKind::Sequence: {
            out += '[';
            for (std::size_t i = 0; i < node.items().size(); ++i) {
                if (i > 0) out += ", ";
                describe(out, node.items()[i]);
            }
            out += ']';
            return;
        }
        case NodeKind::Mapping: {
            out += '{';
            for (std::size_t i = 0; i < node.pairs().size(); ++i) {
                if (i > 0) out += ", ";
                describe(out, node.pairs()[i].key);
                out += ": ";
                describe(out, node.pairs()[i].value);
            }
            out += '}';
            return;
        }
    }
}

}  // namespace

std::string describe_tree(const YamlNode& root) {
    std::string out;
    describe(out, root);
    return out;
}

std::string describe_documents(std::span<const YamlNode> roots) {
    std::string out;
    for (const YamlNode& root : roots) {
        if (!out.empty()) out += " | ";
        describe(out, root);
    }
    return out;
}

std::vector<YamlNode*> leaves_of(std::vector<YamlNode>& roots) {
    std::vector<YamlNode*> leaves;
    std::vector<YamlNode*> work;
    for (auto it = roots.rbegin(); it != roots.rend(); ++it) work.push_back(&*it);
    while (!work.empty()) {
        YamlNode* node = work.back();
        work.pop_back();
        if (node->is(NodeKind::Sequence)) {
            for (auto it = node->items().rbegin(); it != node->items().rend(); ++it) work.push_back(&*it);
        } else if (node->is(NodeKind::Mapping)) {
            for (auto it = node->pairs().rbegin(); it != node->pairs().rend(); ++it) {
                work.push_back(&it->value);
                work.push_back(&it->key);
            }
        } else {
            leaves.push_back(node);
        }
    }
    return leaves;
}

std::vector<std::string> comments_of(std::string_view text) {
    scanner::Scanner scanner(text, 0, true);
    TokenList tokens;
    while (!scanner.finished())
        if (!scanner.scan_some(tokens, 1024).ok()) return {};
    struct Found {
        std::uint64_t offset;
        std::string text;
    };
    std::vector<Found> found;
    for (const ScannedComment& comment : scanner.comments()) found.push_back({comment.span.offset, comment.text});
    for (const Token& token : tokens) {
        if (token.kind != TokenKind::Scalar) continue;
        const auto style = static_cast<ScalarStyle>(token.style);
        if (style != ScalarStyle::Literal && style != ScalarStyle::Folded) continue;
        const std::string_view source = text.substr(token.span.offset, token.end_offset - token.span.offset);
        const std::string_view header = source.substr(0, source.find_first_of("\r\n"));
        std::size_t hash = 1;
        while (hash < header.size() && !(header[hash] == '#' && (header[hash - 1] == ' ' || header[hash - 1] == '\t')))
            ++hash;
        if (hash >= header.size()) continue;
        found.push_back({token.span.offset + hash, std::string(header.substr(hash + 1))});
    }
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.offset < b.offset; });
    std::vector<std::string> out;
    for (Found& f : found) out.push_back(std::move(f.text));
    return out;
}

}  // namespace quillmere::testing
