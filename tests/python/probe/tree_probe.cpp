// _quillmere_tree_probe: the conversions between round-trip trees and
// Python values, reached from the Python tests.
//
//     read(text, path=(), key=False, yaml11=False, edits=())
//         composes `text`, replaces the node at each edit's path by an alias
//         ((path, name) pairs: how edits make forward and self-references),
//         and reads the node at `path` of the first document with to_python
//         (to_python_key with `key`), aliases resolved in all documents
//     is_collection(text, path)
//     write(value, prefer_double_quotes=True, depth=0)
//         from_python, described as dicts: kind, text, style, synthetic,
//         bare (no comments, properties or positions), items, pairs
//     string_style(text, prefer_double_quotes)
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string>
#include <utility>
#include <vector>

#include "py/ref.h"
#include "results/tree_values.h"
#include "roundtrip/composer.h"
#include "roundtrip/path.h"

namespace {

using quillmere::results::AliasCache;
using quillmere::roundtrip::NodeKind;
using quillmere::roundtrip::NodePair;
using quillmere::roundtrip::YamlNode;
namespace py = quillmere::py;

constexpr const char* kStyles[] = {"plain", "single", "double", "literal", "folded"};

// The node at `path` (str keys of scalar-keyed pairs, int indices), or null
// with KeyError set.
YamlNode* walk(YamlNode& root, PyObject* path) {
    YamlNode* node = &root;
    const Py_ssize_t size = PySequence_Size(path);
    for (Py_ssize_t i = 0; i < size; ++i) {
        py::ref step = py::ref::steal(PySequence_GetItem(path, i));
        if (!step) return nullptr;
        YamlNode* next = nullptr;
        if (PyLong_Check(step.get()) && node->is(NodeKind::Sequence)) {
            const long index = PyLong_AsLong(step.get());
            if (index >= 0 && static_cast<std::size_t>(index) < node->items().size()) next = &node->items()[index];
        } else if (PyUnicode_Check(step.get()) && node->is(NodeKind::Mapping)) {
            const char* text = PyUnicode_AsUTF8(step.get());
            // The last entry with the key, as handle paths take it.
            if (text) {
                if (const auto at = quillmere::roundtrip::entry_position(node->pairs(), text))
                    next = &node->pairs()[*at].value;
            }
        }
        if (!next) {
            PyErr_SetObject(PyExc_KeyError, step.get());
            return nullptr;
        }
        node = next;
    }
    return node;
}

bool compose(const char* text, std::vector<YamlNode>& roots) {
    auto composed = quillmere::roundtrip::parse_documents(text);
    if (!composed.ok()) {
        PyErr_SetString(PyExc_ValueError, composed.error().message.c_str());
        return false;
    }
    roots = std::move(composed).value();
    if (roots.empty()) {
        PyErr_SetString(PyExc_ValueError, "no document");
        return false;
    }
    return true;
}

PyObject* read(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"text", "path", "key", "yaml11", "edits", nullptr};
    const char* text = nullptr;
    PyObject* path = nullptr;
    PyObject* edits = nullptr;
    int key = 0, yaml11 = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "s|OppO", const_cast<char**>(keywords), &text, &path, &key,
                                     &yaml11, &edits))
        return nullptr;
    std::vector<YamlNode> roots;
    if (!compose(text, roots)) return nullptr;
    if (edits) {
        const Py_ssize_t count = PySequence_Size(edits);
        for (Py_ssize_t i = 0; i < count; ++i) {
            py::ref edit = py::ref::steal(PySequence_GetItem(edits, i));
            PyObject* edit_path = nullptr;
            const char* name = nullptr;
            if (!edit || !PyArg_ParseTuple(edit.get(), "Os", &edit_path, &name)) return nullptr;
            YamlNode* node = walk(roots.front(), edit_path);
            if (!node) return nullptr;
            node->set_content(YamlNode::alias(name));
        }
    }
    YamlNode* node = path ? walk(roots.front(), path) : &roots.front();
    if (!node) return nullptr;
    const auto mode = yaml11 ? quillmere::resolver::ResolveMode::Yaml11 : quillmere::resolver::ResolveMode::Core12;
    AliasCache cache(roots);
    py::ref value = key ? quillmere::results::to_python_key(*node, mode, cache)
                        : quillmere::results::to_python(*node, mode, cache);
    return value.release();
}

