// UTF-8 validation with the position and kind of the first fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quillmere {

struct Utf8Check {
    bool valid = true;
    // Bytes before the first invalid sequence.
    std::size_t valid_up_to = 0;
    // Length of the invalid sequence (1 to 3); 0 when the text ends inside
    // an otherwise valid sequence.
    std::size_t error_length = 0;
};

Utf8Check check_utf8(std::string_view bytes);

inline bool is_valid_utf8(std::string_view bytes) { return check_utf8(bytes).valid; }

}  // namespace quillmere
