// Merge keys: "<<: *base" and "<<: [*a, *b]" pull entries into a mapping.
//
// The decoder only marks merge keys (make_merge_marker); resolve_merge_keys
// carries the merges out on a finished document, in place, and leaves no
// marker behind:
//
//     base: &b {x: 1, y: 2}
//     m: {<<: *b, y: 3}        ->  m holds y: 3, then x: 1
//
// Explicit pairs come first and always win; among merge sources, the first
// to bring a key wins. Keys are compared whatever their tag. A source that is no mapping (nor null, nor a sequence
// of mappings) stays behind as an ordinary "<<" pair.
#pragma once

#include <optional>
#include <vector>

#include "common/arena.h"
#include "decode/key_set.h"
#include "model/value.h"

namespace quillmere::decode {

void resolve_merge_keys(Value& value, Arena& arena);

// Merges one source into `pairs`; gives what could not be merged.
std::optional<Value> flatten_merge_source(std::vector<Pair>& pairs, KeySet& seen, const Value& source,
                                          Arena& arena);

// What a merge compares of a key: its value, whatever its tag, as YAML's
// merge defines it ("! k: 2" overrides a merged "k").
inline const Value& merge_identity(const Value& key) {
    return key.is(ValueKind::Tagged) ? key.tagged_value().inner : key;
}

// Turns every marker inside `value` into the String "<<".
void unmark_merge_keys(Value& value, Arena& arena);

}  // namespace quillmere::decode
