#include "results/tree_reader.h"

#include <utility>

#include "common/stack_guard.h"
#include "model/located_error.h"
#include "py/errors.h"
#include "py/text.h"
#include "results/convert/key_tuple.h"

namespace quillmere::results {

using roundtrip::NodeKind;
using roundtrip::NodePair;
using roundtrip::YamlNode;

using resolver::ResolvedKind;

// ---------------------------------------------------------------- the cache

AliasCache::Entry* AliasCache::find(const YamlNode& node) {
    const auto it = entries_.find(&node);
    return it == entries_.end() ? nullptr : &it->second;
}

const YamlNode* AliasCache::target(const YamlNode& alias) {
    if (!targets_) targets_.emplace(roots_);
    return targets_->find(alias);
}

// ------------------------------------------------------------------- helpers

namespace {

constexpr std::string_view kMergeKeyText = "<<";

// The plain road reads a tagged scalar by its tag alone, quoted or not.
resolver::ResolvedScalar resolve(const YamlNode& node, const std::optional<std::string_view>& tag,
                                 resolver::ResolveMode mode) {
    if (node.is(NodeKind::Null)) {
        if (!tag) return resolver::make(ResolvedKind::Null);
        return resolver::resolve_scalar(mode, {}, false, tag);
    }
    const bool quoted = !tag && node.scalar_style() != ScalarStyle::Plain;
    return resolver::resolve_scalar(mode, node.text(), quoted, tag);
}

std::string_view scalar_text(const YamlNode& node) {
    return node.is(NodeKind::Scalar) ? std::string_view(node.text()) : std::string_view();
}

// Restores a flag or pointer of the reader when a scope ends.
template <class T>
class Restore {
public:
    Restore(T& target, T value) : target_(target), saved_(std::exchange(target, value)) {}
    ~Restore() { target_ = saved_; }
    Restore(const Restore&) = delete;
    Restore& operator=(const Restore&) = delete;

private:
    T& target_;
    T saved_;
};

}  // namespace

// ---------------------------------------------------------------- the walk

py::ref TreeReader::child_value(const YamlNode& node) {
    return with_stack_guard([&] { return value(node); });
}

py::ref TreeReader::value(const YamlNode& node) {
    if (!signals_.tick()) return {};
    if (node.is(NodeKind::Alias)) return alias_value(node);
    const bool anchored = node.anchor().has_value();
    if (anchored) {
        Entry* entry = cache_.find(node);
        if (entry && slot(*entry)) return py::ref::borrow(slot(*entry).get());
    }
    Restore<const parse::TagHandles*> document(handles_, handles_);
    enter_document(node);

    std::string storage;
    const std::optional<std::string_view> tag = effective_tag(node, storage);
    py::ref result;
    switch (node.kind()) {
        case NodeKind::Scalar:
        case NodeKind::Null:
            result = read_scalar(node, tag);
            break;
        case NodeKind::Sequence:
            result = read_sequence(node, anchored);
            break;
        case NodeKind::Mapping:
            result = read_mapping(node, anchored);
            break;
        case NodeKind::Alias:
            break;
    }
    if (!result) return {};
    if (tag && dispatching() && parse::is_custom_tag(*tag)) {
        result = tagged_to_python(*tag, result.get(), *options_.tags);
        if (!result || !objects_.mark_tagged(result.get())) return {};
    }
    if (anchored) register_result(node, result.get(), false);
    return result;
}

py::ref TreeReader::alias_value(const YamlNode& alias) {
    const YamlNode* target = cache_.target(alias);
    if (!target) return unknown_alias(alias);
    Entry* entry = cache_.find(*target);
    if (entry && slot(*entry)) return py::ref::borrow(slot(*entry).get());
    return with_stack_guard([&] { return value(*target); });
}

py::ref TreeReader::key(const YamlNode& node) {
    if (is_collection(node)) return with_stack_guard([&] { return hashable(node); });
    return child_value(node);
}

bool TreeReader::is_collection(const YamlNode& node) {
    const YamlNode* target = &node;
    if (node.is(NodeKind::Alias)) {
        target = cache_.target(node);
        if (!target) return false;
    }
    return target->is(NodeKind::Sequence) || target->is(NodeKind::Mapping);
}

py::ref TreeReader::hashable(const YamlNode& node) {
    if (!signals_.tick()) return {};
    Restore<bool> in_key(in_key_, true);
    if (node.is(NodeKind::Alias)) {
        const YamlNode* target = cache_.target(node);
        if (!target) return unknown_alias(node);
        Entry* entry = cache_.find(*target);
        if (entry && entry->key) return py::ref::borrow(entry->key.get());
        // A key that holds itself has no finite tuple form.
        if (entry && entry->making_key) return py::none();
        return with_stack_guard([&] { return hashable(*target); });
    }
    const bool anchored = node.anchor().has_value();
    Entry* entry = anchored ? cache_.find(node) : nullptr;
    if (entry && entry->key) return py::ref::borrow(entry->key.get());

    const bool collection = node.is(NodeKind::Sequence) || node.is(NodeKind::Mapping);
    bool custom = false;
    if (collection && dispatching() && node.tag()) {
        std::string storage;
        Restore<const parse::TagHandles*> document(handles_, handles_);
        enter_document(node);
        custom = parse::is_custom_tag(*effective_tag(node, storage));
    }
    if (!collection || custom) {
        // Converted as a value (custom tags dispatched), plain and unmerged.
        py::ref result = value(node);
        if (result && anchored) register_result(node, result.get(), true);
        return result;
    }
    // Entries stay where they are while the map grows.
    if (anchored) {
        entry = &cache_.entries_[&node];
        entry->making_key = true;
    }
    py::ref result = read_hashable_collection(node);
    if (entry) entry->making_key = false;
    if (result && anchored) register_result(node, result.get(), true);
    return result;
}

py::ref TreeReader::read_hashable_collection(const YamlNode& node) {
    auto element = [&](const YamlNode& child) { return with_stack_guard([&] { return hashable(child); }); };
    if (node.is(NodeKind::Sequence)) return items_key_tuple(node.items(), element);
    return pairs_key_tuple(node.pairs(), element);
}

py::ref TreeReader::read_scalar(const YamlNode& node, const std::optional<std::string_view>& tag) {
    const resolver::ResolvedScalar scalar = resolve(node, tag, options_.mode);
    const std::string_view text = scalar_text(node);
    if (scalar.kind == ResolvedKind::Invalid) {
        objects_.raise_at(resolver::invalid_tagged_text_message(*tag, text), node.tag_span());
        return {};
    }
    const Placement at = annotating() ? placement_of(node) : Placement{};
    return objects_.scalar(scalar, text, options_.mode, annotating() ? &at : nullptr,
                           options_.annotate_numbers);
}

py::ref TreeReader::read_sequence(const YamlNode& node, bool anchored) {
    const auto& items = node.items();
    // A list that aliases can reach while it is filled is never left with
    // empty slots: it grows item by item.
    if (!anchored && !annotating()) {
        py::ref list = py::ref::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
        if (!list) return {};
        for (std::size_t i = 0; i < items.size(); ++i) {
            py::ref item = child_value(items[i]);
            if (!item) return {};
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());  // stolen
        }
        return list;
    }
    const Placement at = annotating() ? placement_of(node) : Placement{};
    py::ref list = objects_.new_list(annotating() ? &at : nullptr);
    if (!list) return {};
    if (anchored) register_result(node, list.get(), false);
    for (const YamlNode& child : items) {
        py::ref item = child_value(child);
        if (!item || PyList_Append(list.get(), item.get()) < 0) return {};
    }
    return list;
}

