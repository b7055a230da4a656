// Prints the tokens of the YAML text on standard input, one a line, with
// their 1-based line and column.
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#include "scanner/scanner.h"

int main() {
    std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    quillmere::scanner::Scanner scanner(text);
    auto tokens = quillmere::scanner::tokenize(scanner);
    if (!tokens.ok()) {
        const auto& e = tokens.error();
        std::printf("error: %s at line %u, column %u\n", e.message.c_str(), e.span.line + 1, e.span.column + 1);
        return 1;
    }
    for (const quillmere::Token& t : tokens.value()) {
        std::printf("%4u:%-3u %s", t.span.line + 1, t.span.column + 1, quillmere::token_kind_name(t.kind));
        if (!t.text.empty()) std::printf(" \"%.*s\"", static_cast<int>(t.text.size()), t.text.data());
        std::printf("\n");
    }
    return 0;
}
