// UTF-8 to UTF-16 and back, strictly: what does not convert exactly is refused.
#include "foundation/utf8.h"

#include <cstdint>

namespace {

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The code point of the sequence at text, and its length in *length; false when the bytes
// there are not one well-formed sequence.
bool DecodeOne(const unsigned char* text, uint32_t* codePoint, int* length)
{
    const unsigned char lead = text[0];
    int count = 0;
    uint32_t value = 0;
    uint32_t smallest = 0;
    if (lead < 0x80) {
        *codePoint = lead;
        *length = 1;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        count = 2;
        value = lead & 0x1Fu;
        smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        count = 3;
        value = lead & 0x0Fu;
        smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        count = 4;
        value = lead & 0x07u;
        smallest = 0x10000;
    } else {
        return false;
    }
    // The terminator is no continuation byte, so a cut sequence stops here.
    for (int i = 1; i < count; ++i) {
        if (!IsContinuation(text[i]))
            return false;
        value = (value << 6) | (text[i] & 0x3Fu);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return false;
    *codePoint = value;
    *length = count;
    return true;
}

void AppendUtf8(uint32_t codePoint, std::string* text)
{
    if (codePoint < 0x80) {
        *text += char(codePoint);
    } else if (codePoint < 0x800) {
        *text += char(0xC0 | (codePoint >> 6));
        *text += char(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        *text += char(0xE0 | (codePoint >> 12));
        *text += char(0x80 | ((codePoint >> 6) & 0x3F));
        *text += char(0x80 | (codePoint & 0x3F));
    } else {
        *text += char(0xF0 | (codePoint >> 18));
        *text += char(0x80 | ((codePoint >> 12) & 0x3F));
        *text += char(0x80 | ((codePoint >> 6) & 0x3F));
        *text += char(0x80 | (codePoint & 0x3F));
    }
}

}  // namespace

bool WideFromUtf8(const char* text, std::wstring* wide)
{
    wide->clear();
    if (text == nullptr)
        return false;
    const unsigned char* at = reinterpret_cast<const unsigned char*>(text);
    while (*at != 0) {
        uint32_t codePoint = 0;
        int length = 0;
        if (!DecodeOne(at, &codePoint, &length)) {
            wide->clear();
            return false;
        }
        if (codePoint < 0x10000) {
            *wide += wchar_t(codePoint);
        } else {
            codePoint -= 0x10000;
            *wide += wchar_t(0xD800 + (codePoint >> 10));
            *wide += wchar_t(0xDC00 + (codePoint & 0x3FF));
        }
        at += length;
    }
    return true;
}

bool Utf8FromWide(const wchar_t* wide, std::string* text)
{
    text->clear();
    if (wide == nullptr)
        return false;
    for (; *wide != 0; ++wide) {
        uint32_t unit = uint32_t(*wide);
        // Where wchar_t is wider than 16 bits, a value past a code unit is no UTF-16.
        if (unit > 0xFFFF) {
            text->clear();
            return false;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            const uint32_t low = uint32_t(wide[1]);
            if (low < 0xDC00 || low > 0xDFFF) {
                text->clear();
                return false;
            }
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            ++wide;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            text->clear();
            return false;
        }
        AppendUtf8(unit, text);
    }
    return true;
}
