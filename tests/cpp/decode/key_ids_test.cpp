// Key ids: equal texts get one id, distinct texts distinct ids, numbered
// densely from 1, through every growth of the table; once the ids run out
// new texts get none and known ones keep theirs.
#include <gtest/gtest.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "decode/key_ids.h"

namespace quillmere::testing {
namespace {

using decode::KeyIds;

// Texts of every length up to 40 bytes (the short ones are hashed and
// compared word by word), many of them alike but for one byte at the start,
// middle or end, each met several times.
std::vector<std::string> alike_texts() {
    std::vector<std::string> texts;
    for (std::size_t length = 0; length <= 40; ++length) {
        for (int variant = 0; variant < 300; ++variant) {
            std::string text(length, 'k');
            if (length > 0) text[(variant % 3) * (length - 1) / 2] = static_cast<char>('!' + variant / 3);
            texts.push_back(text);
        }
    }
    texts.push_back("caf\xC3\xA9");
    texts.push_back(std::string("nul\0inside", 10));
    return texts;
}

TEST(KeyIds, OneIdPerDistinctText) {
    const std::vector<std::string> texts = alike_texts();
    KeyIds ids;
    std::unordered_map<std::string, std::uint32_t> expected;
    for (int round = 0; round < 3; ++round) {
        for (const std::string& text : texts) {
            const std::uint32_t id = ids.id_of(text);
            const auto [known, added] = expected.emplace(text, id);
            if (added) {
                EXPECT_EQ(id, expected.size()) << "ids are given in order from 1";
            } else {
                EXPECT_EQ(id, known->second) << "'" << text << "' changed its id";
            }
        }
    }
    EXPECT_EQ(ids.count(), expected.size());
}

TEST(KeyIds, TextsPastTheLastIdGetNone) {
    KeyIds ids(3);
    EXPECT_EQ(ids.id_of("a"), 1u);
    EXPECT_EQ(ids.id_of("b"), 2u);
    EXPECT_EQ(ids.id_of("c"), 3u);
    EXPECT_EQ(ids.id_of("d"), 0u);
    EXPECT_EQ(ids.id_of("e"), 0u);
    EXPECT_EQ(ids.id_of("b"), 2u);
    EXPECT_EQ(ids.count(), 3u);
}

}  // namespace
}  // namespace quillmere::testing
