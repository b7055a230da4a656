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

#include <cassert>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "model/span.h"
#include "model/styles.h"

namespace quillmere::roundtrip {

enum class NodeKind : std::uint8_t { Scalar, Sequence, Mapping, Alias, Null };

// Comment texts are kept as they stand after their "#", the blank after it
// and trailing blanks included, so that a text is written back as it was:
// "#" and the stored text. Python sees a text without the one blank after
// the "#" and without trailing blanks; a text it sets is stored with one
// blank in front (none for the empty text).
std::string_view shown_comment(std::string_view stored);
std::string stored_comment(std::string_view shown);

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
    // Which texts an edit set on a node that stays in place, so that the
    // writer rewrites them and keeps the rest of the node's source text.
    bool head_changed = false;
    bool inline_changed = false;

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

// A stretch of a source text: the text of file `file_id` from `begin` up
// to `end`. `block` tells that a node in block layout (a block collection
// or block scalar) stood there, whose lines are its own to the end.
struct SourceRegion {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    std::uint32_t file_id = 0;
    bool block = false;

    friend bool operator==(const SourceRegion&, const SourceRegion&) = default;
};

// Where a directive-produced node came from. A node whose source has a
// target_file_id is the root of an included file.
struct IncludeSource {
    std::string tag;     // "!include", "!secret", ... as written
    std::string target;  // the directive's argument
    std::optional<std::uint32_t> target_file_id;
    // The comments of the directive in the including text, for the root of
    // an included file, whose own comments are those of its file. Layout
    // only: two sources are equal when they name the same thing.
    std::shared_ptr<const Comments> directive_comments = nullptr;
    // For the root of a file included by !include whose whole root is a
    // directive: that directive's provenance as the file holds it, which
    // may have its own. Outermost first, the chain names every file the
    // node passed through and, last, what produced its content:
    //
    //     main.yaml: top: !include a.yaml    top's source: !include a.yaml
    //     a.yaml:    !include b.yaml           inner: !include b.yaml
    //     b.yaml:    !secret db                  inner: !secret db
    //
    // Two sources that name the same thing compare equal whatever their
    // inner chains.
    std::shared_ptr<const IncludeSource> inner = nullptr;
    // An edit changed the comments the directive has in the including text
    // (directive_comments for an included file's root, else the node's
    // own): that text changed, whatever the content.
    bool comments_edited = false;
    // Where the directive itself stood in the including text, from its tag
    // to its end. Layout only, like the comments.
    std::optional<SourceRegion> directive_region = std::nullopt;

    friend bool operator==(const IncludeSource& a, const IncludeSource& b) {
        return a.tag == b.tag && a.target == b.target && a.target_file_id == b.target_file_id;
    }
};

struct NodePair;

class YamlNode {
public:
    // A Null node at position zero, no properties, no comments.
    YamlNode() noexcept {}
    ~YamlNode() { release_payload(); }
    YamlNode(const YamlNode& other);
    YamlNode& operator=(const YamlNode& other);
    YamlNode(YamlNode&& other) noexcept;
    YamlNode& operator=(YamlNode&& other) noexcept;

    static YamlNode null();
    static YamlNode scalar(std::string text, ScalarStyle style);
    static YamlNode alias(std::string name);
    static YamlNode sequence(std::vector<YamlNode> items, CollectionStyle style);
    static YamlNode mapping(std::vector<NodePair> pairs, CollectionStyle style);

    NodeKind kind() const { return kind_; }
    bool is(NodeKind kind) const { return kind_ == kind; }

    // Scalar: the value as the scanner produced it. Alias: the name, without "*".
    const std::string& text() const {
        assert(has_text());
        return payload_.text;
    }
    std::string& text() {
        assert(has_text());
        return payload_.text;
    }
    ScalarStyle scalar_style() const { return scalar_style_; }
    void set_scalar_style(ScalarStyle style) { scalar_style_ = style; }

