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
//                          and then kept for the call's later documents;
//                          Sequence and Mapping keys: tuples)
//     Tagged -> whatever the caller's tag callables make of the converted value
//
// Every step into a child goes through with_stack_guard, so a document of
// any depth that the decoder accepts converts on any thread, and pending
// signals are checked every few thousand nodes (py/signals.h).
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "model/value.h"
#include "py/ref.h"
#include "results/convert/custom_tags.h"

namespace quillmere::module {

// The strs of the mapping keys of one call, by the id the decoder gave
// each key text (Value::key_id): a key met before costs an index instead
// of a hash and a compare of its text. Where keys are interned, an entry
// serves every document of the call (interning makes them one str per text
// all the same); elsewhere each document has its own strs, and an entry
// made for an earlier document is replaced when its id is met again. It
// holds one reference per entry until the call ends: kept longer, its strs
// would pin the memory of results long dropped.
class CallKeys {
public:
    // For ids 1 to `ids` (decode::Documents::key_ids).
    explicit CallKeys(std::uint32_t ids);
    CallKeys(const CallKeys&) = delete;
    CallKeys& operator=(const CallKeys&) = delete;
    ~CallKeys();

    // The str for the String `key`, whose id is not 0: a new reference, or
    // null with a Python error set.
    py::ref get(const Value& key);
    // The conversion of the next document starts.
    void start_document() { ++document_; }

private:
    struct Entry {
        PyObject* str = nullptr;  // owned
        std::uint32_t document = 0;
    };
    // A call with few distinct keys keeps them in place, without an
    // allocation.
    static constexpr std::size_t kFirstEntries = 8;

    Entry first_entries_[kFirstEntries];
    std::vector<Entry> more_entries_;
    std::span<Entry> entries_;  // by id: one of the two
    std::uint32_t document_ = 0;
};

// The Python object for one document, with the call's `keys` for the keys
// that carry ids (keys without one, and every key when `keys` is null, go
// through a cache of the document's own); null with the Python error set
// on failure.
py::ref value_to_python(const Value& value, const results::DecodeContext& context, CallKeys* keys);

}  // namespace quillmere::module
