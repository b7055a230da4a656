// Tokenizes arbitrary valid UTF-8 text. Scanning must end with tokens or a
// ScanError, never a crash, hang or sanitizer report; a successful scan is
// well formed: StreamStart first, StreamEnd last, every span and end offset
// inside the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/utf8.h"
#include "scanner/scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!quillmere::is_valid_utf8(text)) return -1;
    for (bool comments : {false, true}) {
        quillmere::scanner::Scanner scanner(text, 0, comments);
        auto result = quillmere::scanner::tokenize(scanner);
        if (!result.ok()) {
            if (result.error().message.empty() || result.error().span.offset > size) std::abort();
            continue;
        }
        const auto& tokens = result.value();
        if (tokens.empty() || tokens.front().kind != quillmere::TokenKind::StreamStart ||
            tokens.back().kind != quillmere::TokenKind::StreamEnd)
            std::abort();
        for (const auto& t : tokens) {
            if (t.span.offset > size || t.end_offset > size || t.end_offset < t.span.offset) std::abort();
        }
    }
    return 0;
}
