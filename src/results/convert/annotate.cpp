#include "results/convert/annotate.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <iterator>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/stack_guard.h"
#include "decode/decoder.h"
#include "parse/parser.h"
#include "py/entry.h"
#include "py/errors.h"
#include "py/signals.h"
#include "py/text.h"
#include "results/result_objects.h"
#include "results/types/annotated.h"
#include "roundtrip/line_index.h"
#include "roundtrip/node_ends.h"
#include "scanner/scanner.h"

namespace quillmere::results {

namespace {

using parse::StepResult;
using resolver::ResolvedKind;

enum class Shape : std::uint8_t { Scalar, Null, Sequence, Mapping };

// A node as the parser passes it around: the object made for it (none once
// the builder has stopped making objects) and what its parent needs to know
// of it. An alias carries its anchor's object and shape at its own place.
struct Built {
    py::ref object;
    Span span;
    std::uint64_t end_offset = 0;
    std::uint32_t end_line = 0;
    std::uint32_t end_column = 0;
    Shape shape = Shape::Null;
    ScalarStyle style = ScalarStyle::Plain;
    bool merge_key = false;  // a scalar that reads as a merge key
    bool custom = false;     // what a custom tag made
};

class AnnotatingBuilder {
public:
    using Node = Built;
    struct Anchor {
        py::ref object;
        Shape shape = Shape::Null;
        bool custom = false;
        std::uint64_t count = 0;  // the nodes the plain road copies for an alias
    };
    using AnchorMark = std::uint64_t;
    struct Collection {
        std::size_t base;
        Span start;
    };
    // A pair or item is made in the parser's frame and moved here when done.
    using PairSlot = std::pair<Built, Built>;
    using ItemSlot = Built;
    static constexpr bool kWantsLayout = false;

    AnnotatingBuilder(std::string_view text, const roundtrip::LineIndex& lines, const AnnotateOptions& options,
                      const DecodeContext& context, bool all_documents)
        : text_(text),
          lines_(lines),
          options_(options),
          context_(context),
          all_documents_(all_documents),
          objects_(options.file_names) {}

    // A flow sequence's one-pair mapping starts where its entry does.
    bool keeps_entry_positions() const { return true; }

    // Whether a Python error stopped the making of objects.
    bool failed() const { return failed_; }
    // The documents' values: every document's, or the first one's.
    std::vector<py::ref>& documents() { return documents_; }

    void plain_scalar(const Token& token, Node& out) {
        const bool quoted = token.scalar_style() != ScalarStyle::Plain;
        const resolver::ResolvedScalar scalar = resolver::resolve_scalar(options_.mode, token.text, quoted, std::nullopt);
        out = scalar_node(token, token.span, scalar, nullptr);
    }

    StepResult scalar(const Token& token, const parse::Properties& props, Node& out) {
        if (!props.has_tag) {
            plain_scalar(token, out);
            return Ok{};
        }
        return tagged_scalar(token, token.span, props, out);
    }

    // Properties with no content: the tag reads the empty text, an anchor
    // alone gives a null; either stands at the token after the properties.
    StepResult empty(const Token& token, const parse::Properties& props, Node& out) {
        if (!props.has_tag) {
            empty_at(token.span, out);
            return Ok{};
        }
        Token empty = token;
        empty.text = {};
        empty.style = static_cast<std::uint8_t>(ScalarStyle::Plain);
        empty.end_offset = token.span.offset;
        return tagged_scalar(empty, token.span, props, out);
    }

    StepResult alias(const Token& token, Anchor& anchor, Node& out) {
        expanded_ = anchor.count > ~std::uint64_t(0) - expanded_ ? ~std::uint64_t(0) : expanded_ + anchor.count;
        if (expanded_ > decode::kAliasNodeBudget) {
            return Err<LocatedError>{LocatedError{"document expands to too many nodes (possible alias bomb)",
                                                  token.span, LocatedErrorKind::Parse}};
        }
        made_ += anchor.count;
        out = Node{};
        if (building_) out.object = py::ref::borrow(anchor.object.get());
        out.shape = anchor.shape;
        out.custom = anchor.custom;
        out.span = token.span;
        set_end(out, token.span.offset + 1 + token.text.size());  // after "*" and the name
        return Ok{};
    }

