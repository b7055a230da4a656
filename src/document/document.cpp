// The round-trip document classes: QuillmereDocument, QuillmereDocumentView
// and QuillmereNode.
//
// A QuillmereDocument owns the DocumentState of one round-trip load: the
// trees of the stream, its source table and text, and three settings. Views
// and nodes are handles: a root document index, a path from it, and a
// strong reference to the document. They hold no pointer into the trees and
// walk their path again on every use, so an edit can make a handle stale
// (its path leads nowhere; KeyError "stale view" / "stale node"), never
// dangling:
//
//     doc = loads("server:\n  port: 80  # http\n", option=OPT_ROUND_TRIP)
//     doc["server"]                   QuillmereDocumentView(mapping), path [server]
//     doc["server"]["port"]           80: scalars are plain values
//     doc.node["server"]["port"]      QuillmereNode(scalar), path [server, port]
//     doc.node["server"]["port"].comment    "http"
//
// Item access on a stream of several documents selects a document by index;
// the view it returns, and every handle made from that view, stays in that
// document (its root index).
//
// Every member takes the borrows of its object before it reads: a shared
// borrow of the handle, then of the document; an edit takes the document
// exclusively. Python code that runs inside an operation (a key's
// __index__, a signal handler, a value's conversion during an edit) and
// reaches the same document is refused with RuntimeError instead of seeing
// a half-changed tree. The members that edit, serialise, walk and save hand
// their work, borrows taken, to the functions of document_api.h.
#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "document/document_api.h"
#include "document/range_tuple.h"
#include "parse/directives.h"
#include "py/args.h"
#include "py/borrow.h"
#include "py/entry.h"
#include "py/errors.h"
#include "py/types/types.h"
#include "resolver/resolver.h"
#include "results/tree_results.h"
#include "results/tree_values.h"
#include "roundtrip/anchors.h"
#include "roundtrip/queries.h"

namespace quillmere::document {

using roundtrip::AliasTargets;
using roundtrip::DocumentState;
using roundtrip::NodeKind;
using roundtrip::NodePair;
using roundtrip::Path;
using roundtrip::PathSegment;
using roundtrip::YamlNode;
using roundtrip::is_include_tag;

namespace {

using py::Borrow;
using py::BorrowFlag;
using py::guarded;

struct DocumentObject {
    PyObject_HEAD
    DocumentState state;
    BorrowFlag borrow;
};

// Both handle classes.
struct HandleObject {
    PyObject_HEAD
    Path path;
    PyObject* document;  // strong reference to the QuillmereDocument
    std::size_t root;    // index of the root document in documents
    BorrowFlag borrow;
};

DocumentObject* as_document(PyObject* self) { return reinterpret_cast<DocumentObject*>(self); }
HandleObject* as_handle(PyObject* self) { return reinterpret_cast<HandleObject*>(self); }
HandleAddress address_of(const HandleObject& handle) { return HandleAddress{handle.root, handle.path}; }

// The three types (borrowed) from their cells, or null with the internal
// fault set.
PyTypeObject* document_type() { return py::class_type_or_fault(py::ClassId::Document, create_document_type); }
PyTypeObject* document_view_type() {
    return py::class_type_or_fault(py::ClassId::DocumentView, create_document_view_type);
}
PyTypeObject* node_type() { return py::class_type_or_fault(py::ClassId::Node, create_node_type); }

// ------------------------------------------------------------ objects

// A new handle of `type` at `path` from documents[root]; takes a new
// reference to `document`. Null with the error set.
py::ref new_handle(PyTypeObject* type, PyObject* document, std::size_t root, Path path) {
    if (type == nullptr) return {};
    py::ref object = py::ref::steal(type->tp_alloc(type, 0));
    if (!object) return {};
    HandleObject* handle = as_handle(object.get());
    new (&handle->path) Path(std::move(path));
    handle->document = py::ref::borrow(document).release();
    handle->root = root;
    new (&handle->borrow) BorrowFlag(0);
    return object;
}

py::ref new_view_object(PyObject* document, std::size_t root, Path path) {
    return new_handle(document_view_type(), document, root, std::move(path));
}

py::ref new_node_object(PyObject* document, std::size_t root, Path path) {
    return new_handle(node_type(), document, root, std::move(path));
}

// Every heap-type instance holds a reference to its type; a handle also
// holds its document. A document holds no Python object, so no cycle can
// run through one.
int traverse_document(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    return 0;
}

// Untrack, release the state (the trees are freed without recursion),
// free, release the type.
void dealloc_document(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    py::guarded_unraisable(self, [&] {
        DocumentObject* document = as_document(self);
        document->state.~DocumentState();
        document->borrow.~BorrowFlag();
    });
    type->tp_free(self);
    Py_DECREF(type);
}

int traverse_handle(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(as_handle(self)->document);
    return 0;
}

int clear_handle(PyObject* self) {
    Py_CLEAR(as_handle(self)->document);
    return 0;
}

// For both handle classes: the path is freed and the document released.
void dealloc_handle(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    py::guarded_unraisable(self, [&] {
        clear_handle(self);
        HandleObject* handle = as_handle(self);
        handle->path.~Path();
        handle->borrow.~BorrowFlag();
    });
    type->tp_free(self);
    Py_DECREF(type);
}

// ------------------------------------------------------------ keys and items

}  // namespace

// A Python key as a path step: a non-negative int (anything with __index__,
// True included) is an Index, a str a Key. Nothing, with TypeError "mapping
// keys must be str or int", for anything else. An exception that is not an
// Exception (KeyboardInterrupt from __index__) is passed on, not discarded.
std::optional<PathSegment> path_segment_from_key(PyObject* key) {
    if (std::optional<std::uint64_t> index = index_from_key(key)) return PathSegment::index(*index);
    if (PyErr_Occurred()) return std::nullopt;
    if (PyUnicode_Check(key)) {
        Py_ssize_t size = 0;
        if (const char* text = PyUnicode_AsUTF8AndSize(key, &size))
            return PathSegment::key(std::string(text, static_cast<std::size_t>(size)));
        // A str with no UTF-8 form (lone surrogates) is no key.
        if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) return std::nullopt;
        PyErr_Clear();
    }
    PyErr_SetString(PyExc_TypeError, "mapping keys must be str or int");
    return std::nullopt;
}