PyObject* is_collection(PyObject*, PyObject* args) {
    const char* text = nullptr;
    PyObject* path = nullptr;
    if (!PyArg_ParseTuple(args, "sO", &text, &path)) return nullptr;
    std::vector<YamlNode> roots;
    if (!compose(text, roots)) return nullptr;
    YamlNode* node = walk(roots.front(), path);
    if (!node) return nullptr;
    AliasCache cache(roots);
    return py::boolean(quillmere::results::is_collection_node(*node, cache)).release();
}

// Nothing a read gave the node: no comments, properties or positions.
bool bare(const YamlNode& node) {
    const auto& c = node.comments;
    return !c.has_texts() && c.blank_before == 0 && c.inline_spaces == 0 && c.value_pad == 0 && !c.compact &&
           !c.modified && !node.anchor() && !node.tag() && !node.source() && node.span == quillmere::Span{} &&
           node.end_offset == 0 && node.end_line == 0 && node.end_column == 0 && !node.explicit_start &&
           !node.leading_bom && node.directives().empty();
}

py::ref describe(const YamlNode& node) {
    static const char* kinds[] = {"scalar", "sequence", "mapping", "alias", "null"};
    py::ref out = py::ref::steal(PyDict_New());
    if (!out) return {};
    auto set = [&](const char* name, py::ref value) {
        return value && PyDict_SetItemString(out.get(), name, value.get()) == 0;
    };
    if (!set("kind", py::ref::steal(PyUnicode_FromString(kinds[static_cast<int>(node.kind())]))) ||
        !set("synthetic", py::boolean(node.synthetic)) || !set("bare", py::boolean(bare(node))))
        return {};
    if (node.is(NodeKind::Scalar)) {
        if (!set("text", py::ref::steal(PyUnicode_FromStringAndSize(node.text().data(),
                                                                    static_cast<Py_ssize_t>(node.text().size())))) ||
            !set("style", py::ref::steal(PyUnicode_FromString(kStyles[static_cast<int>(node.scalar_style())]))))
            return {};
    } else if (node.is(NodeKind::Sequence)) {
        py::ref items = py::ref::steal(PyList_New(0));
        if (!items) return {};
        for (const YamlNode& item : node.items()) {
            py::ref described = describe(item);
            if (!described || PyList_Append(items.get(), described.get()) < 0) return {};
        }
        if (!set("items", std::move(items)) || !set("block", py::boolean(node.style() == quillmere::CollectionStyle::Block)))
            return {};
    } else if (node.is(NodeKind::Mapping)) {
        py::ref pairs = py::ref::steal(PyList_New(0));
        if (!pairs) return {};
        for (const NodePair& pair : node.pairs()) {
            py::ref key = describe(pair.key);
            py::ref value = describe(pair.value);
            py::ref entry = key && value ? py::ref::steal(PyTuple_Pack(2, key.get(), value.get())) : py::ref();
            if (!entry || PyList_Append(pairs.get(), entry.get()) < 0) return {};
        }
        if (!set("pairs", std::move(pairs)) || !set("block", py::boolean(node.style() == quillmere::CollectionStyle::Block)))
            return {};
    }
    return out;
}

PyObject* write(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"value", "prefer_double_quotes", "depth", nullptr};
    PyObject* value = nullptr;
    int prefer_double = 1;
    unsigned int depth = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|pI", const_cast<char**>(keywords), &value, &prefer_double,
                                     &depth))
        return nullptr;
    std::optional<YamlNode> node = quillmere::results::from_python(value, prefer_double != 0, depth);
    if (!node) return nullptr;
    return describe(*node).release();
}

PyObject* string_style(PyObject*, PyObject* args) {
    const char* text = nullptr;
    Py_ssize_t size = 0;
    int prefer_double = 1;
    if (!PyArg_ParseTuple(args, "s#p", &text, &size, &prefer_double)) return nullptr;
    const auto style =
        quillmere::results::choose_string_style(std::string_view(text, static_cast<std::size_t>(size)), prefer_double);
    return PyUnicode_FromString(kStyles[static_cast<int>(style)]);
}

PyMethodDef methods[] = {
    {"read", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(read)), METH_VARARGS | METH_KEYWORDS, nullptr},
    {"is_collection", is_collection, METH_VARARGS, nullptr},
    {"write", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(write)), METH_VARARGS | METH_KEYWORDS,
     nullptr},
    {"string_style", string_style, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "_quillmere_tree_probe", nullptr, -1, methods,
                          nullptr,               nullptr,                 nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit__quillmere_tree_probe(void) { return PyModule_Create(&module_def); }
