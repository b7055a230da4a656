// Compact text forms of Value trees for table-driven tests:
//   null  true  1  big(123)  float(1.5)  "text"  [a, b]  {k: v}  !tag("x")
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "decode/decoder.h"

namespace quillmere::testing {

std::string describe_value(const Value& value);

// Decodes `text` with `options`; gives the documents joined by " | ", or
// "error(kind): message @line:column" (1-based; kind parse, dup, complex).
std::string decode_to_text(std::string_view text, const decode::DecodeOptions& options = {});

// The warnings of decoding `text` (which must succeed), each as
// "kind(part, part) @line:column" (1-based; kind dup or yaml11).
std::vector<std::string> decode_warnings(std::string_view text, const decode::DecodeOptions& options);

}  // namespace quillmere::testing
