// TreeReader: the one walk that turns round-trip trees into Python values,
// for the document API's plain reads (tree_values.h) and for the results
// of loads (tree_results.h).
//
// Each node is read in one of two forms. Its value is what a mapping value
// or sequence item becomes: a dict, list, str, ... (annotated when the read
// annotates). Its hashable form is what a collection becomes inside a
// mapping key, as the plain road makes keys: sequences tuples, mappings
// tuples of pairs, and everything else its plain value (never annotated,
// merge keys not applied), so
//
//     ? [a, {b: 1}]        ->  {("a", (("b", 1),)): "v"}
//     : v
//
// The AliasCache keeps, per anchored node, what it became in each form
// (value, plain value inside keys, hashable), so an alias is two lookups:
// the definition it stands for (AliasTargets), then that node's object.
//
// Merge keys, when the read applies them, act after the mapping's own
// pairs, as ResultObjects carries them out; their sources are read in
// document order like any value.
#pragma once

#include <Python.h>

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "parse/directives.h"
#include "py/ref.h"
#include "py/signals.h"
#include "resolver/resolver.h"
#include "results/convert/custom_tags.h"
#include "results/result_objects.h"
#include "results/tree_values.h"
#include "results/types/annotated.h"
#include "roundtrip/ast.h"

namespace quillmere::results {

struct ReadOptions {
    resolver::ResolveMode mode = resolver::ResolveMode::Core12;
    // Custom tags go to the caller's tag callables (and a custom-tagged
    // collection used as a key is a value, as on the plain road); without,
    // tags act only in scalar resolution.
    const DecodeContext* tags = nullptr;
    bool merges = false;            // merge keys are applied
    bool annotate = false;          // values carry their positions
    bool annotate_numbers = false;  // ints and floats too
    std::span<const std::string> file_names;  // by file_id, for annotations and errors
};

class TreeReader {
public:
    TreeReader(const ReadOptions& options, AliasCache& cache)
        : options_(options), cache_(cache), objects_(options.file_names) {}
    TreeReader(const TreeReader&) = delete;
    TreeReader& operator=(const TreeReader&) = delete;

    // New references, or null with the Python error set.
    py::ref value(const roundtrip::YamlNode& node);
    py::ref hashable(const roundtrip::YamlNode& node);
    // A mapping key in value position: a collection (or an alias of one)
    // hashable, anything else its value.
    py::ref key(const roundtrip::YamlNode& node);

    bool is_collection(const roundtrip::YamlNode& node);

private:
    using Entry = AliasCache::Entry;

    py::ref read_scalar(const roundtrip::YamlNode& node, const std::optional<std::string_view>& tag);
    py::ref read_sequence(const roundtrip::YamlNode& node, bool anchored);
    py::ref read_mapping(const roundtrip::YamlNode& node, bool anchored);
    py::ref read_hashable_collection(const roundtrip::YamlNode& node);
    py::ref alias_value(const roundtrip::YamlNode& alias);
    py::ref child_value(const roundtrip::YamlNode& node);
    bool is_merge_key(const roundtrip::YamlNode& key);
    py::ref annotated(AnnotatedScalarClass which, py::ref value, const roundtrip::YamlNode& node);
    py::ref unknown_alias(const roundtrip::YamlNode& alias);

    // The tag of `node` as the plain road reads it: expanded by the
    // document's %TAG handles (into `storage` when that makes a new text).
    std::optional<std::string_view> effective_tag(const roundtrip::YamlNode& node, std::string& storage);
    // Takes up the handles of a document root's %TAG lines; the caller
    // restores `handles_` when it leaves the node.
    void enter_document(const roundtrip::YamlNode& node);

    // The memo of the current form, and registration of an anchored node.
    py::ref& slot(Entry& entry);
    void register_result(const roundtrip::YamlNode& node, PyObject* result, bool hashable_form);

    bool annotating() const { return options_.annotate && !in_key_; }
    bool merging() const { return options_.merges && !in_key_; }
    bool dispatching() const { return options_.tags != nullptr; }

    const ReadOptions& options_;
    AliasCache& cache_;
    ResultObjects objects_;
    py::SignalCheck signals_;
    bool in_key_ = false;
    const parse::TagHandles* handles_ = nullptr;
    std::deque<parse::TagHandles> handle_sets_;  // the handles of every document root met
};

// Where `node` was written, as annotations record it.
Placement placement_of(const roundtrip::YamlNode& node);

}  // namespace quillmere::results