py::ref TreeReader::read_mapping(const YamlNode& node, bool anchored) {
    const Placement at = annotating() ? placement_of(node) : Placement{};
    py::ref dict = objects_.new_dict(annotating() ? &at : nullptr);
    if (!dict) return {};
    if (anchored) register_result(node, dict.get(), false);
    ResultObjects::Merges merges;
    for (const NodePair& pair : node.pairs()) {
        if (merging() && is_merge_key(pair.key)) {
            py::ref source = child_value(pair.value);
            // What stays behind is set under "<<", where the merge key stands.
            auto key = [&] {
                py::ref text = py::ref::borrow(objects_.merge_text());
                if (!text || !annotating()) return text;
                return annotated(AnnotatedScalarClass::Str, std::move(text), pair.key);
            };
            if (!source || !objects_.add_merge(merges, source.get(), key)) return {};
            continue;
        }
        py::ref key = this->key(pair.key);
        if (!key) return {};
        py::ref item = child_value(pair.value);
        if (!item || !objects_.set_entry(dict.get(), key.get(), item.get())) return {};
    }
    if (!merges.empty() && !objects_.apply_merges(dict.get(), merges)) return {};
    return dict;
}

bool TreeReader::is_merge_key(const YamlNode& key) {
    if (!key.tag())
        return key.is(NodeKind::Scalar) && key.scalar_style() == ScalarStyle::Plain && key.text() == kMergeKeyText;
    // Tagged, an empty key reads as its tag does ("!!merge : {x: 1}").
    if (!key.is(NodeKind::Scalar) && !key.is(NodeKind::Null)) return false;
    std::string storage;
    return resolve(key, effective_tag(key, storage), options_.mode).kind == ResolvedKind::Merge;
}