    const std::vector<YamlNode>& items() const {
        assert(kind_ == NodeKind::Sequence);
        return payload_.items;
    }
    std::vector<YamlNode>& items() {
        assert(kind_ == NodeKind::Sequence);
        return payload_.items;
    }
    const std::vector<NodePair>& pairs() const {
        assert(kind_ == NodeKind::Mapping);
        return payload_.pairs;
    }
    std::vector<NodePair>& pairs() {
        assert(kind_ == NodeKind::Mapping);
        return payload_.pairs;
    }

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
    // Where the composer read the tag (its "!"): an error about what the
    // tag cannot read points there. The node's span otherwise.
    const Span& tag_span() const;
    void set_tag_span(const Span& at) { properties().tag_span = at; }
    // What the tag names where its spelling alone does not tell: a tag
    // written with a %TAG handle or verbatim that names a core tag
    // ("!e!int", "!<tag:yaml.org,2002:int>") holds the core tag's long
    // form, "!!x" under a %TAG line that gives "!!" another prefix its
    // expansion. Absent for every other tag.
    const std::optional<std::string>& tag_expansion() const;
    std::optional<std::string>& mutable_tag_expansion();
    // The tag by what it names: its expansion when it has one, else the
    // tag as written. Resolution and the choice between core and custom
    // tags go by this text.
    std::optional<std::string_view> tag_meaning() const;
    // Gives this node the tag of `other`, with its expansion, or none.
    void copy_tag(const YamlNode& other);
    const std::optional<IncludeSource>& source() const;
    std::optional<IncludeSource>& mutable_source();
    // On a document root: the "%YAML" and "%TAG" lines written before its
    // "---", each as it stood in the text (without its line break).
    const std::vector<std::string>& directives() const;
    std::vector<std::string>& mutable_directives();

    // Where the node's text begins in its source: at its first property
    // (anchor or tag) when it was composed with one, else at its span.
    std::uint64_t source_begin() const;
    void set_properties_offset(std::uint64_t offset);
    // A null written as its properties alone ends where they do (its span
    // is the next token's).
    void set_properties_end(std::uint64_t offset);
    // For a node that an edit put in the place of another: the source
    // region of the node it replaced, which is where its text goes.
    const std::optional<SourceRegion>& replaced_region() const;
    void set_replaced_region(const std::optional<SourceRegion>& region);
    // The region of the source text this node's text stands in: its own
    // while it is in place, else the one it took over; none for a node
    // that took no place (new entries and what is built below them).
    std::optional<SourceRegion> place() const;
    // Records that the content no longer reads as the text at the node's
    // place: the writer renders it anew there.
    void mark_rewritten();

private:
    struct Properties {
        std::optional<std::string> anchor;
        std::optional<std::string> tag;
        std::optional<Span> tag_span;
        std::optional<std::string> tag_expansion;
        std::optional<IncludeSource> source;
        std::vector<std::string> directives;
        std::optional<std::uint64_t> properties_offset;
        std::optional<std::uint64_t> properties_end;  // of a node that is its properties alone
        std::optional<SourceRegion> replaced;
    };
    // The content; which member lives is told by kind_.
    union Payload {
        Payload() noexcept {}
        ~Payload() {}
        std::string text;              // Scalar, Alias
        std::vector<YamlNode> items;   // Sequence
        std::vector<NodePair> pairs;   // Mapping
    };

    bool has_text() const { return kind_ == NodeKind::Scalar || kind_ == NodeKind::Alias; }
    bool is_collection() const { return kind_ == NodeKind::Sequence || kind_ == NodeKind::Mapping; }
    Properties& properties();
    // Takes over the content of `other`, which is left a Null; this node
    // holds no content.
    void take_payload(YamlNode& other) noexcept;
    // Frees the content and leaves a Null; a collection's subtree is freed
    // without recursion (release_collection).
    void release_payload() noexcept;
    void release_collection() noexcept;
    // Moves this node's collection children onto `work`, leaving Nulls.
    void take_children(std::vector<YamlNode>& work);
    friend YamlNode clone_node(const YamlNode& node);

