// Round-trip trees as Python values, and Python values as new tree nodes.
//
// Reading turns a node into plain Python data, scalars resolved by the
// load's rules and mapping keys made hashable; tags act only in the
// resolution, and a merge key is an ordinary "<<" key:
//
//     a: &x [1, 2]             {"a": [1, 2], "b": [1, 2], (1, 2): "yes"}
//     b: *x                    with "a" and "b" the very same list
//     ? [1, 2]
//     : yes
//
// Writing turns a Python value into a fresh node for an edit: no comments,
// no anchor or tag, every position 0, plain scalars unless the text needs
// quotes.
//
// Aliases go through an AliasCache, one per conversion call. Every anchored
// node registers what it became under its name, and an alias returns that
// very object, so an alias costs nothing however much its anchor holds: a
// text of nested aliases that would expand to billions of nodes converts in
// time linear in its size. An alias met before any node of its name was
// converted (a forward reference, which edits can make) converts the first
// node defining that name in the cache's document roots, registering it in
// turn; one that names no anchor there raises "unknown alias: *{}" at the
// alias. A collection that holds an alias to itself is registered before it
// is filled and so contains itself.
//
// Every walk goes through the stack guard and checks for signals as it goes.
#pragma once

#include <Python.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/hash.h"
#include "ffi/ref.h"
#include "model/styles.h"
#include "resolver/resolver.h"
#include "roundtrip/anchors.h"
#include "roundtrip/ast.h"

namespace quillmere::roundtrip {

class TreeReader;

// The objects one conversion call made for anchored nodes, by anchor name.
class AliasCache {
public:
    // Aliases resolve through anchors converted in this call only; the
    // loads roads walk whole documents in order, so every alias of a
    // composed tree finds its anchor converted before it.
    AliasCache() = default;
    // Aliases whose name no converted node registered yet fall back on the
    // first definition in `roots` (which must outlive the cache).
    explicit AliasCache(std::span<const YamlNode> roots) : roots_(roots) {}
    AliasCache(const AliasCache&) = delete;
    AliasCache& operator=(const AliasCache&) = delete;

private:
    friend class TreeReader;

    struct Entry {
        const YamlNode* node = nullptr;  // the node the name stands for now
        py::ref value;                   // what the node became as a value
        py::ref plain;                   // its plain value inside a key, when values are annotated
        py::ref key;                     // its hashable form, inside a mapping key
        bool making_key = false;         // its key form is being made
    };

    Entry* find(std::string_view name);
    // The node an alias of `name` stands for: the latest registration, else
    // the first definition in the roots; null when there is none.
    const YamlNode* target(std::string_view name);

    std::unordered_map<std::string_view, Entry, SeededHash, TextEqual> entries_;
    std::span<const YamlNode> roots_;
    std::optional<AnchorIndex> index_;  // built on the first miss
};

// The Python value of `node`: None, bool, int, float, str, list or dict.
// Null with the Python error set: "unknown alias: *{}" (QuillmereParseError
// at the alias), a pending signal's exception, or an allocation failure.
py::ref to_python(const YamlNode& node, resolver::ResolveMode mode, AliasCache& cache);

// The same as a mapping key: sequences become tuples, mappings tuples of
// (key, value) pairs, at any depth.
py::ref to_python_key(const YamlNode& node, resolver::ResolveMode mode, AliasCache& cache);

// Whether `node` is a sequence or mapping, or an alias that stands for one.
bool is_collection_node(const YamlNode& node, AliasCache& cache);

// A new node holding `value` for an edit; `depth` is the nesting of `value`
// below the assigned value (0 for the assigned value itself). Nothing, with
// the Python error set: ValueError "value is too deeply nested to assign
// (possible self-reference)" beyond depth 999, TypeError "cannot convert
// {repr} to a YAML node" for a value of no YAML kind, or the exception of
// its str or repr.
std::optional<YamlNode> from_python(PyObject* value, bool prefer_double_quotes, std::uint32_t depth);

// The style of a new string scalar: Plain unless the text needs quotes;
// then DoubleQuoted when preferred, or when the text holds a single quote
// or a line break; SingleQuoted otherwise.
ScalarStyle choose_string_style(std::string_view text, bool prefer_double_quotes);

}  // namespace quillmere::roundtrip