py::ref TreeReader::annotated(AnnotatedScalarClass which, py::ref value, const YamlNode& node) {
    return objects_.annotated_scalar(which, std::move(value), placement_of(node));
}

// ------------------------------------------------------------------- tags

std::optional<std::string_view> TreeReader::effective_tag(const YamlNode& node, std::string& storage) {
    const std::optional<std::string>& written = node.tag();
    if (!written) return std::nullopt;
    // What the composer recorded holds wherever the read starts, also below
    // the root whose %TAG lines it came from.
    if (const std::optional<std::string>& expansion = node.tag_expansion()) return std::string_view(*expansion);
    static const parse::TagHandles kNoHandles;
    const Token token(TokenKind::Tag, 0, node.span, node.span.offset, *written);
    auto parts = parse::split_tag(token, handles_ ? *handles_ : kNoHandles);
    if (!parts.ok()) return std::string_view(*written);
    const parse::TagParts& split = parts.value();
    if (split.prefix.empty()) return split.suffix;
    storage.reserve(split.prefix.size() + split.suffix.size());
    storage.assign(split.prefix);
    storage.append(split.suffix);
    return std::string_view(storage);
}

// A document root carries the %TAG lines of its document; its handles
// shape the tags below it.
void TreeReader::enter_document(const YamlNode& node) {
    const std::vector<std::string>& lines = node.directives();
    if (lines.empty()) return;
    parse::DirectiveGroup group;
    for (const std::string& line : lines) {
        const std::string_view body = std::string_view(line).substr(line.starts_with('%') ? 1 : 0);
        const Token token(TokenKind::Directive, 0, node.span, node.span.offset, body);
        (void)parse::read_directive(token, group);
    }
    handle_sets_.push_back(std::move(group.handles));
    handles_ = &handle_sets_.back();
}

// ------------------------------------------------------------- the cache

py::ref& TreeReader::slot(Entry& entry) {
    if (!in_key_) return entry.value;
    return options_.annotate ? entry.plain : entry.value;
}

void TreeReader::register_result(const YamlNode& node, PyObject* result, bool hashable_form) {
    Entry& entry = cache_.entries_[&node];
    py::ref& target = hashable_form ? entry.key : slot(entry);
    target = py::ref::borrow(result);
}

// ------------------------------------------------------------- placement

Placement placement_of(const YamlNode& node) {
    Placement at;
    at.span = node.span;
    at.end_offset = node.end_offset;
    at.end_line = node.end_line;
    at.end_column = node.end_column;
    if (node.is(NodeKind::Scalar)) at.style = node.scalar_style();
    if (const auto& source = node.source()) {
        at.source_tag = source->tag;
        at.source_target = source->target;
    } else if (const auto tag = node.tag_meaning(); tag && parse::is_custom_tag(*tag)) {
        at.source_tag = *node.tag();
    }
    return at;
}

py::ref TreeReader::unknown_alias(const YamlNode& alias) {
    objects_.raise_at("unknown alias: *" + alias.text(), alias.span);
    return {};
}

}  // namespace quillmere::results
