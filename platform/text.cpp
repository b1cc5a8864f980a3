#include "text.h"

#include <cstdint>

static void AppendUtf8(std::string &out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes one code point at text[at]; advances at. Returns U+FFFD for a broken
// sequence, consuming one byte so that decoding always moves on.
static char32_t NextUtf8(std::string_view text, size_t &at, bool &valid) {
  auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  uint8_t lead = byte(at);
  valid = true;
  if (lead < 0x80) {
    at++;
    return lead;
  }
  int extra;
  char32_t c;
  char32_t smallest;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, c = lead & 0x1F, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, c = lead & 0x0F, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, c = lead & 0x07, smallest = 0x10000;
  } else {
    valid = false;
    at++;
    return 0xFFFD;
  }
  if (text.size() - at <= static_cast<size_t>(extra)) {
    valid = false;
    at++;
    return 0xFFFD;
  }
  for (int i = 1; i <= extra; i++) {
    uint8_t next = byte(at + static_cast<size_t>(i));
    if ((next & 0xC0) != 0x80) {
      valid = false;
      at++;
      return 0xFFFD;
    }
    c = (c << 6) | (next & 0x3F);
  }
  if (c < smallest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    valid = false;
    at++;
    return 0xFFFD;
  }
  at += static_cast<size_t>(extra) + 1;
  return c;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t at = 0;
  while (at < text.size()) {
    bool valid;
    char32_t c = NextUtf8(text, at, valid);
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); i++) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      i++;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  size_t at = 0;
  while (at < bytes.size()) {
    bool valid;
    NextUtf8(bytes, at, valid);
    if (!valid)
      return false;
  }
  return true;
}

// Windows-1252 0x80..0x9F; the five unassigned bytes keep their C1 values.
static const char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string DecodeAnsi(std::string_view bytes) {
  if (IsValidUtf8(bytes))
    return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char ch : bytes) {
    uint8_t b = static_cast<uint8_t>(ch);
    AppendUtf8(out, b >= 0x80 && b < 0xA0 ? Cp1252High[b - 0x80] : b);
  }
  return out;
}