    // An absent key or value: a null with every position 0.
    void missing(Node& out) {
        ++made_;
        out = Node{};
        if (building_) out.object = py::none();
    }

    void empty_at(const Span& span, Node& out) {
        missing(out);
        out.span = span;
        out.end_offset = span.offset;
        out.end_line = span.line;
        out.end_column = span.column;
    }

    void finish_node(Node& node, const parse::Properties& props) {
        if (!props.has_tag || !parse::is_custom_tag(props.expanded)) return;
        ++made_;  // the plain road wraps the value in a tag
        node.custom = true;
        if (!building_ || !node.object) return;
        set_source_tag(node.object.get(), props.tag);
        py::ref result = tagged_to_python(props.expanded, node.object.get(), context_);
        if (!result || !objects_.mark_tagged(result.get())) return stop();
        node.object = std::move(result);
    }

    void expand_tag(const parse::TagParts& parts, parse::Properties& props) {
        if (parts.prefix.empty()) {
            props.expanded = parts.suffix;
            return;
        }
        std::string& text = tag_texts_.emplace_back();
        text.reserve(parts.prefix.size() + parts.suffix.size());
        text.append(parts.prefix);
        text.append(parts.suffix);
        props.expanded = text;
    }

    AnchorMark anchor_mark() const { return made_; }
    Anchor make_anchor(const Node& node, AnchorMark mark) const {
        return Anchor{py::ref::borrow(node.object.get()), node.shape, node.custom, made_ - mark};
    }

    Collection begin_mapping(const Token& start) {
        ++made_;
        return Collection{pairs_.size(), start.span};
    }
    Collection begin_sequence(const Token& start) {
        ++made_;
        return Collection{items_.size(), start.span};
    }
    Collection begin_indentless(const Token& dash) { return begin_sequence(dash); }

    PairSlot new_pair(Collection&) { return PairSlot{}; }
    Node& key_of(PairSlot& pair) { return pair.first; }
    Node& value_of(PairSlot& pair) { return pair.second; }
    StepResult add_pair(Collection&, PairSlot& pair, const parse::Entry&) {
        pairs_.push_back(std::move(pair));
        return Ok{};
    }

    ItemSlot new_item(Collection&) { return ItemSlot{}; }
    Node& item_of(ItemSlot& item) { return item; }
    void add_item(Collection&, ItemSlot& item, const parse::Item&) { items_.push_back(std::move(item)); }
    void drop_item(Collection&, ItemSlot&) {}

    StepResult flow_pair(Node&& key, Node&& value, const parse::Entry& entry, Node& out) {
        ++made_;
        Collection mapping{pairs_.size(), entry.at};
        pairs_.emplace_back(std::move(key), std::move(value));
        out = end_collection(mapping, nullptr, Shape::Mapping);
        return Ok{};
    }

    void end_mapping(Collection& mapping, const Token* end, Node& out) {
        out = end_collection(mapping, end, Shape::Mapping);
    }
    void end_sequence(Collection& sequence, const Token* end, Node& out) {
        out = end_collection(sequence, end, Shape::Sequence);
    }

    void directive(const Token&, parse::DirectiveKind) {}

    // An explicit document is there even when empty; a bare one only with
    // a node. Without all_documents, objects are made for the first only.
    void document(Node&& root, bool present, const Token* start) {
        if (!present && start == nullptr) return;
        if (building_) documents_.push_back(present ? std::move(root.object) : py::none());
        if (!all_documents_) building_ = false;
    }

private:
    // Stops making objects after a Python error, which stays set; the
    // text is still read to its end for the plain road's errors.
    void stop() {
        failed_ = true;
        building_ = false;
    }