namespace {

// IndexError "index out of range" for a sequence, else KeyError(str(key)).
void raise_missing_key(const YamlNode& container, PyObject* key) {
    if (container.is(NodeKind::Sequence)) {
        PyErr_SetString(PyExc_IndexError, "index out of range");
        return;
    }
    py::ref text = py::ref::steal(PyObject_Str(key));
    if (text) PyErr_SetObject(PyExc_KeyError, text.get());
}

void raise_stale_view() { PyErr_SetString(PyExc_KeyError, "stale view"); }
void raise_stale_node() { PyErr_SetString(PyExc_KeyError, "stale node"); }

// What item access gives for `node`, reached at `path` from
// documents[root]: a view for a collection (also when an alias stands for
// it: the view then addresses the alias itself), else the plain value; an
// alias whose anchor is defined nowhere gives None.
py::ref item_result(PyObject* document, const DocumentState& state, std::size_t root, Path path,
                    const YamlNode& node) {
    results::AliasCache aliases(state.documents);
    const YamlNode* target = &node;
    if (node.is(NodeKind::Alias)) {
        target = aliases.target(node);
        if (target == nullptr) return py::none();
    }
    if (target->is(NodeKind::Sequence) || target->is(NodeKind::Mapping))
        return new_view_object(document, root, std::move(path));
    return plain_value(state, *target, aliases);
}

// container[key] by item access, where `path` leads to `container`.
py::ref lookup_child(PyObject* document, const DocumentState& state, std::size_t root, const Path& path,
                     const YamlNode& container, PyObject* key) {
    std::optional<PathSegment> step = path_segment_from_key(key);
    if (!step) return {};
    const YamlNode* child = child_at(container, *step);
    if (child == nullptr) {
        raise_missing_key(container, key);
        return {};
    }
    Path child_path = path;
    child_path.push_back(std::move(*step));
    return item_result(document, state, root, std::move(child_path), *child);
}

// Whether `node` is a mapping with a scalar key whose text is the str `key`:
// 1 or 0, or -1 with the error set.
int mapping_has_key(const YamlNode& node, PyObject* key) {
    if (!node.is(NodeKind::Mapping) || !PyUnicode_Check(key)) return 0;
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(key, &size);
    if (text == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) return -1;
        PyErr_Clear();  // a str with no UTF-8 form names no key
        return 0;
    }
    const std::string_view wanted(text, static_cast<std::size_t>(size));
    for (const NodePair& pair : node.pairs()) {
        if (pair.key.is(NodeKind::Scalar) && pair.key.text() == wanted) return 1;
    }
    return 0;
}

// The keys of a mapping in entry order, each a plain value.
py::ref mapping_keys_list(const DocumentState& state, const YamlNode& node) {
    if (!node.is(NodeKind::Mapping)) {
        PyErr_SetString(PyExc_TypeError, "node is not a mapping");
        return {};
    }
    py::ref list = py::ref::steal(PyList_New(static_cast<Py_ssize_t>(node.pairs().size())));
    if (!list) return {};
    results::AliasCache aliases(state.documents);
    Py_ssize_t i = 0;
    for (const NodePair& pair : node.pairs()) {
        py::ref key = plain_value(state, pair.key, aliases);
        if (!key) return {};
        PyList_SET_ITEM(list.get(), i++, key.release());  // the list steals the key
    }
    return list;
}

// len() of a handle's node or of a one-document stream: the items of a
// sequence, the entries of a mapping, 1 for anything else.
Py_ssize_t node_length(const YamlNode& node) {
    if (node.is(NodeKind::Sequence)) return static_cast<Py_ssize_t>(node.items().size());
    if (node.is(NodeKind::Mapping)) return static_cast<Py_ssize_t>(node.pairs().size());
    return 1;
}

const char* kind_name(const YamlNode& node) {
    switch (node.kind()) {
        case NodeKind::Scalar: return "scalar";
        case NodeKind::Sequence: return "sequence";
        case NodeKind::Mapping: return "mapping";
        case NodeKind::Alias: return "alias";
        case NodeKind::Null: return "null";
    }
    return "null";
}

const char* style_name(const YamlNode& node) {
    switch (node.kind()) {
        case NodeKind::Scalar:
            switch (node.scalar_style()) {
                case ScalarStyle::Plain: return "plain";
                case ScalarStyle::SingleQuoted: return "single";
                case ScalarStyle::DoubleQuoted: return "double";
                case ScalarStyle::Literal: return "literal";
                case ScalarStyle::Folded: return "folded";
            }
            return "plain";
        case NodeKind::Sequence:
        case NodeKind::Mapping: return node.style() == CollectionStyle::Flow ? "flow" : "block";
        case NodeKind::Alias: return "alias";
        case NodeKind::Null: return "null";
    }
    return "null";
}

// The plain value of every document root: the only document's, or a list
// of all of them (empty for an empty stream).
py::ref stream_value(const DocumentState& state) {
    results::AliasCache aliases(state.documents);
    if (state.documents.size() == 1) return plain_value(state, state.documents.front(), aliases);
    py::ref list = py::ref::steal(PyList_New(static_cast<Py_ssize_t>(state.documents.size())));
    if (!list) return {};
    Py_ssize_t i = 0;
    for (const YamlNode& root : state.documents) {
        py::ref value = plain_value(state, root, aliases);
        if (!value) return {};
        PyList_SET_ITEM(list.get(), i++, value.release());  // the list steals the value
    }
    return list;
}

py::ref optional_text(const std::optional<std::string>& text) {
    if (!text) return py::none();
    return py::ref::steal(PyUnicode_DecodeUTF8(text->data(), static_cast<Py_ssize_t>(text->size()), "replace"));
}

