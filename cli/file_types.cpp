// The table of file types.
#include "file_types.h"

#include <algorithm>

namespace quarn::cli {

namespace {

constexpr FileType kTypes[] = {
    {"asm", "*.S, *.asm, *.s"},
    {"awk", "*.awk"},
    {"c", "*.[chH], *.[chH].in, *.cats"},
    {"cmake", "*.cmake, CMakeLists.txt"},
    {"config", "*.cfg, *.conf, *.config, *.ini"},
    {"cpp",
     "*.[ChH], *.[ChH].in, *.[ch]pp, *.[ch]pp.in, *.[ch]xx, *.[ch]xx.in, *.cc, *.cc.in, *.hh, "
     "*.hh.in, *.inl"},
    {"cs", "*.cs"},
    {"css", "*.css, *.scss"},
    {"csv", "*.csv"},
    {"d", "*.d"},
    {"dart", "*.dart"},
    {"diff", "*.diff, *.patch"},
    {"docker", "*Dockerfile*"},
    {"elisp", "*.el"},
    {"erlang", "*.erl, *.hrl"},
    {"fortran", "*.F, *.F77, *.F90, *.F95, *.f, *.f77, *.f90, *.f95, *.pfo"},
    {"go", "*.go"},
    {"h", "*.h, *.hpp"},
    {"haskell", "*.c2hs, *.cpphs, *.hs, *.hsc, *.lhs"},
    {"html", "*.ejs, *.htm, *.html"},
    {"java", "*.java, *.jsp, *.jspx, *.properties"},
    {"js", "*.js, *.jsx, *.vue"},
    {"json", "*.json, composer.lock"},
    {"jsonl", "*.jsonl"},
    {"julia", "*.jl"},
    {"kotlin", "*.kt, *.kts"},
    {"lua", "*.lua"},
    {"make",
     "*.mak, *.mk, [Gg][Nn][Uu]makefile, [Gg][Nn][Uu]makefile.am, [Gg][Nn][Uu]makefile.in, "
     "[Mm]akefile, [Mm]akefile.am, [Mm]akefile.in"},
    {"markdown", "*.markdown, *.md, *.mdown, *.mkdn"},
    {"md", "*.markdown, *.md, *.mdown, *.mkdn"},
    {"meson", "meson.build, meson_options.txt"},
    {"ocaml", "*.ml, *.mli, *.mll, *.mly"},
    {"perl", "*.PL, *.perl, *.pl, *.plh, *.plx, *.pm, *.t"},
    {"php", "*.php, *.php3, *.php4, *.php5, *.phtml"},
    {"protobuf", "*.proto"},
    {"py", "*.py, *.pyi"},
    {"qml", "*.qml"},
    {"r", "*.R, *.Rmd, *.Rnw, *.r"},
    {"rst", "*.rst"},
    {"ruby", "*.gemspec, *.rb, *.rbw, .irbrc, Gemfile, Rakefile, config.ru"},
    {"rust", "*.rs"},
    {"scala", "*.sbt, *.scala"},
    {"sh", "*.bash, *.bashrc, *.csh, *.ksh, *.sh, *.tcsh, *.zsh, .bashrc, .profile, .zshrc"},
    {"sql", "*.psql, *.sql"},
    {"svg", "*.svg"},
    {"swift", "*.swift"},
    {"tcl", "*.tcl"},
    {"tex", "*.bib, *.cls, *.dtx, *.ins, *.ltx, *.sty, *.tex"},
    {"toml", "*.toml, Cargo.lock"},
    {"ts", "*.ts, *.tsx"},
    {"txt", "*.txt"},
    {"vim", "*.vim"},
    {"xml", "*.dtd, *.rng, *.sch, *.xhtml, *.xml, *.xsd, *.xsl, *.xslt"},
    {"yaml", "*.yaml, *.yml"},
    {"zig", "*.zig"},
};

}  // namespace

std::span<const FileType> FileTypes() {
  return kTypes;
}

const FileType* FindFileType(std::string_view name) {
  const auto* found = std::find_if(std::begin(kTypes), std::end(kTypes),
                                   [&](const FileType& type) { return type.name == name; });
  return found == std::end(kTypes) ? nullptr : found;
}

std::string FileTypeList() {
  std::string list;
  for (const FileType& type : kTypes) {
    list.append(type.name).append(": ").append(type.globs).append("\n");
  }
  return list;
}

}  // namespace quarn::cli