    StepResult tagged_scalar(const Token& token, const Span& at, const parse::Properties& props, Node& out) {
        const resolver::ResolvedScalar scalar = resolver::resolve_scalar(options_.mode, token.text, false, props.expanded);
        if (scalar.kind == ResolvedKind::Invalid) {
            return Err<LocatedError>{LocatedError{resolver::invalid_tagged_text_message(props.expanded, token.text),
                                                  props.tag_span, LocatedErrorKind::Parse}};
        }
        out = scalar_node(token, at, scalar, &props);
        return Ok{};
    }

    Node scalar_node(const Token& token, const Span& at, const resolver::ResolvedScalar& scalar,
                     const parse::Properties* props) {
        ++made_;
        if (scalar.kind == ResolvedKind::Merge) ++made_;  // the plain road's merge marker
        Node node;
        node.span = at;
        set_end(node, token.end_offset);
        node.shape = scalar.kind == ResolvedKind::Null ? Shape::Null : Shape::Scalar;
        node.style = token.scalar_style();
        node.merge_key = scalar.kind == ResolvedKind::Merge;
        if (!building_) return node;
        if (!signals_.tick()) {
            stop();
            return node;
        }
        Placement place = placement(node);
        // A custom tag by what it names, shown as written.
        if (props && props->has_tag && parse::is_custom_tag(props->expanded)) place.source_tag = props->tag;
        node.object = objects_.scalar(scalar, token.text, options_.mode, &place, options_.annotate_numbers);
        if (!node.object) stop();
        return node;
    }

    Node end_collection(Collection& collection, const Token* end, Shape shape) {
        Node node;
        node.shape = shape;
        node.span = collection.start;
        const TokenKind closing = shape == Shape::Mapping ? TokenKind::MappingEnd : TokenKind::SequenceEnd;
        const Built* furthest = nullptr;
        auto further = [&](const Built& child) {
            if (furthest == nullptr || child.end_offset > furthest->end_offset) furthest = &child;
        };
        if (shape == Shape::Mapping) {
            for (std::size_t i = collection.base; i < pairs_.size(); ++i) {
                further(pairs_[i].first);
                further(pairs_[i].second);
            }
        } else {
            for (std::size_t i = collection.base; i < items_.size(); ++i) further(items_[i]);
        }
        roundtrip::set_collection_end(node, end, closing, furthest);
        if (building_ && !signals_.tick()) stop();
        if (building_) {
            node.object = shape == Shape::Mapping ? build_mapping(node, collection.base) : build_sequence(node, collection.base);
            if (!node.object) stop();
        }
        if (shape == Shape::Mapping) {
            pairs_.erase(pairs_.begin() + static_cast<std::ptrdiff_t>(collection.base), pairs_.end());
        } else {
            items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(collection.base), items_.end());
        }
        return node;
    }

    py::ref build_sequence(const Node& node, std::size_t base) {
        const Placement at = placement(node);
        py::ref list = objects_.new_list(&at);
        if (!list) return {};
        for (std::size_t i = base; i < items_.size(); ++i) {
            if (PyList_Append(list.get(), items_[i].object.get()) < 0) return {};
        }
        return list;
    }

    py::ref build_mapping(const Node& node, std::size_t base) {
        const Placement at = placement(node);
        py::ref dict = objects_.new_dict(&at);
        if (!dict) return {};
        ResultObjects::Merges merges;
        std::size_t explicit_pairs = 0;
        bool merge_keys = false;
        for (std::size_t i = base; i < pairs_.size(); ++i) {
            const auto& [key, value] = pairs_[i];
            if (key.merge_key) {
                merge_keys = true;
                auto merge_key = [&] {
                    return objects_.annotated_scalar(AnnotatedScalarClass::Str, py::ref::borrow(objects_.merge_text()),
                                                     placement(key));
                };
                if (!objects_.add_merge(merges, value.object.get(), merge_key)) return {};
                continue;
            }
            ++explicit_pairs;
            py::ref key_object = key_value(key);
            if (!key_object || !objects_.set_entry(dict.get(), key_object.get(), value.object.get())) return {};
        }
        // Inside a mapping key the plain road keeps every pair as written,
        // those of merge keys that bring nothing ("<<: ~") included.
        if (merge_keys || static_cast<std::size_t>(PyDict_GET_SIZE(dict.get())) < explicit_pairs) {
            std::vector<std::pair<py::ref, py::ref>>& pairs = written_pairs_[dict.get()].pairs;
            written_pairs_[dict.get()].dict = py::ref::borrow(dict.get());
            for (std::size_t i = base; i < pairs_.size(); ++i) {
                const auto& [key, value] = pairs_[i];
                py::ref key_object = key.merge_key ? py::ref::borrow(objects_.merge_text()) : py::ref::borrow(key.object.get());
                if (!key_object) return {};
                pairs.emplace_back(std::move(key_object), py::ref::borrow(value.object.get()));
            }
        }
        if (!merges.empty() && !objects_.apply_merges(dict.get(), merges)) return {};
        return dict;
    }

