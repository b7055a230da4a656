// Bytes shown as text: each invalid sequence becomes one U+FFFD.
#include <gtest/gtest.h>

#include "common/utf8.h"

namespace quillmere {
namespace {

TEST(Utf8, LossyText) {
    const struct {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"plain", "plain"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},
        {"caf\xe9", "caf\xef\xbf\xbd"},
        {"\xff\xfe", "\xef\xbf\xbd\xef\xbf\xbd"},
        {"a\xe2\x82z", "a\xef\xbf\xbdz"},        // a cut three-byte sequence is one fault
        {"a\xf0\x9f\x98", "a\xef\xbf\xbd"},      // and so is one cut at the end
        {"\xed\xa0\x80x", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbdx"},  // a surrogate, byte by byte
    };
    for (const auto& c : cases) EXPECT_EQ(to_text_lossy(c.bytes), c.text) << c.bytes;
}

}  // namespace
}  // namespace quillmere
