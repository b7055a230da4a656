#include "roundtrip/ast.h"

#include <utility>

#include "common/stack_guard.h"

namespace quillmere::roundtrip {

Comments::Comments(const Comments& other)
    : blank_before(other.blank_before),
      inline_spaces(other.inline_spaces),
      value_pad(other.value_pad),
      compact(other.compact),
      modified(other.modified),
      texts_(other.texts_ ? std::make_unique<CommentTexts>(*other.texts_) : nullptr) {}

Comments& Comments::operator=(const Comments& other) {
    if (this != &other) *this = Comments(other);
    return *this;
}

CommentTexts& Comments::texts() {
    if (!texts_) texts_ = std::make_unique<CommentTexts>();
    return *texts_;
}

const std::vector<std::string>& Comments::empty_list() {
    static const std::vector<std::string> empty;
    return empty;
}

const std::optional<std::string>& Comments::empty_text() {
    static const std::optional<std::string> empty;
    return empty;
}

namespace {

template <class T>
const std::optional<T>& absent() {
    static const std::optional<T> none;
    return none;
}

}  // namespace

YamlNode::~YamlNode() {
    // Only collections can make destruction deep. Their children are moved
    // onto a work list and freed one by one, each after its own children
    // have been moved off, so no destructor call nests more than one level.
    if (payload_.index() < 2) return;
    std::vector<YamlNode> work;
    take_children(work);
    while (!work.empty()) {
        YamlNode node = std::move(work.back());
        work.pop_back();
        node.take_children(work);
    }
}

void YamlNode::take_children(std::vector<YamlNode>& work) {
    if (auto* items = std::get_if<std::vector<YamlNode>>(&payload_)) {
        for (YamlNode& item : *items) work.push_back(std::move(item));
        items->clear();
    } else if (auto* pairs = std::get_if<std::vector<NodePair>>(&payload_)) {
        for (NodePair& pair : *pairs) {
            work.push_back(std::move(pair.key));
            work.push_back(std::move(pair.value));
        }
        pairs->clear();
    }
}

YamlNode::YamlNode(const YamlNode& other) : YamlNode(clone_node(other)) {}

YamlNode& YamlNode::operator=(const YamlNode& other) {
    if (this != &other) *this = clone_node(other);
    return *this;
}

YamlNode YamlNode::null() { return YamlNode(); }

YamlNode YamlNode::scalar(std::string text, ScalarStyle style) {
    YamlNode node;
    node.kind_ = NodeKind::Scalar;
    node.scalar_style_ = style;
    node.payload_ = std::move(text);
    return node;
}

YamlNode YamlNode::alias(std::string name) {
    YamlNode node;
    node.kind_ = NodeKind::Alias;
    node.payload_ = std::move(name);
    return node;
}

YamlNode YamlNode::sequence(std::vector<YamlNode> items, CollectionStyle style) {
    YamlNode node;
    node.kind_ = NodeKind::Sequence;
    node.style_ = style;
    node.payload_ = std::move(items);
    return node;
}

YamlNode YamlNode::mapping(std::vector<NodePair> pairs, CollectionStyle style) {
    YamlNode node;
    node.kind_ = NodeKind::Mapping;
    node.style_ = style;
    node.payload_ = std::move(pairs);
    return node;
}

void YamlNode::set_content(YamlNode&& content) {
    // The old payload is freed by the destructor of `old`, without recursion.
    YamlNode old;
    old.payload_ = std::move(payload_);
    old.kind_ = kind_;
    payload_ = std::move(content.payload_);
    kind_ = content.kind_;
    scalar_style_ = content.scalar_style_;
    style_ = content.style_;
}

const std::optional<std::string>& YamlNode::anchor() const {
    return properties_ ? properties_->anchor : absent<std::string>();
}
std::optional<std::string>& YamlNode::mutable_anchor() { return properties().anchor; }

const std::optional<std::string>& YamlNode::tag() const {
    return properties_ ? properties_->tag : absent<std::string>();
}
std::optional<std::string>& YamlNode::mutable_tag() { return properties().tag; }

const std::optional<IncludeSource>& YamlNode::source() const {
    return properties_ ? properties_->source : absent<IncludeSource>();
}
std::optional<IncludeSource>& YamlNode::mutable_source() { return properties().source; }

const std::vector<std::string>& YamlNode::directives() const {
    static const std::vector<std::string> none;
    return properties_ ? properties_->directives : none;
}
std::vector<std::string>& YamlNode::mutable_directives() { return properties().directives; }

YamlNode::Properties& YamlNode::properties() {
    if (!properties_) properties_ = std::make_unique<Properties>();
    return *properties_;
}

YamlNode clone_node(const YamlNode& node) {
    YamlNode copy;
    copy.kind_ = node.kind_;
    copy.scalar_style_ = node.scalar_style_;
    copy.style_ = node.style_;
    copy.span = node.span;
    copy.end_offset = node.end_offset;
    copy.end_line = node.end_line;
    copy.end_column = node.end_column;
    copy.comments = node.comments;
    copy.explicit_start = node.explicit_start;
    copy.leading_bom = node.leading_bom;
    copy.synthetic = node.synthetic;
    if (node.properties_) copy.properties_ = std::make_unique<YamlNode::Properties>(*node.properties_);
    switch (node.payload_.index()) {
        case 1:
            copy.payload_ = std::get<std::string>(node.payload_);
            break;
        case 2: {
            const auto& items = std::get<std::vector<YamlNode>>(node.payload_);
            std::vector<YamlNode> copies;
            copies.reserve(items.size());
            for (const YamlNode& item : items) copies.push_back(with_stack_guard([&] { return clone_node(item); }));
            copy.payload_ = std::move(copies);
            break;
        }
        case 3: {
            const auto& pairs = std::get<std::vector<NodePair>>(node.payload_);
            std::vector<NodePair> copies;
            copies.reserve(pairs.size());
            for (const NodePair& pair : pairs) {
                copies.push_back(NodePair{with_stack_guard([&] { return clone_node(pair.key); }),
                                          with_stack_guard([&] { return clone_node(pair.value); })});
            }
            copy.payload_ = std::move(copies);
            break;
        }
        default:
            break;
    }
    return copy;
}

void release_tree(YamlNode root) { (void)root; }

}  // namespace quillmere::roundtrip