    // A collection key is hashable as the plain road makes it; a custom
    // tag's result, as it is.
    py::ref key_value(const Node& key) {
        if ((key.shape == Shape::Sequence || key.shape == Shape::Mapping) && !key.custom) {
            return with_stack_guard([&] { return hashable(key.object.get()); });
        }
        return py::ref::borrow(key.object.get());
    }

    // Sequences become tuples, mappings tuples of pairs, annotated scalars
    // their plain values; each object once, however often aliases repeat it.
    py::ref hashable(PyObject* object) {
        if (objects_.is_tagged(object)) return py::ref::borrow(object);
        if (auto it = hashable_.find(object); it != hashable_.end()) return py::ref::borrow(it->second.second.get());
        py::ref result;
        auto element = [&](PyObject* child) { return with_stack_guard([&] { return hashable(child); }); };
        if (PyList_Check(object)) {
            const Py_ssize_t size = PyList_GET_SIZE(object);
            result = py::ref::steal(PyTuple_New(size));
            for (Py_ssize_t i = 0; result && i < size; ++i) {
                py::ref item = element(PyList_GET_ITEM(object, i));
                if (!item) return {};
                PyTuple_SET_ITEM(result.get(), i, item.release());  // stolen
            }
        } else if (PyDict_Check(object)) {
            std::vector<std::pair<py::ref, py::ref>> items;
            if (auto written = written_pairs_.find(object); written != written_pairs_.end()) {
                for (const auto& [key, value] : written->second.pairs)
                    items.emplace_back(py::ref::borrow(key.get()), py::ref::borrow(value.get()));
            } else {
                Py_ssize_t position = 0;
                PyObject *key = nullptr, *value = nullptr;
                while (PyDict_Next(object, &position, &key, &value))
                    items.emplace_back(py::ref::borrow(key), py::ref::borrow(value));
            }
            result = py::ref::steal(PyTuple_New(static_cast<Py_ssize_t>(items.size())));
            for (std::size_t i = 0; result && i < items.size(); ++i) {
                py::ref key = element(items[i].first.get());
                py::ref value = key ? element(items[i].second.get()) : py::ref();
                PyObject* pair = value ? PyTuple_Pack(2, key.get(), value.get()) : nullptr;
                if (!pair) return {};
                PyTuple_SET_ITEM(result.get(), static_cast<Py_ssize_t>(i), pair);  // stolen
            }
        } else if (PyUnicode_Check(object) && !PyUnicode_CheckExact(object)) {
            result = py::ref::steal(PyUnicode_FromObject(object));
        } else if (PyLong_Check(object) && !PyLong_CheckExact(object) && !PyBool_Check(object)) {
            result = py::ref::steal(PyNumber_Index(object));
        } else if (PyFloat_Check(object) && !PyFloat_CheckExact(object)) {
            result = py::ref::steal(PyFloat_FromDouble(PyFloat_AS_DOUBLE(object)));
        } else {
            return py::ref::borrow(object);
        }
        if (!result) return {};
        hashable_.emplace(object, std::make_pair(py::ref::borrow(object), py::ref::borrow(result.get())));
        return result;
    }

