// The classes of annotated results.
//
// QuillmereAnnotatedDict and QuillmereAnnotatedList are this module's own:
// genuine dict and list subclasses whose instances also carry one
// Annotation, the source position and provenance of the mapping or sequence
// they were made from:
//
//     d = loads("a: b", option=OPT_ANNOTATED)
//     d == {"a": "b"}, d.__line__ == 1, d.__column__ == 1
//     copy.copy(d), copy.deepcopy(d), pickle.loads(pickle.dumps(d))
//         -> the same class with the same entries and annotation
//
// They pickle through __reduce__: rebuild with the no-argument constructor,
// repopulate from an items iterator, restore the annotation from its
// 9-tuple state through __setstate__.
//
// QuillmereAnnotatedStr, QuillmereAnnotatedInt and QuillmereAnnotatedFloat
// belong to the package module `quillmere`; each is looked up by name the
// first time it is needed and kept in a process-wide cell. A failed lookup
// raises its error and leaves the cell empty, so the next use tries again.
//
// Placement: a dict instance is the dict's own fields followed by the
// AnnotatedData block at a fixed offset; a list instance keeps the block in
// the type-specific data area the interpreter reserves after the list's
// fields (PyObject_GetTypeData; before 3.12, at a fixed offset as for the
// dict). The block is constructed when the instance is made and destroyed
// when it is released.
#pragma once

#include <Python.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "py/borrow.h"
#include "py/ref.h"

namespace quillmere::results {

// The provenance of one node, in the order of its pickled 9-tuple. Lines and
// columns are 1-based, offsets 0-based byte positions; a fresh record has
// every number 0 and every string absent.
struct Annotation {
    std::uint32_t line = 0;
    std::uint32_t column = 0;
    std::optional<std::string> file;
    std::uint32_t end_line = 0;
    std::uint32_t end_column = 0;
    std::optional<std::string> source_tag;
    std::optional<std::string> source_target;
    std::uint64_t offset = 0;
    std::uint64_t end_offset = 0;

    friend bool operator==(const Annotation&, const Annotation&) = default;
};

// What an instance carries: its Annotation, the three texts kept in a block
// of their own that only a node with one of them has (most have none).
class AnnotatedData {
public:
    Annotation annotation() const;
    void set(Annotation annotation);
    void set_source_tag(std::string_view tag);

    py::BorrowFlag borrow{0};

private:
    struct Texts {
        std::optional<std::string> file;
        std::optional<std::string> source_tag;
        std::optional<std::string> source_target;
    };
    Texts& texts();

    std::uint32_t line_ = 0;
    std::uint32_t column_ = 0;
    std::uint32_t end_line_ = 0;
    std::uint32_t end_column_ = 0;
    std::uint64_t offset_ = 0;
    std::uint64_t end_offset_ = 0;
    std::unique_ptr<Texts> texts_;
};

// The block of an instance of either class.
AnnotatedData* annotated_dict_data(PyObject* self);
AnnotatedData* annotated_list_data(PyObject* self);

// New empty instances of `type` holding `annotation`; null with the error
// set on failure.
py::ref new_annotated_dict(Annotation annotation, PyTypeObject* type);
py::ref new_annotated_list(Annotation annotation, PyTypeObject* type);

// The two types (borrowed) from their cells, or null with the internal
// fault set (py/types/types.h); and their creators, for the exec step.
PyTypeObject* annotated_dict_type();
PyTypeObject* annotated_list_type();
PyObject* create_annotated_dict_type();
PyObject* create_annotated_list_type();

// The pickled state: (line, column, file, end_line, end_column, source_tag,
// source_target, offset, end_offset).
py::ref annotation_state(const Annotation& annotation);
// Parses a state tuple; false with the error of the first bad item set.
[[nodiscard]] bool annotation_from_state(PyObject* state, Annotation& out);

// The package's annotated scalar classes.
enum class AnnotatedScalarClass : std::uint8_t { Str, Int, Float };

// The annotation of one annotated scalar, as the package's classes keep it:
// the ten arguments of their call after the value (line, column, file,
// end_line, end_column, style, source_tag, source_target, offset,
// end_offset). The loader stores it as a compact record instead of the
// tuple the call packs: an immutable sequence of those ten items that
// compares, hashes and prints as that tuple does. The objects are borrowed
// here and held by the record.
struct ScalarAnnotation {
    std::uint32_t line = 0;
    std::uint32_t column = 0;
    PyObject* file = nullptr;  // a str or None
    std::uint32_t end_line = 0;
    std::uint32_t end_column = 0;
    PyObject* style = nullptr;          // a str
    PyObject* source_tag = nullptr;     // a str or None
    PyObject* source_target = nullptr;  // a str or None
    std::uint64_t offset = 0;
    std::uint64_t end_offset = 0;
};

// A new record; null with the error set on failure.
py::ref new_scalar_annotation(const ScalarAnnotation& annotation);

// The class (borrowed), looked up in `quillmere` on first use; null with
// the import's or the attribute lookup's error set.
PyObject* annotated_scalar_class(AnnotatedScalarClass which);

}  // namespace quillmere::results