    Payload payload_;
    std::unique_ptr<Properties> properties_;
    NodeKind kind_ = NodeKind::Null;
    ScalarStyle scalar_style_ = ScalarStyle::Plain;
    CollectionStyle style_ = CollectionStyle::Block;

public:
    // Declared here, after the private bytes, so that the flags share
    // their word.
    bool explicit_start = false;  // a document root after "---"
    bool leading_bom = false;     // the first root of a text that began with a BOM
    bool synthetic = false;       // a null made from an assigned None
    // The content is the composed text at span..end_offset, unchanged: a
    // writer may copy that text instead of rendering the node. Set by the
    // composer; cleared by edits that change the content.
    bool in_place : 1 = false;
    // An edit set the anchor of a node in place.
    bool properties_changed : 1 = false;
    // An edit made this content in the place of a node it replaced (whose
    // region, when it had one, is the replaced region).
    bool replaced : 1 = false;

    Span span;
    std::uint64_t end_offset = 0;
    std::uint32_t end_line = 0;
    std::uint32_t end_column = 0;
    Comments comments;
};

// One mapping entry. Keys are full nodes of any kind; a mapping keeps
// repeated keys in source order.
struct NodePair {
    YamlNode key;
    YamlNode value;

    NodePair() noexcept {}
    // Moves what it is given, copies the rest.
    template <class K, class V>
        requires std::is_constructible_v<YamlNode, K> && std::is_constructible_v<YamlNode, V>
    NodePair(K&& key_, V&& value_) : key(std::forward<K>(key_)), value(std::forward<V>(value_)) {}
};

// Moving and freeing are inline: composing and freeing a tree do them for
// every node.

inline YamlNode::YamlNode(YamlNode&& other) noexcept
    : properties_(std::move(other.properties_)),
      scalar_style_(other.scalar_style_),
      style_(other.style_),
      explicit_start(other.explicit_start),
      leading_bom(other.leading_bom),
      synthetic(other.synthetic),
      in_place(other.in_place),
      properties_changed(other.properties_changed),
      replaced(other.replaced),
      span(other.span),
      end_offset(other.end_offset),
      end_line(other.end_line),
      end_column(other.end_column),
      comments(std::move(other.comments)) {
    take_payload(other);
}

inline YamlNode& YamlNode::operator=(YamlNode&& other) noexcept {
    if (this == &other) return *this;
    release_payload();
    take_payload(other);
    properties_ = std::move(other.properties_);
    scalar_style_ = other.scalar_style_;
    style_ = other.style_;
    explicit_start = other.explicit_start;
    leading_bom = other.leading_bom;
    synthetic = other.synthetic;
    in_place = other.in_place;
    properties_changed = other.properties_changed;
    replaced = other.replaced;
    span = other.span;
    end_offset = other.end_offset;
    end_line = other.end_line;
    end_column = other.end_column;
    comments = std::move(other.comments);
    return *this;
}

inline void YamlNode::take_payload(YamlNode& other) noexcept {
    kind_ = other.kind_;
    switch (kind_) {
        case NodeKind::Scalar:
        case NodeKind::Alias:
            new (&payload_.text) std::string(std::move(other.payload_.text));
            other.payload_.text.~basic_string();
            break;
        case NodeKind::Sequence:
            new (&payload_.items) std::vector<YamlNode>(std::move(other.payload_.items));
            other.payload_.items.~vector();
            break;
        case NodeKind::Mapping:
            new (&payload_.pairs) std::vector<NodePair>(std::move(other.payload_.pairs));
            other.payload_.pairs.~vector();
            break;
        case NodeKind::Null:
            break;
    }
    other.kind_ = NodeKind::Null;
}

inline void YamlNode::release_payload() noexcept {
    if (has_text())
        payload_.text.~basic_string();
    else if (is_collection())
        release_collection();
    kind_ = NodeKind::Null;
}

// Where the text of `node` stands in the text that holds it: for a node a
// directive produced, the directive's region; else its place.
std::optional<SourceRegion> written_region(const YamlNode& node);

// A deep copy that keeps every field; stack-guarded, so any depth copies.
YamlNode clone_node(const YamlNode& node);

// Frees a document tree without recursion, whatever its depth. The ordinary
// destructor does the same; this names the hand-over of a whole tree.
void release_tree(YamlNode root);

}  // namespace quillmere::roundtrip
