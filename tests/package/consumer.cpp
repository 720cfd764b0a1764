#include <quarn/pattern.h>
#include <quarn/quarn.h>

#include <cstdio>

// Finds "pi" in a text through the legacy calls and through a compiled pattern, and prints
// where.
int main() {
  if (!quarn::Quarn(u"3.14159", u"\\.(\\d\\d)", 0)) return 1;
  int32_t start = 0;
  int32_t length = 0;
  quarn::QuarnIndex(quarn::reMatch, start, length);
  const quarn::SearchResult r = quarn::Pattern("\\.(\\d\\d)").search(std::string_view("3.14159"));
  if (!r) return 1;
  std::printf("consumer: %d %d %.*s\n", start, length, static_cast<int>(r.match().group8(1).size()),
              r.match().group8(1).data());
  return 0;
}
