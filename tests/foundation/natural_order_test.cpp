// The natural order of file names.
#include <gtest/gtest.h>

#include "foundation/natural_order.h"

namespace {

int Sign(int value)
{
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

}  // namespace

TEST(NaturalOrderTest, NumbersByValueLettersWithoutCase)
{
    const struct Row {
        const char* a;
        const char* b;
        int order;  // -1: a first, 0: equal, 1: b first
    } rows[] = {
        {"img2.png", "img10.png", -1},
        {"img10.png", "img2.png", 1},
        {"img2.png", "img2.png", 0},
        {"a.png", "B.png", -1},
        {"IMG1.png", "img2.png", -1},
        {"img.png", "img1.png", -1},         // a prefix comes first
        {"img9.png", "img10a.png", -1},
        {"x2y10", "x2y9", 1},                // every run of digits counts
        {"img007.png", "img7.png", -1},      // equal values: the bytes decide
        {"img007.png", "img8.png", -1},      // leading zeros do not make a number larger
        {"Img1.png", "img1.png", -1},        // equal but for case: the bytes decide
        {"99999999999999999999999.png", "100000000000000000000000.png", -1},  // past 64 bits
        {"a 2.png", "a 10.png", -1},
        {"a.png", "a b.png", 1},             // '.' after ' '
        {"\xc3\x9c" "ber.png", "zebra.png", 1},  // bytes past ASCII after the letters
        {"", "a", -1},
        {"", "", 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Sign(CompareNatural(row.a, row.b)), row.order) << row.a << " / " << row.b;
        EXPECT_EQ(Sign(CompareNatural(row.b, row.a)), -row.order) << row.b << " / " << row.a;
    }
}
