#include <quarn/quarn.h>

#include <cstdio>

// Finds "pi" in a text through the installed package and prints where.
int main() {
  if (!quarn::Quarn(u"3.14159", u"\\.(\\d\\d)", 0)) return 1;
  int32_t start = 0;
  int32_t length = 0;
  quarn::QuarnIndex(quarn::reMatch, start, length);
  const auto digits = std::get<std::u16string>(quarn::QuarnResult(1));
  std::printf("consumer: %d %d %c%c\n", start, length, static_cast<char>(digits[0]),
              static_cast<char>(digits[1]));
  return 0;
}
