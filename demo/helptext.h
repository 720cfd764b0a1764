// The help text with its escape tables filled in: help.html holds the prose, and the rows of
// its three escape tables are written from the list in escapes.h, in place of the "escapes:"
// comments. Plain C++ with no toolkit dependency, so that the help window and the web
// playground's quick reference show the same tables from the one list.
#pragma once

#include <string>
#include <string_view>

namespace quarn::demo {

// helpHtml (UTF-8) with the rows of the escape tables in place of their comments.
std::string HelpWithEscapes(std::string_view helpHtml);

}  // namespace quarn::demo