py::ref text_object(std::string_view text) {
    return py::ref::steal(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
}

// A `path` argument: a str, as UTF-8. False with the error, noted with
// the argument's name, otherwise.
bool path_text_from_argument(PyObject* value, std::string& text) {
    if (!PyUnicode_Check(value)) {
        PyErr_Format(PyExc_TypeError, "expected str, not %.200s", Py_TYPE(value)->tp_name);
        py::add_argument_note("path");
        return false;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(value, &size);
    if (utf8 == nullptr) {
        py::add_argument_note("path");
        return false;
    }
    text.assign(utf8, static_cast<std::size_t>(size));
    return true;
}

// ------------------------------------------------------------ borrows

// The borrows of a handle's member and the handle's document. `ok()` is
// false, with the borrow error set, when one was refused.
struct HandleBorrows {
    HandleObject* handle;
    DocumentObject* document;
    Borrow own;
    Borrow of_document;

    bool ok() const { return own.ok() && of_document.ok(); }
    DocumentState& state() const { return document->state; }
    HandleAddress address() const { return address_of(*handle); }
};

// Shared borrows of the handle, then of its document.
HandleBorrows borrow_for_reading(PyObject* self) {
    HandleObject* handle = as_handle(self);
    DocumentObject* document = as_document(handle->document);
    Borrow own = Borrow::shared(handle->borrow);
    if (!own.ok()) return {handle, document, std::move(own), Borrow::none()};
    return {handle, document, std::move(own), Borrow::shared(document->borrow)};
}

// A borrow of the handle (shared for a node, exclusive for a view's item
// assignment), then the document exclusively.
HandleBorrows borrow_for_editing(PyObject* self, bool handle_exclusively) {
    HandleObject* handle = as_handle(self);
    DocumentObject* document = as_document(handle->document);
    Borrow own = handle_exclusively ? Borrow::exclusive(handle->borrow) : Borrow::shared(handle->borrow);
    if (!own.ok()) return {handle, document, std::move(own), Borrow::none()};
    return {handle, document, std::move(own), Borrow::exclusive(document->borrow)};
}

// Runs `read(borrows, node)` for a reading member of a handle: borrows
// taken, path walked, `stale` raised when it leads nowhere.
template <class Read>
PyObject* read_handle(PyObject* self, void (*stale)(), Read&& read) {
    return guarded([&]() -> PyObject* {
        HandleBorrows borrows = borrow_for_reading(self);
        if (!borrows.ok()) return nullptr;
        const YamlNode* node = resolve_path(borrows.state(), borrows.handle->root, borrows.handle->path);
        if (node == nullptr) {
            stale();
            return nullptr;
        }
        return read(borrows, *node).release();
    });
}

template <class Read>
PyObject* read_view(PyObject* self, Read&& read) {
    return read_handle(self, raise_stale_view, static_cast<Read&&>(read));
}

template <class Read>
PyObject* read_node(PyObject* self, Read&& read) {
    return read_handle(self, raise_stale_node, static_cast<Read&&>(read));
}

// Runs `read(state)` for a reading member of the document, under its
// shared borrow.
template <class Read>
PyObject* read_document(PyObject* self, Read&& read) {
    return guarded([&]() -> PyObject* {
        DocumentObject* document = as_document(self);
        Borrow borrow = Borrow::shared(document->borrow);
        if (!borrow.ok()) return nullptr;
        return read(document->state).release();
    });
}

// ------------------------------------------------------------ shared members

// get(key, default): the item, or `default` when item access raised an
// Exception. Anything else (KeyboardInterrupt, SystemExit) is passed on.
PyObject* get_or_default(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames,
                         binaryfunc subscript) {
    static constexpr const char* kParameters[] = {"key", "default"};
    static constexpr py::MethodSignature kSignature{"get", kParameters, 2};
    return guarded([&]() -> PyObject* {
        PyObject* values[2];
        if (!py::parse_method_arguments(kSignature, args, nargsf, kwnames, values)) return nullptr;
        py::ref item = py::ref::steal(subscript(self, values[0]));
        if (item) return item.release();
        if (!PyErr_ExceptionMatches(PyExc_Exception)) return nullptr;
        PyErr_Clear();
        return py::ref::borrow(values[1]).release();
    });
}

// ------------------------------------------------------------ QuillmereDocument

PyObject* document_subscript(PyObject* self, PyObject* key) {
    return guarded([&]() -> PyObject* {
        DocumentObject* document = as_document(self);
        Borrow borrow = Borrow::shared(document->borrow);
        if (!borrow.ok()) return nullptr;
        const DocumentState& state = document->state;
        if (state.documents.size() == 1) return lookup_child(self, state, 0, Path{}, state.documents[0], key).release();
        // Zero or several documents: an index selects one.
        const std::optional<std::uint64_t> index = index_from_key(key);
        if (!index) {
            if (PyErr_Occurred()) return nullptr;
            PyErr_SetString(PyExc_KeyError, "multi-document access requires an integer index");
            return nullptr;
        }
        if (*index >= state.documents.size()) {
            PyErr_SetString(PyExc_IndexError, "index out of range");
            return nullptr;
        }
        const auto root = static_cast<std::size_t>(*index);
        return item_result(self, state, root, Path{}, state.documents[root]).release();
    });
}

int document_ass_subscript(PyObject* self, PyObject* key, PyObject* value) {
    return guarded(-1, [&]() -> int {
        if (value == nullptr) {
            PyErr_SetString(PyExc_NotImplementedError, "can't delete item");
            return -1;
        }
        DocumentObject* document = as_document(self);
        Borrow borrow = Borrow::exclusive(document->borrow);
        if (!borrow.ok()) return -1;
        return assign_document_item(document->state, key, value) ? 0 : -1;
    });
}

Py_ssize_t document_length(PyObject* self) {
    return guarded(Py_ssize_t{-1}, [&]() -> Py_ssize_t {
        DocumentObject* document = as_document(self);
        Borrow borrow = Borrow::shared(document->borrow);
        if (!borrow.ok()) return -1;
        const auto& documents = document->state.documents;
        if (documents.size() == 1) return node_length(documents.front());
        return static_cast<Py_ssize_t>(documents.size());
    });
}

// `key in doc`: a key of the only document's root mapping; false for a
// stream of any other size.
int document_contains(PyObject* self, PyObject* key) {
    return guarded(-1, [&]() -> int {
        DocumentObject* document = as_document(self);
        Borrow borrow = Borrow::shared(document->borrow);
        if (!borrow.ok()) return -1;
        const auto& documents = document->state.documents;
        return documents.size() == 1 ? mapping_has_key(documents.front(), key) : 0;
    });
}

PyObject* document_repr(PyObject* self) {
    return read_document(self, [](const DocumentState& state) {
        return py::ref::steal(PyUnicode_FromFormat("QuillmereDocument(documents=%zu)", state.documents.size()));
    });
}

PyObject* document_get(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return get_or_default(self, args, nargsf, kwnames, document_subscript);
}

PyObject* document_keys(PyObject* self, PyObject*) {
    return read_document(self, [](const DocumentState& state) -> py::ref {
        if (state.documents.size() != 1) {
            PyErr_SetString(PyExc_TypeError, "keys() is only available on a single mapping document");
            return {};
        }
        return mapping_keys_list(state, state.documents.front());
    });
}

PyObject* document_to_yaml_method(PyObject* self, PyObject*) {
    return read_document(self, [](const DocumentState& state) { return document_to_yaml(state); });
}

PyObject* document_set_origin(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    static constexpr const char* kParameters[] = {"path"};
    static constexpr py::MethodSignature kSignature{"set_origin", kParameters, 1};
    return guarded([&]() -> PyObject* {
        PyObject* values[1];
        if (!py::parse_method_arguments(kSignature, args, nargsf, kwnames, values)) return nullptr;
        std::string path;
        if (!path_text_from_argument(values[0], path)) return nullptr;
        DocumentObject* document = as_document(self);
        Borrow borrow = Borrow::exclusive(document->borrow);
        if (!borrow.ok()) return nullptr;
        document->state.origin = std::move(path);
        return py::none().release();
    });
}

PyObject* document_save(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    static constexpr const char* kParameters[] = {"path"};
    static constexpr py::MethodSignature kSignature{"save", kParameters, 0};
    return guarded([&]() -> PyObject* {
        PyObject* values[1];
        if (!py::parse_method_arguments(kSignature, args, nargsf, kwnames, values)) return nullptr;
        std::optional<std::string> path;
        if (values[0] != nullptr && values[0] != Py_None) {
            if (!path_text_from_argument(values[0], path.emplace())) return nullptr;
        }
        return read_document(self, [&](const DocumentState& state) { return save_document(state, path); });
    });
}

PyObject* document_range(PyObject* self, PyObject*) {
    return read_document(self, [](const DocumentState& state) -> py::ref {
        if (state.documents.empty()) return py::none();
        return range_tuple(state.documents.front());
    });
}

PyObject* document_to_dict(PyObject* self, PyObject*) {
    return read_document(self, [](const DocumentState& state) { return stream_value(state); });
}

PyObject* document_walk(PyObject* self, PyObject*) {
    return read_document(self, [](const DocumentState& state) -> py::ref {
        if (state.documents.empty()) return py::ref::steal(PyList_New(0));
        return walk_leaves(state, state.documents.front());
    });
}

PyObject* document_get_origin(PyObject* self, void*) {
    return read_document(self, [](const DocumentState& state) { return optional_text(state.origin); });
}

// No borrow and no walk: the cursor is made whatever the stream holds.
PyObject* document_get_node(PyObject* self, void*) {
    return guarded([&]() -> PyObject* { return new_node_object(self, 0, Path{}).release(); });
}

// Every anchor of the first document, name -> node of its definition; a
// name defined twice maps to its last definition.
PyObject* document_get_anchors(PyObject* self, void*) {
    return read_document(self, [&](const DocumentState& state) -> py::ref {
        py::ref anchors = py::ref::steal(PyDict_New());
        if (!anchors || state.documents.empty()) return anchors;
        for (auto& [name, path] : list_anchors(state.documents.front())) {
            py::ref key = text_object(name);
            if (!key) return {};
            py::ref node = new_node_object(self, 0, std::move(path));
            if (!node || PyDict_SetItem(anchors.get(), key.get(), node.get()) < 0) return {};
        }
        return anchors;
    });
}

// ------------------------------------------------------------ QuillmereDocumentView

PyObject* view_subscript(PyObject* self, PyObject* key) {
    return read_view(self, [&](const HandleBorrows& borrows, const YamlNode& node) {
        return lookup_child(borrows.handle->document, borrows.state(), borrows.handle->root, borrows.handle->path,
                            node, key);
    });
}

int view_ass_subscript(PyObject* self, PyObject* key, PyObject* value) {
    return guarded(-1, [&]() -> int {
        if (value == nullptr) {
            PyErr_SetString(PyExc_NotImplementedError, "can't delete item");
            return -1;
        }
        HandleBorrows borrows = borrow_for_editing(self, true);
        if (!borrows.ok()) return -1;
        return assign_view_item(borrows.state(), borrows.address(), key, value) ? 0 : -1;
    });
}

Py_ssize_t view_length(PyObject* self) {
    Py_ssize_t length = -1;
    py::ref done = py::ref::steal(read_view(self, [&](const HandleBorrows&, const YamlNode& node) {
        length = node_length(node);
        return py::none();
    }));
    return done ? length : -1;
}

int view_contains(PyObject* self, PyObject* key) {
    int found = -1;
    py::ref done = py::ref::steal(read_view(self, [&](const HandleBorrows&, const YamlNode& node) {
        found = mapping_has_key(node, key);
        return found < 0 ? py::ref() : py::none();
    }));
    return done ? found : -1;
}

// Never KeyError: a stale view shows <stale>.
PyObject* view_repr(PyObject* self) {
    return guarded([&]() -> PyObject* {
        HandleBorrows borrows = borrow_for_reading(self);
        if (!borrows.ok()) return nullptr;
        const YamlNode* node = resolve_path(borrows.state(), borrows.handle->root, borrows.handle->path);
        return PyUnicode_FromFormat("QuillmereDocumentView(%s)", node ? kind_name(*node) : "<stale>");
    });
}

PyObject* view_get(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return get_or_default(self, args, nargsf, kwnames, view_subscript);
}

PyObject* view_keys(PyObject* self, PyObject*) {
    return read_view(self, [](const HandleBorrows& borrows, const YamlNode& node) {
        return mapping_keys_list(borrows.state(), node);
    });
}

// unwrap() and to_dict(): one operation under two names.
PyObject* view_unwrap(PyObject* self, PyObject*) {
    return read_view(self, [](const HandleBorrows& borrows, const YamlNode& node) {
        results::AliasCache aliases(borrows.state().documents);
        return plain_value(borrows.state(), node, aliases);
    });
}

PyObject* view_range(PyObject* self, PyObject*) {
    return read_view(self, [](const HandleBorrows&, const YamlNode& node) { return range_tuple(node); });
}

PyObject* view_walk(PyObject* self, PyObject*) {
    return read_view(self, [](const HandleBorrows& borrows, const YamlNode& node) {
        return walk_leaves(borrows.state(), node);
    });
}

PyObject* view_to_yaml(PyObject* self, PyObject*) {
    return read_view(self, [](const HandleBorrows& borrows, const YamlNode& node) {
        return node_to_yaml(borrows.state(), borrows.address(), node);
    });
}

// A cursor on the view's node; the view is borrowed, its path not walked.
PyObject* view_get_node(PyObject* self, void*) {
    return guarded([&]() -> PyObject* {
        HandleObject* handle = as_handle(self);
        Borrow borrow = Borrow::shared(handle->borrow);
        if (!borrow.ok()) return nullptr;
        return new_node_object(handle->document, handle->root, handle->path).release();
    });
}

// ------------------------------------------------------------ QuillmereNode

// The directive or custom tag that produced a node: its source's tag, else
// its own tag as written unless it names a core tag ("!!str",
// "!<tag:yaml.org,2002:str>", or "!e!str" where %TAG gives "!e!" the core
// prefix).
std::optional<std::string_view> provenance_tag(const YamlNode& node) {
    if (const auto& source = node.source()) return std::string_view(source->tag);
    const std::optional<std::string_view> meaning = node.tag_meaning();
    if (!meaning || !parse::is_custom_tag(*meaning)) return std::nullopt;
    return std::string_view(*node.tag());
}

bool provenance_is(const YamlNode& node, std::string_view tag) { return provenance_tag(node) == tag; }

// The node at the end of the handle's path, or the definition an alias
// there refers to in the handle's document: the base that indexing and
// membership step from. Null when the path is stale.
const YamlNode* indexing_base(const DocumentState& state, const HandleObject& handle, Path& base) {
    base = handle.path;
    const YamlNode* node = resolve_path(state, handle.root, base);
    if (node == nullptr || !node->is(NodeKind::Alias)) return node;
    std::optional<Path> target = alias_target_path(state.documents, handle.root, *node);
    if (!target) return node;
    base = std::move(*target);
    return resolve_path(state, handle.root, base);
}

PyObject* node_subscript(PyObject* self, PyObject* key) {
    return guarded([&]() -> PyObject* {
        HandleBorrows borrows = borrow_for_reading(self);
        if (!borrows.ok()) return nullptr;
        Path path;
        const YamlNode* base = indexing_base(borrows.state(), *borrows.handle, path);
        if (base == nullptr) {
            raise_stale_node();
            return nullptr;
        }
        std::optional<PathSegment> step = path_segment_from_key(key);
        if (!step) return nullptr;
        if (child_at(*base, *step) == nullptr) {
            raise_missing_key(*base, key);
            return nullptr;
        }
        path.push_back(std::move(*step));
        return new_node_object(borrows.handle->document, borrows.handle->root, std::move(path)).release();
    });
}

int node_contains(PyObject* self, PyObject* key) {
    return guarded(-1, [&]() -> int {
        HandleBorrows borrows = borrow_for_reading(self);
        if (!borrows.ok()) return -1;
        Path path;
        const YamlNode* base = indexing_base(borrows.state(), *borrows.handle, path);
        if (base == nullptr) {
            raise_stale_node();
            return -1;
        }
        return mapping_has_key(*base, key);
    });
}

PyObject* node_repr(PyObject* self) {
    return guarded([&]() -> PyObject* {
        HandleBorrows borrows = borrow_for_reading(self);
        if (!borrows.ok()) return nullptr;
        const YamlNode* node = resolve_path(borrows.state(), borrows.handle->root, borrows.handle->path);
        return PyUnicode_FromFormat("QuillmereNode(%s)", node ? kind_name(*node) : "<stale>");
    });
}

// The getters. Each reads one thing of the node its path leads to.
template <py::ref (*Read)(const HandleBorrows&, const YamlNode&)>
PyObject* node_getter(PyObject* self, void*) {
    return read_node(self, Read);
}

py::ref read_value(const HandleBorrows& borrows, const YamlNode& node) {
    results::AliasCache aliases(borrows.state().documents);
    const YamlNode* target = node.is(NodeKind::Alias) ? aliases.target(node) : &node;
    if (target == nullptr) return py::none();
    return plain_value(borrows.state(), *target, aliases);
}

py::ref read_line(const HandleBorrows&, const YamlNode& node) {
    return py::ref::steal(PyLong_FromUnsignedLongLong(node.span.line + 1ULL));
}

py::ref read_column(const HandleBorrows&, const YamlNode& node) {
    return py::ref::steal(PyLong_FromUnsignedLongLong(node.span.column + 1ULL));
}

py::ref read_offset(const HandleBorrows&, const YamlNode& node) {
    return py::ref::steal(PyLong_FromUnsignedLongLong(node.span.offset));
}

py::ref read_end_offset(const HandleBorrows&, const YamlNode& node) {
    return py::ref::steal(PyLong_FromUnsignedLongLong(node.end_offset));
}

py::ref read_file(const HandleBorrows& borrows, const YamlNode& node) {
    const auto& paths = borrows.state().file_paths;
    if (node.span.file_id >= paths.size()) return py::none();
    return text_object(paths[node.span.file_id]);
}

// The comments of a node are those written with it where it stands: for
// an included file's root, its directive's in the including file.
py::ref read_comment(const HandleBorrows&, const YamlNode& node) {
    const roundtrip::Comments* comments = roundtrip::placed_comments(node);
    if (!comments || !comments->inline_comment()) return py::none();
    return text_object(roundtrip::shown_comment(*comments->inline_comment()));
}

py::ref read_comment_before(const HandleBorrows& borrows, const YamlNode&) {
    const YamlNode* owner = head_comment_owner(borrows.state(), borrows.address());
    if (owner == nullptr) {
        raise_stale_node();
        return {};
    }
    const roundtrip::Comments* comments = roundtrip::placed_comments(*owner);
    if (comments == nullptr || comments->head().empty()) return py::none();
    const auto& head = comments->head();
    std::string joined;
    for (const std::string& line : head) {
        if (!joined.empty() || &line != &head.front()) joined += '\n';
        joined += roundtrip::shown_comment(line);
    }
    return text_object(joined);
}

py::ref read_style(const HandleBorrows&, const YamlNode& node) {
    return py::ref::steal(PyUnicode_FromString(style_name(node)));
}

py::ref read_anchor(const HandleBorrows&, const YamlNode& node) { return optional_text(node.anchor()); }

py::ref read_tag(const HandleBorrows&, const YamlNode& node) { return optional_text(node.tag()); }

py::ref read_source_tag(const HandleBorrows&, const YamlNode& node) {
    const std::optional<std::string_view> tag = provenance_tag(node);
    return tag ? text_object(*tag) : py::none();
}

py::ref read_source_target(const HandleBorrows&, const YamlNode& node) {
    const auto& source = node.source();
    return source ? text_object(source->target) : py::none();
}

py::ref read_is_secret(const HandleBorrows&, const YamlNode& node) {
    return py::boolean(provenance_is(node, "!secret"));
}

py::ref read_is_env_var(const HandleBorrows&, const YamlNode& node) {
    return py::boolean(provenance_is(node, "!env_var"));
}

py::ref read_is_include(const HandleBorrows&, const YamlNode& node) {
    const std::optional<std::string_view> tag = provenance_tag(node);
    return py::boolean(tag && is_include_tag(std::string(*tag)));
}

py::ref read_is_alias(const HandleBorrows&, const YamlNode& node) {
    return py::boolean(node.is(NodeKind::Alias));
}

py::ref read_target(const HandleBorrows& borrows, const YamlNode& node) {
    if (!node.is(NodeKind::Alias)) return py::none();
    const std::size_t root = borrows.handle->root;
    std::optional<Path> path = alias_target_path(borrows.state().documents, root, node);
    if (!path) return py::none();
    return new_node_object(borrows.handle->document, root, std::move(*path));
}

py::ref read_aliases(const HandleBorrows& borrows, const YamlNode& node) {
    py::ref list = py::ref::steal(PyList_New(0));
    if (!list || !node.anchor()) return list;
    const std::size_t root = borrows.handle->root;
    const AliasTargets targets(borrows.state().documents);
    for (Path& path : alias_paths(borrows.state().documents[root], node, targets)) {
        py::ref alias = new_node_object(borrows.handle->document, root, std::move(path));
        if (!alias || PyList_Append(list.get(), alias.get()) < 0) return {};
    }
    return list;
}

// The setters: deleting a property is refused before any borrow; then the
// node is borrowed shared and the document exclusively.
template <bool (*Edit)(DocumentState&, const HandleAddress&, PyObject*)>
int node_setter(PyObject* self, PyObject* value, void*) {
    return guarded(-1, [&]() -> int {
        if (value == nullptr) {
            PyErr_SetString(PyExc_AttributeError, "property has no deleter");
            return -1;
        }
        HandleBorrows borrows = borrow_for_editing(self, false);
        if (!borrows.ok()) return -1;
        return Edit(borrows.state(), borrows.address(), value) ? 0 : -1;
    });
}

PyObject* node_make_alias(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    static constexpr const char* kParameters[] = {"name"};
    static constexpr py::MethodSignature kSignature{"make_alias", kParameters, 1};
    return guarded([&]() -> PyObject* {
        PyObject* values[1];
        if (!py::parse_method_arguments(kSignature, args, nargsf, kwnames, values)) return nullptr;
        HandleBorrows borrows = borrow_for_editing(self, false);
        if (!borrows.ok()) return nullptr;
        if (!make_node_alias(borrows.state(), borrows.address(), values[0])) return nullptr;
        return py::none().release();
    });
}

PyObject* node_detach(PyObject* self, PyObject*) {
    return guarded([&]() -> PyObject* {
        HandleBorrows borrows = borrow_for_editing(self, false);
        if (!borrows.ok()) return nullptr;
        if (!detach_node(borrows.state(), borrows.address())) return nullptr;
        return new_node_object(borrows.handle->document, borrows.handle->root, borrows.handle->path).release();
    });
}

// ------------------------------------------------------------ docstrings

constexpr const char* kDocumentDoc =
    "A structure-preserving YAML document returned by `loads(..., OPT_ROUND_TRIP)`.\n"
    "\n"
    "Holds the rich AST (comments, styles, anchors, include boundaries) and, when\n"
    "loaded with includes, the `file_id` \xE2\x86\x92 source-path map used for write-back.";

constexpr const char* kDocumentViewDoc =
    "A live proxy onto a nested node of a [`QuillmereDocument`], addressed by path.";

constexpr const char* kNodeDoc =
    "A metadata-bearing handle onto a single node of a [`QuillmereDocument`].\n"
    "\n"
    "Where [`QuillmereDocumentView`] targets containers and resolves scalars to plain\n"
    "Python values, a `QuillmereNode` is returned for *every* node (scalars included), so\n"
    "comments, source location, scalar/collection style, anchor, and tag are\n"
    "always reachable without knowing the node's path in advance. Obtain the root\n"
    "cursor with `QuillmereDocument.node`, then index into it (`doc.node[\"server\"][\"port\"]`)\n"
    "to address any node in the tree; each index step returns another `QuillmereNode`.\n"
    "\n"
    "Comments follow YAML's own placement. `comment_before` is the standalone\n"
    "comment above a node (above its key, for a mapping value) and `comment` is\n"
    "the inline comment trailing the value on the same line. Both read and write\n"
    "the bare comment text, without the leading `#`.";

constexpr const char* kGetDoc = "get($self, key, default)\n--\n\n";
constexpr const char* kKeysDoc = "keys($self)\n--\n\n";

constexpr const char* kDocumentToYamlDoc =
    "to_yaml($self)\n--\n\n"
    "Serialize the document back to YAML bytes, preserving structure.\n"
    "\n"
    "If the document has not been modified since loading, the original source\n"
    "is returned **byte-for-byte**. Once any value is changed, the document is\n"
    "re-emitted from the AST (preserving comments, styles, and include\n"
    "directives). When loaded with includes, directives are restored.";

constexpr const char* kSetOriginDoc =
    "set_origin($self, path)\n--\n\n"
    "Record the path this document was loaded from (used by `save`).";

constexpr const char* kSaveDoc =
    "save($self, path=None)\n--\n\n"
    "Write the document back to disk, saving **only the changed files**.\n"
    "\n"
    "* Included files whose content was modified are rewritten in place;\n"
    "  untouched includes are left exactly as they were.\n"
    "* The root file is rewritten only if root-level content changed, or when\n"
    "  an explicit `path` is given (a save-as).\n"
    "\n"
    "With no `path`, the document must have been loaded from disk (so it knows\n"
    "its origin). Returns the list of paths that were written.";

constexpr const char* kDocumentRangeDoc =
    "range($self)\n--\n\n"
    "The 1-based source range `(start_line, start_col, end_line, end_col)` of\n"
    "the document's root node.";

constexpr const char* kDocumentToDictDoc =
    "to_dict($self)\n--\n\n"
    "Return the document as plain Python objects (a resolved snapshot).";

constexpr const char* kDocumentWalkDoc =
    "walk($self)\n--\n\n"
    "Walk every scalar leaf, yielding ``(path, value)`` pairs where ``path``\n"
    "is a tuple of mapping keys and sequence indices. Combine with item\n"
    "access to perform bulk edits:\n"
    "\n"
    "```python\n"
    "for path, value in doc.walk():\n"
    "    if value == \"CHANGE_ME\":\n"
    "        target = doc\n"
    "        for key in path[:-1]:\n"
    "            target = target[key]\n"
    "        target[path[-1]] = \"changed\"\n"
    "```";

constexpr const char* kOriginDoc = "The path this document was loaded from, if any.";

constexpr const char* kDocumentNodeDoc =
    "The root [`QuillmereNode`] cursor: a metadata-bearing handle from which any node\n"
    "in the tree can be reached by indexing (`doc.node[\"server\"][\"port\"]`).\n"
    "Unlike item access, indexing a `QuillmereNode` always yields another `QuillmereNode`, so\n"
    "comments, source location, style, anchor, and tag stay reachable down to\n"
    "individual scalars.";

constexpr const char* kAnchorsDoc =
    "A mapping of every anchor name (`&name`) to the [`QuillmereNode`] that defines it,\n"
    "for discovering and navigating the document's anchors. Use a definition's\n"
    "`QuillmereNode.aliases` to find the `*name` references that point back at it.";

constexpr const char* kViewNodeDoc =
    "The [`QuillmereNode`] cursor for this view's node: a metadata-bearing handle\n"
    "exposing comments, source location, style, anchor, and tag.";

constexpr const char* kUnwrapDoc =
    "unwrap($self)\n--\n\n"
    "The resolved plain-Python value of this node (dict/list/scalar).";

constexpr const char* kViewToDictDoc =
    "to_dict($self)\n--\n\n"
    "Alias for [`unwrap`](Self::unwrap): the resolved plain-Python value.";

constexpr const char* kViewRangeDoc =
    "range($self)\n--\n\n"
    "The node's 1-based source range `(start_line, start_col, end_line,\n"
    "end_col)`.";

constexpr const char* kViewWalkDoc =
    "walk($self)\n--\n\n"
    "Walk every scalar leaf below this view, yielding ``(path, value)`` pairs\n"
    "relative to this node.";

constexpr const char* kViewToYamlDoc =
    "to_yaml($self)\n--\n\n"
    "Serialize just this nested node back to YAML bytes.";

// The four writable node properties carry the getter's text, then the
// setter's.
constexpr const char* kValueDoc =
    "The resolved plain-Python value of this node (scalar, dict, or list).\n"
    "\n"
    "Replace this node's value, preserving its comments, anchor, and tag.";

constexpr const char* kLineDoc = "The node's 1-based source line.";
constexpr const char* kColumnDoc = "The node's 1-based source column.";

constexpr const char* kOffsetDoc =
    "The 0-based byte offset of the node's first source character.\n"
    "\n"
    "Together with [`end_offset`](Self::end_offset) this gives the node's exact\n"
    "source extent, so the original bytes can be sliced directly\n"
    "(`source[node.offset : node.end_offset]`) \xE2\x80\x94 something line/column alone\n"
    "cannot do without re-deriving offsets.";

constexpr const char* kEndOffsetDoc =
    "The 0-based byte offset just past the node's last source character.\n"
    "\n"
    "Exact (not the approximation [`range`](Self::range) derives from the\n"
    "post-scan text): the scanner records each scalar's true source end, and a\n"
    "collection spans to the furthest end of any child.";

constexpr const char* kFileDoc =
    "The path of the source file this node came from, or `None` when the\n"
    "document was not loaded with includes (so there is a single source).";

constexpr const char* kCommentDoc =
    "The inline comment trailing this node's value, or `None`. The returned\n"
    "text has no leading `#` or surrounding whitespace.\n"
    "\n"
    "Set or clear the inline comment. Pass the bare text (no `#`) or `None`.";

constexpr const char* kCommentBeforeDoc =
    "The standalone comment line(s) above this node, joined by newlines, or\n"
    "`None`. For a mapping value this is the comment above its key.\n"
    "\n"
    "Set or clear the standalone comment above this node. A multi-line string\n"
    "becomes one comment line per line; `None` removes the comment.";

constexpr const char* kStyleDoc =
    "The presentation style: a scalar's quoting (`plain`, `single`, `double`,\n"
    "`literal`, `folded`), a collection's layout (`block`, `flow`), `alias`,\n"
    "or `null`.";

constexpr const char* kAnchorDoc =
    "The node's anchor name (`&name`), or `None`.\n"
    "\n"
    "Set or clear this node's anchor (`&name`). The name must be unique:\n"
    "assigning a name already defined on another node is an error, so the\n"
    "document can never emit two `&name` definitions. `None` removes the anchor.";

constexpr const char* kTagDoc = "The node's explicit tag (e.g. `!!str`, `!custom`), or `None`.";

constexpr const char* kSourceTagDoc =
    "The config/custom tag that produced this node (`!secret`, `!env_var`,\n"
    "`!include*`, or a custom `!mytag`), or `None`. Provenance for a resolved\n"
    "node, distinct from `tag` (the node's own YAML type tag).";

constexpr const char* kSourceTargetDoc =
    "The directive argument that produced this node (the secret name, include\n"
    "path, or env-var spec), or `None`. With `source_tag`, reconstructs the\n"
    "directive (e.g. `!secret db_password`).";

constexpr const char* kIsSecretDoc = "Whether this node's value was produced by a `!secret` directive.";
constexpr const char* kIsEnvVarDoc = "Whether this node's value was produced by an `!env_var` directive.";
constexpr const char* kIsIncludeDoc = "Whether this node's value was produced by any `!include` directive.";
constexpr const char* kIsAliasDoc = "Whether this node is an alias (`*name`).";

constexpr const char* kTargetDoc =
    "For an alias, the `QuillmereNode` of the anchor definition it points at; `None`\n"
    "for any non-alias node (or an alias whose anchor is undefined).";

constexpr const char* kAliasesDoc =
    "If this node defines an anchor (`&name`), the alias `QuillmereNode`s that\n"
    "reference it, in document order. Empty for a node with no anchor.";

constexpr const char* kMakeAliasDoc =
    "make_alias($self, name)\n--\n\n"
    "Turn this node into an alias (`*name`) of an existing anchor, replacing its\n"
    "current value.\n"
    "\n"
    "The anchor must already be defined earlier in the document, so no dangling\n"
    "or forward reference can arise. Mark the target first with\n"
    "`anchor = \"name\"`, then call `make_alias(\"name\")` on the node to replace.";

constexpr const char* kDetachDoc =
    "detach($self)\n--\n\n"
    "Replace an alias with an independent deep copy of the anchor it points at,\n"
    "and return the new `QuillmereNode`.\n"
    "\n"
    "The copy carries the anchored node's styles and comments but no anchor of\n"
    "its own, with any aliases inside it expanded, so editing it no longer\n"
    "affects the anchored node. Raises if this node is not an alias.";

// ------------------------------------------------------------ type objects

constexpr int kFastKeywords = METH_FASTCALL | METH_KEYWORDS;

PyCFunction fast(py::FastFunction function) { return py::as_method(function); }

PyMethodDef document_methods[] = {
    {"get", fast(document_get), kFastKeywords, kGetDoc},
    {"keys", document_keys, METH_NOARGS, kKeysDoc},
    {"to_yaml", document_to_yaml_method, METH_NOARGS, kDocumentToYamlDoc},
    {"set_origin", fast(document_set_origin), kFastKeywords, kSetOriginDoc},
    {"save", fast(document_save), kFastKeywords, kSaveDoc},
    {"range", document_range, METH_NOARGS, kDocumentRangeDoc},
    {"to_dict", document_to_dict, METH_NOARGS, kDocumentToDictDoc},
    {"walk", document_walk, METH_NOARGS, kDocumentWalkDoc},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef document_getset[] = {
    {"origin", document_get_origin, nullptr, kOriginDoc, nullptr},
    {"node", document_get_node, nullptr, kDocumentNodeDoc, nullptr},
    {"anchors", document_get_anchors, nullptr, kAnchorsDoc, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef view_methods[] = {
    {"get", fast(view_get), kFastKeywords, kGetDoc},
    {"keys", view_keys, METH_NOARGS, kKeysDoc},
    {"unwrap", view_unwrap, METH_NOARGS, kUnwrapDoc},
    {"to_dict", view_unwrap, METH_NOARGS, kViewToDictDoc},
    {"range", view_range, METH_NOARGS, kViewRangeDoc},
    {"walk", view_walk, METH_NOARGS, kViewWalkDoc},
    {"to_yaml", view_to_yaml, METH_NOARGS, kViewToYamlDoc},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef view_getset[] = {
    {"node", view_get_node, nullptr, kViewNodeDoc, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef node_methods[] = {
    {"make_alias", fast(node_make_alias), kFastKeywords, kMakeAliasDoc},
    {"detach", node_detach, METH_NOARGS, kDetachDoc},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef node_getset[] = {
    {"value", node_getter<read_value>, node_setter<set_node_value>, kValueDoc, nullptr},
    {"line", node_getter<read_line>, nullptr, kLineDoc, nullptr},
    {"column", node_getter<read_column>, nullptr, kColumnDoc, nullptr},
    {"offset", node_getter<read_offset>, nullptr, kOffsetDoc, nullptr},
    {"end_offset", node_getter<read_end_offset>, nullptr, kEndOffsetDoc, nullptr},
    {"file", node_getter<read_file>, nullptr, kFileDoc, nullptr},
    {"comment", node_getter<read_comment>, node_setter<set_node_comment>, kCommentDoc, nullptr},
    {"comment_before", node_getter<read_comment_before>, node_setter<set_node_comment_before>, kCommentBeforeDoc,
     nullptr},
    {"style", node_getter<read_style>, nullptr, kStyleDoc, nullptr},
    {"anchor", node_getter<read_anchor>, node_setter<set_node_anchor>, kAnchorDoc, nullptr},
    {"tag", node_getter<read_tag>, nullptr, kTagDoc, nullptr},
    {"source_tag", node_getter<read_source_tag>, nullptr, kSourceTagDoc, nullptr},
    {"source_target", node_getter<read_source_target>, nullptr, kSourceTargetDoc, nullptr},
    {"is_secret", node_getter<read_is_secret>, nullptr, kIsSecretDoc, nullptr},
    {"is_env_var", node_getter<read_is_env_var>, nullptr, kIsEnvVarDoc, nullptr},
    {"is_include", node_getter<read_is_include>, nullptr, kIsIncludeDoc, nullptr},
    {"is_alias", node_getter<read_is_alias>, nullptr, kIsAliasDoc, nullptr},
    {"target", node_getter<read_target>, nullptr, kTargetDoc, nullptr},
    {"aliases", node_getter<read_aliases>, nullptr, kAliasesDoc, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

template <class F>
void* slot(F function) {
    return reinterpret_cast<void*>(function);
}

PyType_Slot document_slots[] = {
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_dealloc, slot(dealloc_document)},
    {Py_tp_traverse, slot(traverse_document)},
    {Py_tp_doc, const_cast<char*>(kDocumentDoc)},
    {Py_tp_repr, slot(document_repr)},
    {Py_tp_methods, document_methods},
    {Py_tp_getset, document_getset},
    {Py_mp_length, slot(document_length)},
    {Py_mp_subscript, slot(document_subscript)},
    {Py_mp_ass_subscript, slot(document_ass_subscript)},
    {Py_sq_contains, slot(document_contains)},
    {0, nullptr},
};

PyType_Slot view_slots[] = {
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_dealloc, slot(dealloc_handle)},
    {Py_tp_traverse, slot(traverse_handle)},
    {Py_tp_clear, slot(clear_handle)},
    {Py_tp_doc, const_cast<char*>(kDocumentViewDoc)},
    {Py_tp_repr, slot(view_repr)},
    {Py_tp_methods, view_methods},
    {Py_tp_getset, view_getset},
    {Py_mp_length, slot(view_length)},
    {Py_mp_subscript, slot(view_subscript)},
    {Py_mp_ass_subscript, slot(view_ass_subscript)},
    {Py_sq_contains, slot(view_contains)},
    {0, nullptr},
};

PyType_Slot node_slots[] = {
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_dealloc, slot(dealloc_handle)},
    {Py_tp_traverse, slot(traverse_handle)},
    {Py_tp_clear, slot(clear_handle)},
    {Py_tp_doc, const_cast<char*>(kNodeDoc)},
    {Py_tp_repr, slot(node_repr)},
    {Py_tp_methods, node_methods},
    {Py_tp_getset, node_getset},
    {Py_mp_subscript, slot(node_subscript)},
    {Py_sq_contains, slot(node_contains)},
    {0, nullptr},
};

// Collected, and not instantiable from Python.
constexpr unsigned kClassFlags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_DISALLOW_INSTANTIATION;

PyType_Spec document_spec = {
    .name = "builtins.QuillmereDocument",
    .basicsize = static_cast<int>(sizeof(DocumentObject)),
    .itemsize = 0,
    .flags = kClassFlags,
    .slots = document_slots,
};

PyType_Spec view_spec = {
    .name = "builtins.QuillmereDocumentView",
    .basicsize = static_cast<int>(sizeof(HandleObject)),
    .itemsize = 0,
    .flags = kClassFlags,
    .slots = view_slots,
};

PyType_Spec node_spec = {
    .name = "builtins.QuillmereNode",
    .basicsize = static_cast<int>(sizeof(HandleObject)),
    .itemsize = 0,
    .flags = kClassFlags,
    .slots = node_slots,
};

}  // namespace

// ------------------------------------------------------------ shared with others

std::optional<std::uint64_t> index_from_key(PyObject* key) {
    py::ref number = py::ref::borrow(key);
    if (!PyLong_Check(key)) {
        number = py::ref::steal(PyNumber_Index(key));
        if (!number) {
            if (PyErr_ExceptionMatches(PyExc_Exception)) PyErr_Clear();
            return std::nullopt;
        }
    }
    const unsigned long long value = PyLong_AsUnsignedLongLong(number.get());
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        PyErr_Clear();  // negative, or past 2^64 - 1
        return std::nullopt;
    }
    return value;
}

const YamlNode* head_comment_owner(const DocumentState& state, const HandleAddress& address) {
    const Path& path = address.path;
    if (path.empty() || path.back().is_index()) return resolve_path(state, address.root, path);
    if (address.root >= state.documents.size()) return nullptr;
    const YamlNode* parent = &state.documents[address.root];
    for (std::size_t i = 0; i + 1 < path.size() && parent != nullptr; ++i) parent = child_at(*parent, path[i]);
    if (parent == nullptr || !parent->is(NodeKind::Mapping) || parent->pairs().empty()) return nullptr;
    // The comments above a mapping's first key are the mapping's.
    const std::optional<std::size_t> at = roundtrip::entry_position(parent->pairs(), path.back().key());
    if (!at) return nullptr;
    return *at == 0 ? parent : &parent->pairs()[*at].key;
}

YamlNode* head_comment_owner(DocumentState& state, const HandleAddress& address) {
    return const_cast<YamlNode*>(head_comment_owner(static_cast<const DocumentState&>(state), address));
}

bool is_document(PyObject* object) {
    PyTypeObject* type = document_type();
    return type != nullptr && PyObject_TypeCheck(object, type);
}

bool is_document_view(PyObject* object) {
    PyTypeObject* type = document_view_type();
    return type != nullptr && PyObject_TypeCheck(object, type);
}

// The plain road's reading of the node: the rules of the text's own
// %YAML header (YAML 1.2 core unless it says 1.1), merge keys applied,
// custom tags left as the plain road leaves them without tag callables,
// and aliases resolved through the whole stream.
py::ref plain_value(const DocumentState& state, const YamlNode& node, results::AliasCache& aliases) {
    const auto mode = state.yaml11 ? resolver::ResolveMode::Yaml11 : resolver::ResolveMode::Core12;
    return results::tree_to_python(node, mode, results::DecodeContext{}, state.file_paths, aliases);
}

std::optional<SharedDocument> SharedDocument::take(PyObject* document) {
    DocumentObject* object = as_document(document);
    Borrow borrow = Borrow::shared(object->borrow);
    if (!borrow.ok()) return std::nullopt;
    return SharedDocument(std::move(borrow), object->state);
}

py::ref new_document_object(DocumentState state) {
    PyTypeObject* type = document_type();
    if (type == nullptr) return {};
    py::ref object = py::ref::steal(type->tp_alloc(type, 0));
    if (!object) return {};
    DocumentObject* document = as_document(object.get());
    new (&document->state) DocumentState(std::move(state));
    new (&document->borrow) BorrowFlag(0);
    return object;
}

PyObject* create_document_type() { return PyType_FromSpec(&document_spec); }
PyObject* create_document_view_type() { return PyType_FromSpec(&view_spec); }
PyObject* create_node_type() { return PyType_FromSpec(&node_spec); }

}  // namespace quillmere::document
