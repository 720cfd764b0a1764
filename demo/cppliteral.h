// "Copy as C++": the workbench's texts as a call of the legacy API, ready to paste into a
// host's source. Plain C++ with no toolkit dependency, so that a test can compile what it
// writes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quarn::demo {

// text as a C++ u"" literal (possibly several, which the compiler joins) that denotes exactly
// its 16-bit code units. Printable ASCII stands as itself except \ and "; everything else is
// escaped: \t \n \r by name, other code units as \uXXXX, a surrogate pair as one \UXXXXXXXX
// and a lone surrogate as \xXXXX (no universal character name may denote one).
std::string CppLiteral(std::u16string_view text);

// "quarn::Quarn(u"text", u"pattern", flags)" with the flags as the named constants.
std::string CppQuarnCall(std::u16string_view text, std::u16string_view pattern, int32_t flags);

// The same call for showing on one line: a text of more than keep code units shows only its
// first keep (a surrogate pair is not split) and then a comment that says how many more there
// are, so that the line stays short however long the texts are.
std::string CppQuarnCallAbridged(std::u16string_view text, std::u16string_view pattern,
                                 int32_t flags, size_t keep);

}  // namespace quarn::demo
