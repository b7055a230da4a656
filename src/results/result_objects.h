// ResultObjects: the Python objects that loads results are made of, shared
// by the two builders of annotated and plain results: the walk over
// round-trip trees (tree_reader.h) and the annotating parser builder
// (convert/annotate.h).
//
// It makes the annotated containers and scalars from a Placement (where a
// value was written and what produced it), sets mapping entries as the
// plain road does, and carries out merge keys on the objects made:
//
//     m: {<<: [*a, *b], k: 1}
//
// becomes the dict of "m" with its own entries first, then every entry of
// the dict of *a and then of *b whose key is not there yet. A merge
// source is classified by what it became: a dict is merged, a list
// flattened item by item, None (a null) brings nothing, and anything else,
// or any value that a custom tag produced (remembered by mark_tagged), is
// left behind under the key "<<". The classification cannot tell a None
// that a tag callable returned from a null; such a merge source brings
// nothing instead of staying behind.
#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "model/span.h"
#include "model/styles.h"
#include "py/ref.h"
#include "resolver/resolver.h"
#include "results/types/annotated.h"

namespace quillmere::results {

// Where a value was written, 0-based, and the directive or custom tag that
// produced it.
struct Placement {
    Span span;
    std::uint64_t end_offset = 0;
    std::uint32_t end_line = 0;
    std::uint32_t end_column = 0;
    ScalarStyle style = ScalarStyle::Plain;
    std::optional<std::string_view> source_tag;
    std::optional<std::string_view> source_target;
};

class ResultObjects {
public:
    // `file_names` by file_id; a placement in no listed file has no file.
    explicit ResultObjects(std::span<const std::string> file_names) : file_names_(file_names) {}
    ResultObjects(const ResultObjects&) = delete;
    ResultObjects& operator=(const ResultObjects&) = delete;

    // Empty containers, annotated with `at` when given. New references, or
    // null with the Python error set.
    py::ref new_dict(const Placement* at);
    py::ref new_list(const Placement* at);
    Annotation annotation(const Placement& at) const;
    // The package's annotated scalar class called with `value` and `at`.
    py::ref annotated_scalar(AnnotatedScalarClass which, py::ref value, const Placement& at);

    // The value of a resolved scalar written as `text`, annotated with `at` when given: strings always, ints and
    // floats with `annotate_numbers`. A merge key read as a value is the
    // text "<<". Not for an Invalid reading, which the caller reports.
    py::ref scalar(const resolver::ResolvedScalar& scalar, std::string_view text, resolver::ResolveMode mode,
                   const Placement* at, bool annotate_numbers);

    // Sets key -> value as the plain road's dict does: a repeated key keeps
    // its first place and takes the last value. The first value is kept
    // aside for merges, where the first of a mapping's pairs wins. False
    // with QuillmereDecodeError for a key Python cannot hash.
    bool set_entry(PyObject* dict, PyObject* key, PyObject* value);

    // Remembers that `result` is what a custom tag made of its value.
    bool mark_tagged(PyObject* result);
    bool is_tagged(PyObject* object) const { return tagged_.contains(object); }

    // The merge keys of one mapping, in order.
    class Merges {
    public:
        bool empty() const { return steps_.empty(); }

    private:
        friend class ResultObjects;
        struct Step {
            py::ref object;  // a dict to bring in, or (with `key`) a leftover
            py::ref key;
        };
        struct Flattened {
            py::ref list;      // held: the map is keyed by its address
            py::ref leftover;  // null when nothing stayed behind
        };
        std::vector<Step> steps_;
        std::unordered_set<PyObject*> brought_;  // dicts in the steps (which hold them)
        std::unordered_map<PyObject*, Flattened> flattened_;
    };
    // Adds the merge source `source` (what a merge key's value became).
    // What stays behind of it is set under the key that `make_key()`
    // returns (the text "<<" as the mapping's key), made only then.
    template <class MakeKey>
    bool add_merge(Merges& merges, PyObject* source, MakeKey make_key) {
        py::ref leftover;
        if (!flatten(merges, source, leftover)) return false;
        if (!leftover) return true;
        py::ref key = make_key();
        if (!key) return false;
        merges.steps_.push_back(Merges::Step{std::move(leftover), std::move(key)});
        return true;
    }
    // Applies the steps to `dict`, which holds the mapping's own entries.
    bool apply_merges(PyObject* dict, Merges& merges);

    // The text "<<", one object for the whole result, borrowed; null with
    // the Python error set.
    PyObject* merge_text();

    // The file's name as a str (borrowed), or None.
    PyObject* file_object(std::uint32_t file_id);

    // Raises QuillmereParseError "{message} at line {}, column {}" at
    // `span`; an included text's error names its file, the root text's
    // none, as the plain road's.
    void raise_at(std::string message, const Span& span);

private:
    // How the annotated scalars of one class are made. The package's own
    // constructor only keeps the ten annotation arguments as a tuple in one
    // attribute, and names it on itself (`__new__.__quillmere_annotation__`);
    // such a class is then made in place, as the call would make it, except
    // that the attribute holds the compact record that stands for the tuple
    // (ScalarAnnotation).
    struct ScalarMaker {
        PyObject* cls = nullptr;       // borrowed from its process-wide cell
        PyTypeObject* base = nullptr;  // str, int or float: made in place
        py::ref attribute;             // where the annotation goes
        Py_ssize_t slot = 0;           // its instance offset, when set there directly
    };
    ScalarMaker* maker(AnnotatedScalarClass which);
    PyObject* new_arguments(PyObject* value);

    bool flatten(Merges& merges, PyObject* source, py::ref& leftover);

    std::span<const std::string> file_names_;
    std::vector<py::ref> file_objects_;
    py::ref style_names_[5];
    py::ref merge_text_;
    py::ref new_arguments_;
    ScalarMaker makers_[3];
    // The first values of repeated keys, by the dict they were set in.
    struct FirstValues {
        py::ref dict;       // keeps the address in use while it is a key here
        py::ref overrides;  // key -> first value
    };
    std::unordered_map<PyObject*, FirstValues> first_values_;
    std::unordered_map<PyObject*, py::ref> tagged_;  // held, so that addresses stay unique
};

}  // namespace quillmere::results
