// Value to Python: the conversion of decoded documents.
//
// The fast load roads decode YAML text into Value trees (the lock released)
// and hand each finished document to `value_to_python`, which builds the
// object graph the caller gets back:
//
//     Null -> None        Bool -> bool        Int -> int      BigInt -> int (or str)
//     Float -> float      String -> str       Sequence -> list
//     Mapping -> dict     (String keys: one str per distinct text and
//                          document, interned where that leaves it mortal,
//                          and then the short ones kept for the call's later
//                          documents; Sequence and Mapping keys: tuples)
//     Tagged -> whatever the caller's tag callables make of the converted value
//
// Every step into a child goes through with_stack_guard, so a document of
// any depth that the decoder accepts converts on any thread, and pending
// signals are checked every few thousand nodes (ffi/signals.h).
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "model/value.h"
#include "ffi/ref.h"

namespace quillmere::ffi {

// The per-call settings for custom tags; borrowed from the load call, which
// holds the objects for as long as the context is used.
struct DecodeContext {
    PyObject* tags = nullptr;         // dict of tag text -> callable, or null
    PyObject* tag_handler = nullptr;  // callable(tag, value), or null
    bool passthrough_tag = false;     // OPT_PASSTHROUGH_TAG
};

// The mapping keys of every document one call converts, where keys are
// interned (elsewhere it stays empty): a direct-mapped table of key texts
// of at most kMaxText ASCII characters and their interned strs, so that a
// key met in an earlier document costs a hash and a compare instead of a
// new str and a probe of the interpreter's table of interned strs. It holds
// one reference per entry (a newer key in the same slot lets the older str
// go) until the call ends: kept longer, its strs would pin the memory of
// results long dropped.
class StreamKeys {
public:
    static constexpr std::size_t kSlots = 1024;
    static constexpr std::size_t kMaxText = 64;

    StreamKeys() = default;
    StreamKeys(const StreamKeys&) = delete;
    StreamKeys& operator=(const StreamKeys&) = delete;
    ~StreamKeys();

    // The str kept for `text`, whose hash is `hash`: borrowed, or null.
    PyObject* find(std::string_view text, std::uint64_t hash) const;
    // Keeps `str` (borrowed; a new reference is taken) for the text hashed
    // to `hash`, when the text is short and ASCII.
    void keep(std::uint64_t hash, PyObject* str);

private:
    struct Slot {
        std::uint64_t hash = 0;
        PyObject* str = nullptr;  // owned
    };
    std::unique_ptr<Slot[]> slots_;  // made when the first key is kept
};

// The Python object for one document, with its own key cache and the
// call's `keys` (null for a call that converts one document: the table
// costs more to make than it saves there); null with the Python error set
// on failure.
py::ref value_to_python(const Value& value, const DecodeContext& context, StreamKeys* keys);

// The custom-tag dispatch for an already converted `value`: the `tags`
// entry, else `tag_handler`, else a QuillmereTag under passthrough, else
// the value itself.
py::ref tagged_to_python(std::string_view tag, PyObject* value, const DecodeContext& context);

// A decimal integer text (underscores allowed) as int; when it is no
// decimal integer, or has more digits than the interpreter's limit for
// converting text to int, the text without underscores as str.
py::ref big_int_to_python(std::string_view text);

}  // namespace quillmere::ffi
