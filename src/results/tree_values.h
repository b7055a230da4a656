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
// Aliases go through an AliasCache, one per operation. An alias stands
// for the definition the plain road gives it (AliasTargets: the latest
// definition of its name complete before it, in the whole stream), and
// every anchored node registers what it became, so an alias returns that
// very object and costs nothing however much its anchor holds: a text of
// nested aliases that would expand to billions of nodes converts in time
// linear in its size, and any number of reads made with one cache share
// their anchors' objects. An alias whose name no node defines raises
// "unknown alias: *{}" at the alias. A collection that holds an alias to
// itself (a composed text has none) is registered before it is filled and
// so contains itself.
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
#include "model/styles.h"
#include "py/ref.h"
#include "resolver/resolver.h"
#include "roundtrip/anchors.h"
#include "roundtrip/ast.h"

namespace quillmere::results {

class TreeReader;

// The objects that the reads of one operation made for anchored nodes.
class AliasCache {
public:
    // Aliases resolve within `roots` (which must outlive the cache and stay
    // unchanged while it lives).
    explicit AliasCache(std::span<const roundtrip::YamlNode> roots) : roots_(roots) {}
    AliasCache(const AliasCache&) = delete;
    AliasCache& operator=(const AliasCache&) = delete;

    // The definition `alias` stands for; null when there is none. The
    // targets are found in one pass over the roots, on the first call.
    const roundtrip::YamlNode* target(const roundtrip::YamlNode& alias);

private:
    friend class TreeReader;

    struct Entry {
        py::ref value;            // what the node became as a value
        py::ref plain;            // its plain value inside a key, when values are annotated
        py::ref key;              // its hashable form, inside a mapping key
        bool making_key = false;  // its key form is being made
    };

    Entry* find(const roundtrip::YamlNode& node);

    std::unordered_map<const roundtrip::YamlNode*, Entry> entries_;  // by anchored node
    std::span<const roundtrip::YamlNode> roots_;
    std::optional<roundtrip::AliasTargets> targets_;
};

// The Python value of `node`: None, bool, int, float, str, list or dict.
// Null with the Python error set: "unknown alias: *{}" (QuillmereParseError
// at the alias), a pending signal's exception, or an allocation failure.
py::ref to_python(const roundtrip::YamlNode& node, resolver::ResolveMode mode, AliasCache& cache);

// The same as a mapping key: sequences become tuples, mappings tuples of
// (key, value) pairs, at any depth.
py::ref to_python_key(const roundtrip::YamlNode& node, resolver::ResolveMode mode, AliasCache& cache);

// Whether `node` is a sequence or mapping, or an alias that stands for one.
bool is_collection_node(const roundtrip::YamlNode& node, AliasCache& cache);

// A new node holding `value` for an edit; `depth` is the nesting of `value`
// below the assigned value (0 for the assigned value itself). Nothing, with
// the Python error set: ValueError "value is too deeply nested to assign
// (possible self-reference)" beyond depth 999, TypeError "cannot convert
// {repr} to a YAML node" for a value of no YAML kind, or the exception of
// its str or repr. `yaml11`: the document reads by the YAML 1.1 rules, so
// strings are also quoted where those rules would read them otherwise.
std::optional<roundtrip::YamlNode> from_python(PyObject* value, bool prefer_double_quotes, std::uint32_t depth,
                                    bool yaml11 = false);

// The style of a new string scalar: Plain unless the text needs quotes;
// then DoubleQuoted when preferred, or when the text holds a single quote
// or a line break; SingleQuoted otherwise. With `yaml11`, a text the YAML
// 1.1 rules read as anything but a string ("y", "1:20") needs quotes too.
ScalarStyle choose_string_style(std::string_view text, bool prefer_double_quotes, bool yaml11 = false);

}  // namespace quillmere::results
