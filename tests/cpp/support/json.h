// A small strict JSON reader for tests: a stream of JSON values, as the
// conformance cases' in.json holds one value per document.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillmere::testing {

struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    std::string text;  // the number as written, or the string
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;
};

// Every value of `text` in order; nullopt when it is not a JSON stream.
std::optional<std::vector<Json>> parse_json_stream(std::string_view text);

}  // namespace quillmere::testing
