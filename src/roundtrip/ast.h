// YamlNode: the round-trip tree.
//
// The composer builds one tree per YAML document; comment attachment fills
// in the layout, the directives replace directive nodes, the checks read
// and rewrite scalars, the document API navigates and edits, and the
// round-trip emitter writes the tree back. A node carries, besides its
// content, everything needed to write its text again:
//
//     # about a                     Mapping (Block)
//     a:   &x 'one'  # first          key   Scalar "a" Plain, head ["about a"]
//                                     value Scalar "one" SingleQuoted, anchor x,
//                                           value_pad 3, inline "first",
//                                           inline_spaces 2
//
// Layout numbers and flags live in the node. Everything most nodes lack
// (anchor, tag, provenance, comment texts, the raw text of block scalars)
// lives in blocks that are allocated only when one of them is set, so a
// plain node stays small. A node owns everything below it; copies are deep.
// Copying walks the tree through the stack guard and destruction uses an
// explicit work list, so trees of any depth are copied and freed safely.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "model/span.h"
#include "model/styles.h"

namespace quillmere::roundtrip {

enum class NodeKind : std::uint8_t { Scalar, Sequence, Mapping, Alias, Null };

// Where a directive-produced node came from. A node whose source has a
// target_file_id is the root of an included file.
struct IncludeSource {
    std::string tag;     // "!include", "!secret", ... as written
    std::string target;  // the directive's argument
    std::optional<std::uint32_t> target_file_id;

    friend bool operator==(const IncludeSource&, const IncludeSource&) = default;
};

// Comment texts of a node; allocated only when one of them is present.
struct CommentTexts {
    std::vector<std::string> head;
    std::optional<std::string> inline_comment;
    std::optional<std::string> raw;
    std::vector<std::string> foot;
};

// Comments and layout of a node.
class Comments {
public:
    std::uint32_t blank_before = 0;   // blank lines above the head comments
    std::uint32_t inline_spaces = 0;  // blanks between the content and "#"
    std::uint32_t value_pad = 0;      // spaces between an indicator and the value
    bool compact = false;             // a block sequence on its parent item's dash line
    bool modified = false;            // changed by an edit or the 1.1 upgrade

    Comments() = default;
    Comments(const Comments& other);
    Comments& operator=(const Comments& other);
    Comments(Comments&&) noexcept = default;
    Comments& operator=(Comments&&) noexcept = default;

    // Full-line comments above the node (for a mapping entry: on the key).
    const std::vector<std::string>& head() const { return texts_ ? texts_->head : empty_list(); }
    std::vector<std::string>& mutable_head() { return texts().head; }
    // The comment that ends the node's last line, without "#".
    const std::optional<std::string>& inline_comment() const {
        return texts_ ? texts_->inline_comment : empty_text();
    }
    std::optional<std::string>& mutable_inline_comment() { return texts().inline_comment; }
    // The source text of a Literal or Folded scalar, indicator included.
    const std::optional<std::string>& raw() const { return texts_ ? texts_->raw : empty_text(); }
    std::optional<std::string>& mutable_raw() { return texts().raw; }
    // Comment lines after the last node of a text (last document root only).
    const std::vector<std::string>& foot() const { return texts_ ? texts_->foot : empty_list(); }
    std::vector<std::string>& mutable_foot() { return texts().foot; }

    bool has_texts() const { return texts_ != nullptr; }

private:
    CommentTexts& texts();
    static const std::vector<std::string>& empty_list();
    static const std::optional<std::string>& empty_text();

    std::unique_ptr<CommentTexts> texts_;
};

struct NodePair;

class YamlNode {
public:
    // A Null node at position zero, no properties, no comments.
    YamlNode() = default;
    ~YamlNode();
    YamlNode(const YamlNode& other);
    YamlNode& operator=(const YamlNode& other);
    YamlNode(YamlNode&& other) noexcept = default;
    YamlNode& operator=(YamlNode&& other) noexcept = default;

    static YamlNode null();
    static YamlNode scalar(std::string text, ScalarStyle style);
    static YamlNode alias(std::string name);
    static YamlNode sequence(std::vector<YamlNode> items, CollectionStyle style);
    static YamlNode mapping(std::vector<NodePair> pairs, CollectionStyle style);

    NodeKind kind() const { return kind_; }
    bool is(NodeKind kind) const { return kind_ == kind; }

    // Scalar: the value as the scanner produced it. Alias: the name, without "*".
    const std::string& text() const { return std::get<std::string>(payload_); }
    std::string& text() { return std::get<std::string>(payload_); }
    ScalarStyle scalar_style() const { return scalar_style_; }
    void set_scalar_style(ScalarStyle style) { scalar_style_ = style; }

    const std::vector<YamlNode>& items() const { return std::get<std::vector<YamlNode>>(payload_); }
    std::vector<YamlNode>& items() { return std::get<std::vector<YamlNode>>(payload_); }
    const std::vector<NodePair>& pairs() const { return std::get<std::vector<NodePair>>(payload_); }
    std::vector<NodePair>& pairs() { return std::get<std::vector<NodePair>>(payload_); }

    // Block for every node that is not a sequence or mapping.
    CollectionStyle style() const { return style_; }
    void set_style(CollectionStyle style) { style_ = style; }

    // Replaces the content (kind and payload) and keeps everything else.
    void set_content(YamlNode&& content);

    // Properties as written: anchor without "&", tag exactly as scanned.
    const std::optional<std::string>& anchor() const;
    std::optional<std::string>& mutable_anchor();
    const std::optional<std::string>& tag() const;
    std::optional<std::string>& mutable_tag();
    const std::optional<IncludeSource>& source() const;
    std::optional<IncludeSource>& mutable_source();
    // On a document root: the "%YAML" and "%TAG" lines written before its
    // "---", each as it stood in the text (without its line break).
    const std::vector<std::string>& directives() const;
    std::vector<std::string>& mutable_directives();

    Span span;
    std::uint64_t end_offset = 0;
    std::uint32_t end_line = 0;
    std::uint32_t end_column = 0;
    Comments comments;
    bool explicit_start = false;  // a document root after "---"
    bool leading_bom = false;     // the first root of a text that began with a BOM
    bool synthetic = false;       // a null made from an assigned None

private:
    struct Properties {
        std::optional<std::string> anchor;
        std::optional<std::string> tag;
        std::optional<IncludeSource> source;
        std::vector<std::string> directives;
    };
    Properties& properties();
    // Moves this node's children onto `work`, leaving it childless.
    void take_children(std::vector<YamlNode>& work);
    friend YamlNode clone_node(const YamlNode& node);

    std::variant<std::monostate, std::string, std::vector<YamlNode>, std::vector<NodePair>> payload_;
    std::unique_ptr<Properties> properties_;
    NodeKind kind_ = NodeKind::Null;
    ScalarStyle scalar_style_ = ScalarStyle::Plain;
    CollectionStyle style_ = CollectionStyle::Block;
};

// One mapping entry. Keys are full nodes of any kind; a mapping keeps
// repeated keys in source order.
struct NodePair {
    YamlNode key;
    YamlNode value;
};

// A deep copy that keeps every field; stack-guarded, so any depth copies.
YamlNode clone_node(const YamlNode& node);

// Frees a document tree without recursion, whatever its depth. The ordinary
// destructor does the same; this names the hand-over of a whole tree.
void release_tree(YamlNode root);

}  // namespace quillmere::roundtrip
