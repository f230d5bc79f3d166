// UTF-8 and UTF-16 (the wide text of Windows' system calls), converted both ways.
#pragma once

#include <string>

// Decodes UTF-8 into UTF-16 code units, one wchar_t each. Bytes that are not UTF-8 (a stray
// continuation byte, a sequence cut short, an overlong form, a surrogate, a code point past
// U+10FFFF) give false and an empty *wide: a path spelt so names no file.
bool WideFromUtf8(const char* text, std::wstring* wide);

// Encodes UTF-16 code units as UTF-8. A lone surrogate, which UTF-8 cannot carry, gives
// false and an empty *text.
bool Utf8FromWide(const wchar_t* wide, std::string* text);
