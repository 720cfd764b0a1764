// The built-in examples of the demo window's "Example" list: a caption, a subject text and a
// pattern each. Entry 0 is the "(Select one)" placeholder, which has neither text nor pattern.
#pragma once

#include <array>

struct Example {
  const char16_t* Caption;
  const char16_t* Text;
  const char16_t* Pattern;
};

extern const std::array<Example, 18> Examples;
