// Conversions between the engine's 16-bit text and UTF-8 / Latin-1 bytes, for hosts and
// tools that keep their text in 8-bit form.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "quarn/export.h"

namespace quarn {

// Decodes UTF-8 into UTF-16 code units. Returns false on the first ill-formed sequence
// (overlong forms, surrogates and values above U+10FFFF included), leaving in errorOffset,
// when given, the byte offset at which it begins. Nothing is ever replaced silently.
QUARN_API bool Utf8ToUtf16(std::string_view in, std::u16string& out,
                           std::size_t* errorOffset = nullptr);

// The number of UTF-16 code units that in decodes to when it is valid UTF-8, counted without
// decoding it.
QUARN_API std::size_t Utf16Length(std::string_view in);

// Encodes UTF-16 as UTF-8; a lone surrogate becomes U+FFFD.
QUARN_API std::string Utf16ToUtf8(std::u16string_view in);

// Each byte is one character U+0000..U+00FF.
QUARN_API std::u16string Latin1ToUtf16(std::string_view in);

}  // namespace quarn
