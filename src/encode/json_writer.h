// The JSON writer: one Value tree in, JSON text out.
//
// Tags are dropped, mapping keys become strings, floats are written in
// positional notation, and non-finite floats become null:
//
//     Mapping{a: [1, 2.5], 7: Tagged(!x, inf)}
//         compact   {"a":[1,2.5],"7":null}
//         indent 2  {
//                     "a": [
//                       1,
//                       2.5
//                     ],
//                     "7": null
//                   }
//
// The only failure is a collection used as a mapping key. Nothing follows
// the root value, not even a line break.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/result.h"
#include "model/value.h"

namespace quillmere::encode {

struct JsonWriterConfig {
    std::uint64_t indent = 0;  // 0 for compact output, else spaces per level
    bool sort_keys = false;    // members sorted by key text, bytewise
};

inline constexpr std::string_view kJsonCollectionKeyError = "a collection cannot be a JSON object key";

// Appends the JSON text of `value` to `out`. On error `out` holds partial
// output, which the caller discards.
Result<void, std::string> write_json(std::string& out, const Value& value, const JsonWriterConfig& config);

// The shortest decimal that reads back as `value`, in positional notation,
// with ".0" added to whole numbers; null for NaN and the infinities.
void write_json_float(std::string& out, double value);

// `text` in double quotes, with the JSON escapes; U+2028 and U+2029 are
// escaped too, so the text is also valid JavaScript.
void write_json_string(std::string& out, std::string_view text);

}  // namespace quillmere::encode
