// needs_quotes: whether a string must be quoted to read back as itself.
//
//     yes  123  1e5  -x  "a: b"  "a #b"  "x "  "... x"  =  a<U+009F>   -> quoted
//     y  1:30  it's  a,b (block context)                  -> plain
#pragma once

#include <string_view>

namespace quillmere::encode {

bool needs_quotes(std::string_view text);

}  // namespace quillmere::encode
