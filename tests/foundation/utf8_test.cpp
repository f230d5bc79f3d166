// UTF-8 to UTF-16 and back: every length of sequence, its limits, and what is refused.
#include <gtest/gtest.h>

#include <string>

#include "foundation/utf8.h"

namespace {

// Code units as numbers: wchar_t is 32 bits on some systems, and the units stay UTF-16.
std::wstring Units(std::initializer_list<unsigned> units)
{
    std::wstring wide;
    for (const unsigned unit : units)
        wide += wchar_t(unit);
    return wide;
}

TEST(Utf8Test, ConvertsBothWaysExactly)
{
    const struct {
        const char* label;
        std::string utf8;
        std::wstring wide;
    } rows[] = {
        {"empty", "", Units({})},
        {"ASCII", "a b/c.png", Units({'a', ' ', 'b', '/', 'c', '.', 'p', 'n', 'g'})},
        {"last 1-byte", "\x7F", Units({0x7F})},
        {"first 2-byte", "\xC2\x80", Units({0x80})},
        {"2-byte", "Gr\xC3\xBC\xC3\x9F" "e", Units({'G', 'r', 0xFC, 0xDF, 'e'})},
        {"last 2-byte", "\xDF\xBF", Units({0x7FF})},
        {"first 3-byte", "\xE0\xA0\x80", Units({0x800})},
        {"3-byte", "\xE6\x97\xA5\xE6\x9C\xAC", Units({0x65E5, 0x672C})},
        {"before the surrogates", "\xED\x9F\xBF", Units({0xD7FF})},
        {"after the surrogates", "\xEE\x80\x80", Units({0xE000})},
        {"last 3-byte", "\xEF\xBF\xBF", Units({0xFFFF})},
        {"first 4-byte", "\xF0\x90\x80\x80", Units({0xD800, 0xDC00})},
        {"4-byte", "\xF0\x9F\x93\xB7.png", Units({0xD83D, 0xDCF7, '.', 'p', 'n', 'g'})},
        {"last 4-byte", "\xF4\x8F\xBF\xBF", Units({0xDBFF, 0xDFFF})},
    };
    for (const auto& row : rows) {
        std::wstring wide = L"garbage";
        EXPECT_TRUE(WideFromUtf8(row.utf8.c_str(), &wide)) << row.label;
        EXPECT_EQ(wide, row.wide) << row.label;
        std::string utf8 = "garbage";
        EXPECT_TRUE(Utf8FromWide(row.wide.c_str(), &utf8)) << row.label;
        EXPECT_EQ(utf8, row.utf8) << row.label;
    }
}

TEST(Utf8Test, RefusesWhatIsNotUtf8)
{
    const struct {
        const char* label;
        const char* utf8;
    } rows[] = {
        {"stray continuation byte", "a\x80"},
        {"2-byte sequence cut at the end", "a\xC3"},
        {"2-byte sequence cut by ASCII", "\xC3(x"},
        {"3-byte sequence cut", "\xE6\x97"},
        {"4-byte sequence cut", "\xF0\x9F\x93"},
        {"overlong 2-byte '/'", "\xC0\xAF"},
        {"overlong 3-byte '/'", "\xE0\x80\xAF"},
        {"overlong 4-byte '/'", "\xF0\x80\x80\xAF"},
        {"high surrogate", "\xED\xA0\x80"},
        {"low surrogate", "\xED\xBF\xBF"},
        {"past U+10FFFF", "\xF4\x90\x80\x80"},
        {"5-byte form", "\xF8\x88\x80\x80\x80"},
        {"byte 0xFF", "\xFF"},
        {"a Latin-1 name", "caf\xE9.png"},
    };
    for (const auto& row : rows) {
        std::wstring wide = L"garbage";
        EXPECT_FALSE(WideFromUtf8(row.utf8, &wide)) << row.label;
        EXPECT_TRUE(wide.empty()) << row.label;
    }
    std::wstring wide = L"garbage";
    EXPECT_FALSE(WideFromUtf8(nullptr, &wide));
}

TEST(Utf8Test, RefusesLoneSurrogates)
{
    const struct {
        const char* label;
        std::wstring wide;
    } rows[] = {
        {"high at the end", Units({'a', 0xD83D})},
        {"high before ASCII", Units({0xD83D, 'a'})},
        {"low alone", Units({0xDCF7})},
        {"low before high", Units({0xDCF7, 0xD83D})},
        {"two highs", Units({0xD83D, 0xD83D, 0xDCF7})},
    };
    for (const auto& row : rows) {
        std::string utf8 = "garbage";
        EXPECT_FALSE(Utf8FromWide(row.wide.c_str(), &utf8)) << row.label;
        EXPECT_TRUE(utf8.empty()) << row.label;
    }
    std::string utf8 = "garbage";
    EXPECT_FALSE(Utf8FromWide(nullptr, &utf8));
}

}  // namespace
