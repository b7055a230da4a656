// Python to Value: the conversion behind dumps and to_json.
//
// dumps and to_json first turn the caller's object graph into a Value tree
// with the interpreter lock held, and only then release the lock to write
// text. Every text of the tree is copied into the tree's Arena, so the
// writers never touch a Python object. Each object is tried against a
// fixed order of rules:
//
//   1. exact types:   None -> Null, str -> String, int -> Int (BigInt past
//                     64 bits), float -> Float, bool -> Bool, list ->
//                     Sequence, dict -> Mapping
//   2. subclasses:    of int, float, str, by their own value (as json.dumps
//                     does; their __str__ is never called); bytes (valid
//                     UTF-8 only); list subclasses, tuples, sets and
//                     frozensets -> Sequence; dict subclasses -> Mapping;
//                     QuillmereTag -> Tagged
//   3. `tags` hook:   tags[type(obj)](obj) gives a QuillmereTag or a
//                     (tag, value) tuple
//   4. duck typing:   isoformat() text (with the four date and time
//                     flags), enum members by their value, dataclass
//                     instances by their fields, numpy values under
//                     OPT_SERIALIZE_NUMPY, Decimal, UUID, __fspath__
//   5. `default`:     default(obj), applied once: never to its own result
//
// so that, for instance,
//
//     {"when": datetime(2024, 1, 2, 3, 4, 5), (1, 2): (3.5, None)}
//         -> Mapping{String "when": String "2024-01-02T03:04:05",
//                    Sequence[Int 1, Int 2]: Sequence[Float 3.5, Null]}
//
// Objects more than 999 levels below the argument fail, which is also what
// stops a container that holds itself. The recursion runs stack-guarded at
// every level.
#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>

#include "common/arena.h"
#include "model/value.h"

namespace quillmere::module {

// The deepest level an object may have below the argument (level 0).
inline constexpr std::uint32_t kMaxEncodeDepth = 999;

// The per-call settings of the conversion, copied (never shared) as it
// descends. The callables are borrowed from the call, which holds them for
// as long as the conversion runs.
struct EncodeContext {
    PyObject* default_ = nullptr;  // the `default` callable, or null
    PyObject* tags = nullptr;      // the dumps `tags` dict (type -> callable), or null
    std::uint32_t depth = 0;       // level of the object being converted
    bool serialize_numpy = false;
    bool omit_microseconds = false;
    bool naive_utc = false;
    bool utc_z = false;
    bool passthrough_datetime = false;
    bool passthrough_dataclass = false;
};

// The context of dumps and to_json: the six flags from the option bits,
// depth 0.
EncodeContext encode_context_from_options(std::uint64_t options, PyObject* default_, PyObject* tags);

// The Value tree of `object`, with every text, array and box in `arena`;
// nullopt with the Python error set on failure (the partial tree is left in
// the arena, which the caller drops).
std::optional<Value> object_to_value(PyObject* object, const EncodeContext& context, Arena& arena);

}  // namespace quillmere::module
