// quarn-manpage FILE: writes quarn's manual page, made from the source of its --help.
#include <fstream>
#include <iostream>

#include "help.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: quarn-manpage FILE\n";
    return 2;
  }
  std::ofstream out(argv[1], std::ios::binary);
  out << quarn::cli::ManPage(QUARN_VERSION);
  out.close();
  if (!out) {
    std::cerr << "quarn-manpage: cannot write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
