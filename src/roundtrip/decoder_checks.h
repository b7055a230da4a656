// What the plain road's decoder refuses in a text that its round-trip trees
// keep: aliases beyond the alias budget, and scalars that their core tag
// cannot read ("!!int abc").
//
// The decoder copies an alias's anchored value wherever the alias stands
// and refuses a stream whose copies would hold more than kAliasNodeBudget
// nodes ("document expands to too many nodes (possible alias bomb)").
// Trees keep aliases as names, and their conversion makes one object per
// anchor, so a tree road never pays for the copies; it refuses the same
// texts all the same, so that every road agrees on what a text holds:
//
//     a: &a [x, x, x, x, x, x, x, x, x, x]
//     b: &b [*a, *a, *a, *a, *a, *a, *a, *a, *a, *a]    100 copied nodes
//     ...                                               each line x10
//
// The count follows the decoder: one per node (the nulls of absent keys
// and values included), one more per custom tag and per merge key, and for
// an alias the count of its anchored node, which is known once that node
// is complete. It is kept over all documents of the stream; anchors are
// known within their own document.
#pragma once

#include <optional>
#include <span>

#include "model/located_error.h"
#include "resolver/resolver.h"
#include "roundtrip/ast.h"

namespace quillmere::roundtrip {

struct DecoderRefusal {
    LocatedError error;
    // Found by a tag as written, which a %TAG directive may have changed:
    // the decoder's own reading of the node's text decides.
    bool to_confirm = false;
};

// The first refusal in document order, or none.
std::optional<DecoderRefusal> first_decoder_refusal(std::span<const YamlNode> roots, resolver::ResolveMode mode);

}  // namespace quillmere::roundtrip
