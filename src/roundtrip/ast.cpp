#include "roundtrip/ast.h"

#include <utility>

#include "common/stack_guard.h"
#include "scanner/unicode.h"

namespace quillmere::roundtrip {

std::string_view shown_comment(std::string_view stored) {
    if (!stored.empty() && stored.front() == ' ') stored.remove_prefix(1);
    return scanner::trim_white_space_end(stored);
}

std::string stored_comment(std::string_view shown) {
    if (shown.empty()) return std::string();
    std::string stored(" ");
    stored += shown;
    return stored;
}

Comments::Comments(const Comments& other)
    : blank_before(other.blank_before),
      inline_spaces(other.inline_spaces),
      value_pad(other.value_pad),
      compact(other.compact),
      modified(other.modified),
      head_changed(other.head_changed),
      inline_changed(other.inline_changed),
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

void YamlNode::release_collection() noexcept {
    // Only collections can make destruction deep. Collection descendants
    // are moved onto a work list and freed one by one, each after its own
    // collection children have been moved off, so no destructor call nests
    // more than one level; scalars and other leaves are freed where they
    // stand.
    std::vector<YamlNode> work;
    take_children(work);
    while (!work.empty()) {
        YamlNode node = std::move(work.back());
        work.pop_back();
        node.take_children(work);
    }
    if (kind_ == NodeKind::Sequence)
        payload_.items.~vector();
    else
        payload_.pairs.~vector();
}

void YamlNode::take_children(std::vector<YamlNode>& work) {
    auto take = [&](YamlNode& child) {
        if (child.is_collection()) work.push_back(std::move(child));
    };
    if (kind_ == NodeKind::Sequence) {
        for (YamlNode& item : payload_.items) take(item);
    } else if (kind_ == NodeKind::Mapping) {
        for (NodePair& pair : payload_.pairs) {
            take(pair.key);
            take(pair.value);
        }
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
    new (&node.payload_.text) std::string(std::move(text));
    node.kind_ = NodeKind::Scalar;
    node.scalar_style_ = style;
    return node;
}

YamlNode YamlNode::alias(std::string name) {
    YamlNode node;
    new (&node.payload_.text) std::string(std::move(name));
    node.kind_ = NodeKind::Alias;
    return node;
}

YamlNode YamlNode::sequence(std::vector<YamlNode> items, CollectionStyle style) {
    YamlNode node;
    new (&node.payload_.items) std::vector<YamlNode>(std::move(items));
    node.kind_ = NodeKind::Sequence;
    node.style_ = style;
    return node;
}

YamlNode YamlNode::mapping(std::vector<NodePair> pairs, CollectionStyle style) {
    YamlNode node;
    new (&node.payload_.pairs) std::vector<NodePair>(std::move(pairs));
    node.kind_ = NodeKind::Mapping;
    node.style_ = style;
    return node;
}

void YamlNode::set_content(YamlNode&& content) {
    // The old content is freed by the destructor of `old`, without recursion.
    YamlNode old;
    old.take_payload(*this);
    take_payload(content);
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

const Span& YamlNode::tag_span() const { return properties_ && properties_->tag_span ? *properties_->tag_span : span; }
const std::optional<std::string>& YamlNode::tag_expansion() const {
    return properties_ ? properties_->tag_expansion : absent<std::string>();
}
std::optional<std::string>& YamlNode::mutable_tag_expansion() { return properties().tag_expansion; }

std::optional<std::string_view> YamlNode::tag_meaning() const {
    if (!properties_ || !properties_->tag) return std::nullopt;
    return properties_->tag_expansion ? *properties_->tag_expansion : *properties_->tag;
}

void YamlNode::copy_tag(const YamlNode& other) {
    if (!other.tag() && !tag()) return;
    Properties& own = properties();
    own.tag = other.tag();
    own.tag_expansion = other.tag_expansion();
}

const std::optional<IncludeSource>& YamlNode::source() const {
    return properties_ ? properties_->source : absent<IncludeSource>();
}
std::optional<IncludeSource>& YamlNode::mutable_source() { return properties().source; }

const std::vector<std::string>& YamlNode::directives() const {
    static const std::vector<std::string> none;
    return properties_ ? properties_->directives : none;
}
std::vector<std::string>& YamlNode::mutable_directives() { return properties().directives; }

std::uint64_t YamlNode::source_begin() const {
    return properties_ && properties_->properties_offset ? *properties_->properties_offset : span.offset;
}

void YamlNode::set_properties_offset(std::uint64_t offset) { properties().properties_offset = offset; }

void YamlNode::set_properties_end(std::uint64_t offset) { properties().properties_end = offset; }

const std::optional<SourceRegion>& YamlNode::replaced_region() const {
    return properties_ ? properties_->replaced : absent<SourceRegion>();
}

void YamlNode::set_replaced_region(const std::optional<SourceRegion>& region) {
    if (region || properties_) properties().replaced = region;
}

std::optional<SourceRegion> YamlNode::place() const {
    if (in_place) {
        const bool block = (is_collection() && style_ == CollectionStyle::Block) ||
                           (kind_ == NodeKind::Scalar &&
                            (scalar_style_ == ScalarStyle::Literal || scalar_style_ == ScalarStyle::Folded));
        std::uint64_t end =
            properties_ && properties_->properties_end && kind_ == NodeKind::Null ? *properties_->properties_end
                                                                                   : end_offset;
        // A collection that ends with an empty item ends at that item's
        // dash, which is its text too.
        const YamlNode* last = this;
        while (last->kind_ == NodeKind::Sequence && !last->payload_.items.empty() && last->style_ == CollectionStyle::Block)
            last = &last->payload_.items.back();
        if (last != this && last->kind_ == NodeKind::Null && last->in_place &&
            (!last->properties_ || !last->properties_->properties_offset) &&
            last->span.offset == end)
            ++end;
        return SourceRegion{source_begin(), end, span.file_id, block};
    }
    return replaced_region();
}

void YamlNode::mark_rewritten() {
    if (!in_place && !source()) return;
    set_replaced_region(written_region(*this));
    in_place = false;
    replaced = true;
}

std::optional<SourceRegion> written_region(const YamlNode& node) {
    if (node.source()) return node.source()->directive_region;
    return node.place();
}

YamlNode::Properties& YamlNode::properties() {
    if (!properties_) properties_ = std::make_unique<Properties>();
    return *properties_;
}

YamlNode clone_node(const YamlNode& node) {
    YamlNode copy;
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
    copy.in_place = node.in_place;
    copy.properties_changed = node.properties_changed;
    copy.replaced = node.replaced;
    if (node.properties_) copy.properties_ = std::make_unique<YamlNode::Properties>(*node.properties_);
    switch (node.kind_) {
        case NodeKind::Scalar:
        case NodeKind::Alias:
            new (&copy.payload_.text) std::string(node.payload_.text);
            break;
        case NodeKind::Sequence: {
            std::vector<YamlNode> copies;
            copies.reserve(node.payload_.items.size());
            for (const YamlNode& item : node.payload_.items)
                copies.push_back(with_stack_guard([&] { return clone_node(item); }));
            new (&copy.payload_.items) std::vector<YamlNode>(std::move(copies));
            break;
        }
        case NodeKind::Mapping: {
            std::vector<NodePair> copies;
            copies.reserve(node.payload_.pairs.size());
            for (const NodePair& pair : node.payload_.pairs) {
                copies.push_back(NodePair{with_stack_guard([&] { return clone_node(pair.key); }),
                                          with_stack_guard([&] { return clone_node(pair.value); })});
            }
            new (&copy.payload_.pairs) std::vector<NodePair>(std::move(copies));
            break;
        }
        case NodeKind::Null:
            break;
    }
    copy.kind_ = node.kind_;
    return copy;
}

void release_tree(YamlNode root) { (void)root; }

}  // namespace quillmere::roundtrip
