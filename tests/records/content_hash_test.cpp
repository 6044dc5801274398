#include "records/content_hash.h"

#include <gtest/gtest.h>

#include <string>

namespace kolvane::records {
namespace {

TEST(ContentHashTest, IsXxh3With128BitsHighHalfFirst) {
    // The published hash of no bytes.
    EXPECT_EQ(HashText(HashOf("")), "99aa06d3014798d86001c324468d497f");
    EXPECT_EQ(HashText(ContentHasher().Result()), "99aa06d3014798d86001c324468d497f");
}

TEST(ContentHashTest, PiecesGiveTheHashOfTheWhole) {
    std::string contents;
    for (std::size_t i = 0; contents.size() < (std::size_t{1} << 20) + 17; ++i) {
        contents += static_cast<char>(i * 131 % 251);
    }
    for (const std::size_t piece :
         {std::size_t{1}, std::size_t{63}, std::size_t{4096}, std::size_t{1} << 20}) {
        ContentHasher hasher;
        for (std::size_t at = 0; at < contents.size(); at += piece) {
            hasher.Add(std::string_view(contents).substr(at, piece));
        }
        EXPECT_EQ(hasher.Result(), HashOf(contents)) << piece;
    }
    std::string changed = contents;
    changed.back() ^= 1;
    EXPECT_NE(HashOf(changed), HashOf(contents));
}

}  // namespace
}  // namespace kolvane::records
