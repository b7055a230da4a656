// What the document classes share with the code that edits, serialises and
// saves a round-trip document.
//
// document.cpp defines QuillmereDocument, QuillmereDocumentView and
// QuillmereNode: it parses every member's arguments, takes the borrows in
// their fixed order and hands the member's work to a function declared
// here. The editing functions live in document_edit.cpp, serialising,
// walking and saving in document_io.cpp:
//
//     node.value = 5      document.cpp: node shared, document exclusive
//                         -> set_node_value(state, {root, path}, 5)
//     view.to_yaml()      document.cpp: view shared, document shared, the
//                         view's path walked (KeyError "stale view")
//                         -> node_to_yaml(state, {root, path}, node)
//
// Each function runs with the interpreter lock held and the caller's
// borrows taken; it takes no borrow of its own and returns its result, or
// null / false with the Python error set. Handles are passed as their
// address (root document and path), never as a node: a function that
// edits walks the path itself, so that it can check what it needs before
// it changes anything. Python arguments are borrowed from the caller, which
// keeps them alive for the call.
//
// The other way round, document.cpp gives the module functions (dumps,
// to_json, dump_includes) a shared borrow of a document, every reader the
// one plain-value conversion of the document API, and the exec step the
// creators of the three classes.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "py/borrow.h"
#include "py/ref.h"
#include "results/tree_values.h"
#include "roundtrip/ast.h"
#include "roundtrip/document_state.h"
#include "roundtrip/path.h"

namespace quillmere::document {

// Where a handle points: `path` from documents[root]. `root` is 0 except
// for handles made from document-level item access on a stream of several
// documents, which stay in the document they were made from.
struct HandleAddress {
    std::size_t root = 0;
    const roundtrip::Path& path;
};

// ------------------------------------------------------------------ editing
// Defined in document_edit.cpp. The document's exclusive borrow is held.
// Deleting an item ("can't delete item") and a node property ("property
// has no deleter") is refused by the caller before any borrow, so `value`,
// `name` and `text` are never null.

// doc[key] = value.
[[nodiscard]] bool assign_document_item(roundtrip::DocumentState& state, PyObject* key, PyObject* value);

// view[key] = value; the view's exclusive borrow is held too. The view's
// path is not walked yet (stale: KeyError "stale view").
[[nodiscard]] bool assign_view_item(roundtrip::DocumentState& state, const HandleAddress& view, PyObject* key,
                                    PyObject* value);

// The node setters and methods; the node's shared borrow is held too. The
// node's path is not walked yet (stale: KeyError "stale node"). `name` and
// `text` are the objects as given (None clears).
[[nodiscard]] bool set_node_value(roundtrip::DocumentState& state, const HandleAddress& node, PyObject* value);
[[nodiscard]] bool set_node_anchor(roundtrip::DocumentState& state, const HandleAddress& node, PyObject* name);
[[nodiscard]] bool set_node_comment(roundtrip::DocumentState& state, const HandleAddress& node, PyObject* text);
[[nodiscard]] bool set_node_comment_before(roundtrip::DocumentState& state, const HandleAddress& node,
                                           PyObject* text);
[[nodiscard]] bool make_node_alias(roundtrip::DocumentState& state, const HandleAddress& node, PyObject* name);
// On success the caller returns a new QuillmereNode at the same address.
[[nodiscard]] bool detach_node(roundtrip::DocumentState& state, const HandleAddress& node);

// ------------------------------------------------------- serialising, saving
// Defined in document_io.cpp. The document's shared borrow is held (and
// the view's, for a view's member).

// The whole stream as bytes: doc.to_yaml() and dumps(doc).
py::ref document_to_yaml(const roundtrip::DocumentState& state);

// view.to_yaml(): `node` is the node at `view`, its path already walked.
py::ref node_to_yaml(const roundtrip::DocumentState& state, const HandleAddress& view,
                     const roundtrip::YamlNode& node);

// walk(): the leaves below `start` (documents[0] for the document, the
// view's node for a view) as a list of (path tuple, value) pairs. A
// document without documents does not call it: its walk is [].
py::ref walk_leaves(const roundtrip::DocumentState& state, const roundtrip::YamlNode& start);

// doc.save(path): `path` is the UTF-8 text of the str given, or absent.
// The list of the written paths.
py::ref save_document(const roundtrip::DocumentState& state, const std::optional<std::string>& path);

// dump_includes(doc): every included file written back to its path, as one
// batch. False with the error set: ValueError "document was not loaded
// with OPT_INCLUDES; nothing to write back" without a source table,
// QuillmereIncludeError when two copies of a file differ, the confinement
// error for a file that now lies outside the include root, ValueError
// "cannot write {path}: {reason}" when a write fails (nothing written).
[[nodiscard]] bool write_included_files(const roundtrip::DocumentState& state);

// dump_includes_map(doc): the same texts as a dict from path to bytes;
// null with the same errors but those of writing.
py::ref included_files_map(const roundtrip::DocumentState& state);

// ------------------------------------------------- from the document classes
// Defined in document.cpp.

// Whether `object` is a QuillmereDocument / QuillmereDocumentView (or a
// subclass). False with the internal fault set when the type object
// cannot be made; check PyErr_Occurred() on false.
bool is_document(PyObject* object);
bool is_document_view(PyObject* object);

// A shared borrow of a QuillmereDocument's state, for a module function
// that reads a document it was given. Released when it goes.
class SharedDocument {
public:
    // `document` must be a QuillmereDocument. Nothing, with RuntimeError
    // "Already mutably borrowed", while the document is being edited.
    static std::optional<SharedDocument> take(PyObject* document);

