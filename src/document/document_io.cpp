// Serialising, walking and saving a round-trip document.
//
// to_yaml() gives the stream's text (serialize.h: the loaded bytes while
// nothing changed, else every document re-emitted); a view's to_yaml()
// always renders its node alone. walk() lists the leaves below a node with
// their paths, for bulk edits:
//
//     a: [1, 2]          [(("a", 0), 1), (("a", 1), 2), (("b", "c"), "x")]
//     b: {c: x}
//
// save() writes every changed included file, and the root file when an
// edit changed it (to its origin) or when a path is given, as one batch:
// everything that can fail (a missing origin, two copies of an included
// file edited apart, an included file that leads out of the include root
// now, each temporary file written in full) fails before the first file is
// replaced, so a failed save leaves every file as it was:
//
//     doc = loads(text, option=OPT_ROUND_TRIP | OPT_INCLUDES, include_dir=d)
//     doc["db"]["port"] = 5433         db: !include db.yaml
//     doc.save()                       -> [".../db.yaml"]
#include <Python.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/stack_guard.h"
#include "common/utf8.h"
#include "directives/platform.h"
#include "directives/write_back.h"
#include "document/document_api.h"
#include "py/directive_errors.h"
#include "py/text.h"
#include "roundtrip/emitter.h"
#include "roundtrip/node_scalar.h"
#include "roundtrip/serialize.h"

