// Natural order of file names: numbers by value, ASCII letters without case.
#include "foundation/natural_order.h"

#include <cstring>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

unsigned char FoldCase(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

// Compares the digit runs at *a and *b by value, whatever their length, and moves both past
// their run. Leading zeros do not count here.
int CompareNumbers(const char*& a, const char*& b)
{
    while (*a == '0')
        ++a;
    while (*b == '0')
        ++b;
    const char* startA = a;
    const char* startB = b;
    while (IsDigit(*a))
        ++a;
    while (IsDigit(*b))
        ++b;
    const size_t lengthA = size_t(a - startA);
    const size_t lengthB = size_t(b - startB);
    if (lengthA != lengthB)
        return lengthA < lengthB ? -1 : 1;
    return std::memcmp(startA, startB, lengthA);
}

}  // namespace

int CompareNatural(const char* a, const char* b)
{
    const char* x = a;
    const char* y = b;
    while (*x != '\0' && *y != '\0') {
        if (IsDigit(*x) && IsDigit(*y)) {
            const int byValue = CompareNumbers(x, y);
            if (byValue != 0)
                return byValue;
            continue;
        }
        const unsigned char cx = FoldCase(*x);
        const unsigned char cy = FoldCase(*y);
        if (cx != cy)
            return cx < cy ? -1 : 1;
        ++x;
        ++y;
    }
    if (*x != *y)
        return *x == '\0' ? -1 : 1;
    // Equal but for case or leading zeros: the bytes decide.
    const int bytes = std::strcmp(a, b);
    return bytes < 0 ? -1 : (bytes > 0 ? 1 : 0);
}