    const roundtrip::DocumentState& state() const { return *state_; }

private:
    SharedDocument(py::Borrow borrow, const roundtrip::DocumentState& state)
        : borrow_(std::move(borrow)), state_(&state) {}

    py::Borrow borrow_;
    const roundtrip::DocumentState* state_;
};

// A Python key as an index: a non-negative int below 2^64 (anything with
// __index__, True included). Nothing when the key is no such number, the
// failure discarded; an exception that is not an Exception (a
// KeyboardInterrupt from __index__) stays set: check PyErr_Occurred().
std::optional<std::uint64_t> index_from_key(PyObject* key);

// A Python key as a path step: an index as above, else a str as a Key.
// Nothing, with TypeError "mapping keys must be str or int", otherwise.
std::optional<roundtrip::PathSegment> path_segment_from_key(PyObject* key);

// The node whose head comments are the comment_before of the node at
// `address`: the node itself at the root or after an Index step; after a
// Key step the mapping when the step names its first entry, else the key
// node of the entry it names. Null when the address is stale.
const roundtrip::YamlNode* head_comment_owner(const roundtrip::DocumentState& state, const HandleAddress& address);
roundtrip::YamlNode* head_comment_owner(roundtrip::DocumentState& state, const HandleAddress& address);

// A new QuillmereDocument owning `state`; null with the error set.
py::ref new_document_object(roundtrip::DocumentState state);

// The creators of the three type objects (py/types/types.h), for the exec
// step: a new type object, or null with the error set.
PyObject* create_document_type();
PyObject* create_document_view_type();
PyObject* create_node_type();

// The plain Python value of `node`, a node of `state`'s trees, as every
// reading member of the document classes gives it: the plain road's data
// for the same text (YAML 1.2 core rules, merge keys applied, each alias
// the definition it has at its place in the stream; an alias whose anchor
// is defined nowhere raises the plain road's "unknown alias" error).
// `aliases` is the operation's one cache over state.documents: the values
// read with it share their anchors' objects.
py::ref plain_value(const roundtrip::DocumentState& state, const roundtrip::YamlNode& node,
                    results::AliasCache& aliases);

}  // namespace quillmere::document
