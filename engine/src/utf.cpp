// UTF-8 and Latin-1 conversions for the 8-bit entry points. Decoding is strict: an
// ill-formed sequence is an error with its byte offset, never a silent replacement.
#include "quarn/utf.h"

#include <cstdint>

namespace quarn {

std::size_t Utf16Length(std::string_view in) {
  // Every byte but a continuation byte begins a character, and one of four bytes is two units.
  std::size_t units = 0;
  for (const char byte : in) {
    const auto b = static_cast<unsigned char>(byte);
    units += (b & 0xC0) != 0x80 ? 1 : 0;
    units += b >= 0xF0 ? 1 : 0;
  }
  return units;
}

bool Utf8ToUtf16(std::string_view in, std::u16string& out, std::size_t* errorOffset) {
  out.clear();
  out.reserve(Utf16Length(in));  // exactly what valid UTF-8 needs
  for (std::size_t i = 0; i < in.size();) {
    const auto lead = static_cast<unsigned char>(in[i]);
    if (lead < 0x80) {
      out += static_cast<char16_t>(lead);
      ++i;
      continue;
    }
    // Sequence length and the smallest code point it may carry (rules out overlong forms).
    std::size_t length = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code = lead & 0x07, minimum = 0x10000;
    }
    bool valid = length != 0 && i + length <= in.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto trail = static_cast<unsigned char>(in[i + k]);
      valid = (trail & 0xC0) == 0x80;
      code = (code << 6) | (trail & 0x3F);
    }
    valid = valid && code >= minimum && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    if (!valid) {
      if (errorOffset) *errorOffset = i;
      return false;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
    i += length;
  }
  return true;
}

std::string Utf16ToUtf8(std::u16string_view in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    char32_t code = in[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
        in[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (in[++i] - 0xDC00);
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

std::u16string Latin1ToUtf16(std::string_view in) {
  std::u16string out;
  out.reserve(in.size());
  for (const char byte : in)
    out += static_cast<char16_t>(static_cast<unsigned char>(byte));
  return out;
}

}  // namespace quarn