    // A custom tag as written, on an annotated container made here.
    void set_source_tag(PyObject* object, std::string_view tag) {
        AnnotatedData* data = nullptr;
        if (Py_TYPE(object) == annotated_dict_type()) {
            data = annotated_dict_data(object);
        } else if (Py_TYPE(object) == annotated_list_type()) {
            data = annotated_list_data(object);
        }
        if (data) data->set_source_tag(tag);
    }

    Placement placement(const Node& node) const {
        Placement at;
        at.span = node.span;
        at.end_offset = node.end_offset;
        at.end_line = node.end_line;
        at.end_column = node.end_column;
        at.style = node.style;
        return at;
    }

    void set_end(Node& node, std::uint64_t end) const { roundtrip::set_end(node, end, text_, lines_); }

    std::string_view text_;
    const roundtrip::LineIndex& lines_;
    const AnnotateOptions& options_;
    const DecodeContext& context_;
    const bool all_documents_;
    ResultObjects objects_;
    py::SignalCheck signals_;
    bool building_ = true;
    bool failed_ = false;
    std::uint64_t made_ = 0;      // nodes the plain road would make so far
    std::uint64_t expanded_ = 0;  // of those, copied for aliases
    std::vector<py::ref> documents_;
    std::deque<std::string> tag_texts_;  // expanded tags; stable addresses
    // Children of the collections being built, innermost last.
    std::vector<Built> items_;
    std::vector<std::pair<Built, Built>> pairs_;
    // The pairs as written of the mappings whose dict does not show them
    // all (merged, or with repeated keys), for their hashable form.
    struct WrittenPairs {
        py::ref dict;  // held: the map is keyed by its address
        std::vector<std::pair<py::ref, py::ref>> pairs;
    };
    std::unordered_map<PyObject*, WrittenPairs> written_pairs_;
    std::unordered_map<PyObject*, std::pair<py::ref, py::ref>> hashable_;  // object (held) -> its hashable form
};

// Reads the whole text; the documents' values, or nothing with the Python
// error set. The plain road's errors (syntax, unreadable tagged text, alias
// budget) win over a Python error met while making the objects, as they
// would on the plain road, whose conversion comes after the decode.
std::optional<std::vector<py::ref>> annotate(std::string_view text, const AnnotateOptions& options,
                                             const DecodeContext& context, bool all_documents) {
    const roundtrip::LineIndex lines = roundtrip::build_line_index(text);
    scanner::Scanner scanner(text);
    parse::TokenStream tokens(scanner);
    AnnotatingBuilder builder(text, lines, options, context, all_documents);
    parse::Parser<AnnotatingBuilder> parser(tokens, builder);
    StepResult parsed = parser.parse_stream();
    if (!parsed.ok()) tokens.drain();
    if (py::raise_if_out_of_memory()) return std::nullopt;
    std::optional<LocatedError> error;
    if (tokens.failed()) {
        ScanError& e = tokens.error();
        error = LocatedError{std::move(e.message), e.span, LocatedErrorKind::Parse};
    } else if (!parsed.ok()) {
        error = std::move(parsed).error();
    }
    if (error) {
        PyErr_Clear();
        py::located_error_without_file(std::move(*error));
        return std::nullopt;
    }
    if (builder.failed()) return std::nullopt;
    return std::move(builder.documents());
}

}  // namespace

py::ref annotate_first_document(std::string_view text, const AnnotateOptions& options, const DecodeContext& context) {
    std::optional<std::vector<py::ref>> documents = annotate(text, options, context, false);
    if (!documents) return {};
    return documents->empty() ? py::none() : std::move(documents->front());
}

py::ref annotate_documents(std::string_view text, const AnnotateOptions& options, const DecodeContext& context) {
    std::optional<std::vector<py::ref>> documents = annotate(text, options, context, true);
    if (!documents) return {};
    py::ref list = py::ref::steal(PyList_New(static_cast<Py_ssize_t>(documents->size())));
    if (!list) return {};
    for (std::size_t i = 0; i < documents->size(); ++i) {
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), (*documents)[i].release());  // stolen
    }
    return list;
}

}  // namespace quillmere::results
