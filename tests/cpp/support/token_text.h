// Compact text forms of token lists for table-driven scanner tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "scanner/scanner.h"

namespace quillmere::testing {

// `text` with line feeds, carriage returns, tabs and backslashes written as
// \n, \r, \t and \\, and double quotes as \" when `escape_quotes` is set.
std::string escape_text(std::string_view text, bool escape_quotes);

// "MappingStart(Block) MappingKey Scalar(key) MappingValue ..." without the
// StreamStart and StreamEnd that every successful scan has. Scalar styles
// other than plain are marked: Scalar'(single) Scalar"(double) Scalar|(lit)
// Scalar>(folded).
std::string describe_tokens(const TokenList& tokens);

// Tokenizes `text`; gives describe_tokens of the result, or "error: message
// @line:column" (1-based) of the failure.
std::string scan_to_text(std::string_view text);

// Reads a whole file; empty on failure.
std::string read_file(const std::string& path);

// Folder with the shared test data, from the build configuration.
std::string shared_dir();

}  // namespace quillmere::testing
