// needs_quotes: whether a string must be quoted to read back as itself.
//
//     yes  y  123  1e5  008  1:30  2001-12-14  -x  "a: b"  "a #b"  "x "
//     "... x"  =  a<U+009F>  a<U+2028>                     -> quoted
//     it's  a,b (block context)  1.2.3  x:y                 -> plain
#pragma once

#include <string_view>

namespace quillmere::encode {

bool needs_quotes(std::string_view text);

// Whether the text matches the YAML 1.1 timestamp pattern, which readers
// of that type repository read as a date or a date and time: 2001-12-14,
// 2001-12-14T21:59:43.10-05:00, 2001-12-14 21:59:43.10 -5.
bool reads_as_timestamp(std::string_view text);

}  // namespace quillmere::encode