namespace quillmere::document {

using roundtrip::DocumentState;
using roundtrip::NodeKind;
using roundtrip::NodePair;
using roundtrip::YamlNode;

namespace {

py::ref bytes_object(const std::string& text) {
    return py::ref::steal(PyBytes_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

// A path as Python shows it: decoded as the file-system encoding encoded
// it, so that the str names the same file again.
py::ref path_object(const std::string& path) {
    return py::ref::steal(PyUnicode_DecodeFSDefaultAndSize(path.data(), static_cast<Py_ssize_t>(path.size())));
}

// The walk keeps the path as Python objects on a stack and records each
// leaf as a (path tuple, value) pair. All leaves are read with one alias
// cache, so an anchor is converted once however many aliases use it.
class LeafWalk {
public:
    LeafWalk(const DocumentState& state, PyObject* out)
        : state_(state),
          out_(out),
          aliases_(state.documents),
          mode_(state.yaml11 ? resolver::ResolveMode::Yaml11 : resolver::ResolveMode::Core12) {}

    bool walk(const YamlNode& node) {
        if (node.is(NodeKind::Sequence)) {
            const std::vector<YamlNode>& items = node.items();
            for (std::size_t i = 0; i < items.size(); ++i) {
                if (!descend(py::ref::steal(PyLong_FromSize_t(i)), items[i])) return false;
            }
            return true;
        }
        if (node.is(NodeKind::Mapping)) {
            // An entry that no path step names (its key is not a scalar,
            // or a later entry repeats it) is left out with its whole
            // value: every path listed leads to the leaf listed with it. An
            // empty merge key ("!!merge :") steps as "<<" does.
            const std::vector<NodePair>& pairs = node.pairs();
            const std::vector<bool> addressable = roundtrip::addressable_entries(pairs);
            for (std::size_t i = 0; i < pairs.size(); ++i) {
                const NodePair& pair = pairs[i];
                if (pair.key.is(NodeKind::Null) && roundtrip::is_merge_key(pair.key, mode_)) {
                    if (!descend(py::text_to_str("<<"), pair.value)) return false;
                } else if (addressable[i] && !descend(py::text_to_str(pair.key.text()), pair.value)) {
                    return false;
                }
            }
            return true;
        }
        return record(node);
    }

private:
    bool descend(py::ref step, const YamlNode& child) {
        if (!step) return false;
        path_.push_back(std::move(step));
        const bool ok = with_stack_guard([&] { return walk(child); });
        path_.pop_back();
        return ok;
    }

    bool record(const YamlNode& leaf) {
        py::ref path = py::ref::steal(PyTuple_New(static_cast<Py_ssize_t>(path_.size())));
        if (!path) return false;
        for (std::size_t i = 0; i < path_.size(); ++i) {
            // The tuple steals the new reference that borrow() made.
            PyTuple_SET_ITEM(path.get(), static_cast<Py_ssize_t>(i), py::ref::borrow(path_[i].get()).release());
        }
        py::ref value = plain_value(state_, leaf, aliases_);
        if (!value) return false;
        py::ref pair = py::ref::steal(PyTuple_Pack(2, path.get(), value.get()));
        return pair && PyList_Append(out_, pair.get()) == 0;
    }

    const DocumentState& state_;
    PyObject* out_;  // borrowed: the caller's list
    results::AliasCache aliases_;
    resolver::ResolveMode mode_;
    std::vector<py::ref> path_;
};

// Every included file of a directive load, or nothing with the error set.
std::optional<std::vector<directives::FileWrite>> included_files(const DocumentState& state) {
    if (state.file_paths.empty()) {
        PyErr_SetString(PyExc_ValueError, "document was not loaded with OPT_INCLUDES; nothing to write back");
        return std::nullopt;
    }
    auto files = directives::collect_included_files(state.documents, state.file_paths, state.file_texts,
                                                    directives::IncludedFiles::All);
    if (!files.ok()) {
        py::directive_error_to_exception(files.error());
        return std::nullopt;
    }
    return std::move(files).value();
}

// Confines and writes `files` as one batch, the first `confined` of them
// beneath the include root; false with `failure_type` ("cannot write
// {path}: {reason}") or the confinement error set.
bool write_back(const DocumentState& state, std::vector<directives::FileWrite>& files, std::size_t confined,
                PyObject* failure_type) {
    const std::span<directives::FileWrite> included(files.data(), confined);
    if (auto checked = directives::confine_writes(included, state.include_root); !checked.ok()) {
        py::directive_error_to_exception(checked.error());
        return false;
    }
    for (directives::FileWrite& file : included) file.beneath = state.include_root;
    if (auto written = directives::write_files(files); !written.ok()) {
        const directives::WriteFailure& failure = written.error();
        if (failure.outside_root) {
            // The path left the root after the check above: the same error.
            py::directive_error_to_exception(directives::directive_error(
                directives::DirectiveErrorKind::IncludeConfinement,
                "'" + to_text_lossy(failure.path) + "' resolves outside the configured include directory",
                failure.path, {}));
            return false;
        }
        // Built as a str whole: a path holding a NUL is shown with it.
        const std::string message = "cannot write " + to_text_lossy(failure.path) + ": " + failure.reason;
        py::ref text = py::ref::steal(
            PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
        if (text) PyErr_SetObject(failure_type, text.get());
        return false;
    }
    return true;
}

}  // namespace

py::ref document_to_yaml(const DocumentState& state) { return bytes_object(serialize_document(state)); }

py::ref node_to_yaml(const DocumentState& state, const HandleAddress& view, const YamlNode& node) {
    return bytes_object(roundtrip::serialize_node(state, view.root, view.path, node));
}

py::ref walk_leaves(const DocumentState& state, const YamlNode& start) {
    py::ref out = py::ref::steal(PyList_New(0));
    if (!out) return {};
    LeafWalk walk(state, out.get());
    if (!with_stack_guard([&] { return walk.walk(start); })) {
        if (!PyErr_Occurred()) PyErr_NoMemory();  // no fresh stack could be mapped
        return {};
    }
    return out;
}

py::ref save_document(const DocumentState& state, const std::optional<std::string>& path) {
    // Whatever can refuse the save does so before a file is touched.
    const bool root_changed = !path && root_file_modified(state);
    if (root_changed && !state.origin) {
        PyErr_SetString(PyExc_ValueError, "save() needs a path: this document was not loaded from a file");
        return {};
    }
    auto included = directives::collect_included_files(state.documents, state.file_paths, state.file_texts,
                                                       directives::IncludedFiles::Changed);
    if (!included.ok()) {
        py::directive_error_to_exception(included.error());
        return {};
    }
    std::vector<directives::FileWrite> files = std::move(included).value();
    const std::size_t included_count = files.size();
    if (path) {
        files.push_back({*path, serialize_document(state)});
    } else if (root_changed) {
        files.push_back({*state.origin, serialize_document(state)});
    }
    if (!write_back(state, files, included_count, PyExc_OSError)) return {};
    py::ref list = py::ref::steal(PyList_New(static_cast<Py_ssize_t>(files.size())));
    if (!list) return {};
    for (std::size_t i = 0; i < files.size(); ++i) {
        py::ref item = path_object(files[i].path);
        if (!item) return {};
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());  // the list steals the item
    }
    return list;
}

bool write_included_files(const DocumentState& state) {
    std::optional<std::vector<directives::FileWrite>> files = included_files(state);
    return files && write_back(state, *files, files->size(), PyExc_ValueError);
}

py::ref included_files_map(const DocumentState& state) {
    std::optional<std::vector<directives::FileWrite>> files = included_files(state);
    if (!files) return {};
    py::ref map = py::ref::steal(PyDict_New());
    if (!map) return {};
    for (const directives::FileWrite& file : *files) {
        const std::string shown = to_text_lossy(file.path);
        py::ref key = py::text_to_str(shown);
        py::ref value = bytes_object(file.bytes);
        if (!key || !value || PyDict_SetItem(map.get(), key.get(), value.get()) < 0) return {};
    }
    return map;
}

}  // namespace quillmere::document
