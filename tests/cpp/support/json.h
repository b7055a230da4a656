// A strict JSON reader for tests (RFC 8259): a stream of JSON values, as the
// conformance cases' in.json holds one value per document and the JSON
// writer's output one value in all.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace quillmere::testing {

struct JsonMember;

struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    std::string text;  // the number as written, or the string
    std::vector<Json> items;
    std::vector<JsonMember> members;
};

struct JsonMember {
    std::string name;
    Json value;
};

struct JsonStream {
    std::vector<Json> values;
    std::size_t whitespace = 0;  // bytes of whitespace between the tokens
};

// Every value of `text` in order, or what is wrong and where: invalid UTF-8,
// a raw control character or lone surrogate escape in a string, a number
// JSON does not allow (01, 1., .5, +1), anything else that is not JSON.
Result<JsonStream, std::string> read_json_stream(std::string_view text);

}  // namespace quillmere::testing
