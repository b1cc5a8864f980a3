// Text encodings. Texts live in memory as UTF-8; UTF-16 appears only in the
// file formats that call for it and in the output library's device names.
#pragma once

#include <span>
#include <string>
#include <string_view>

// Invalid input (a lone surrogate, a broken UTF-8 sequence) becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
bool IsValidUtf8(std::string_view bytes);
// The "system code page" of text files without a byte-order mark: the bytes
// as they are when they form valid UTF-8, else read as Windows-1252.
std::string DecodeAnsi(std::string_view bytes);
