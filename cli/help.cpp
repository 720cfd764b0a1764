// quarn's help and manual page, made from one table of options and one list of sections.
#include "help.h"

#include <getopt.h>

#include <cctype>
#include <vector>

namespace quarn::cli {

namespace {

constexpr OptionEntry kOptionTable[] = {
    {0, nullptr, 0, nullptr, "Patterns:"},
    {'e', "regexp", required_argument, "PATTERN", "Use PATTERN; may be given more than once"},
    {'f', "file", required_argument, "FILE", "Take the patterns from FILE, one a line"},
    {'F', "fixed-strings", no_argument, nullptr, "Each pattern is a plain string, not a pattern"},
    {'i', "ignore-case", no_argument, nullptr, "Letters match without regard to case"},
    {kSmartCase, "smart-case", no_argument, nullptr,
     "Ignore case unless a pattern holds an upper-case letter"},
    {'S', "single-line", no_argument, nullptr, "\".\" also matches the characters of CR LF"},
    {'M', "multiline", no_argument, nullptr, "\"^\" and \"$\" also match at an inner CR LF"},
    {'w', "word-regexp", no_argument, nullptr, "Match only whole words (of \\w characters)"},
    {'x', "line-regexp", no_argument, nullptr, "Match only whole lines"},
    {kNoWarnings, "no-warnings", no_argument, nullptr,
     "Do not warn about constructs that other dialects read differently"},
    {kCheck, "check", no_argument, nullptr,
     "Only report the faults and warnings of each pattern, with their places"},
    {kExplain, "explain", no_argument, nullptr,
     "Only print how the engine reads each pattern, as JSON (see Pattern checks)"},
    {0, nullptr, 0, nullptr, "Selection and output:"},
    {'v', "invert-match", no_argument, nullptr, "Select the lines that do not match"},
    {'m', "max-count", required_argument, "NUM", "Stop reading a file after NUM selected lines"},
    {'c', "count", no_argument, nullptr, "Print only the number of selected lines per file"},
    {'l', "files-with-matches", no_argument, nullptr,
     "Print only names of files with a selected line"},
    {'L', "files-without-match", no_argument, nullptr, "Print only names of files without one"},
    {'q', "quiet", no_argument, nullptr, "Print nothing; exit at the first selected line"},
    {'q', "silent", no_argument, nullptr, nullptr},
    {'s', "no-messages", no_argument, nullptr, "No messages about missing or unreadable files"},
    {'o', "only-matching", no_argument, nullptr, "Print only the matches"},
    {kGroups, "groups", no_argument, nullptr, "After each match print its subexpressions"},
    {kReplace, "replace", required_argument, "TEXT",
     "Print each match as TEXT, in which $0 to $9 stand for the match and its subexpressions"},
    {'n', "line-number", no_argument, nullptr, "Print line numbers"},
    {'b', "byte-offset", no_argument, nullptr, "Print the byte offset of each line (or match)"},
    {kColumn, "column", no_argument, nullptr,
     "Print the column of the first match of each line (with -o, of each match)"},
    {'H', "with-filename", no_argument, nullptr, "Print the file name with each line"},
    {'h', "no-filename", no_argument, nullptr, "Never print file names"},
    {'Z', "null", no_argument, nullptr, "Print a NUL byte after each file name"},
    {kColor, "color", optional_argument, "WHEN",
     "Highlight matches: auto (default), always, never"},
    {kColor, "colour", optional_argument, "WHEN", nullptr},
    {kJson, "json", no_argument, nullptr, "Print JSON Lines in ripgrep's form (see JSON)"},
    {kStats, "stats", no_argument, nullptr, "Print what the search came to at the end"},
    {kLineBuffered, "line-buffered", no_argument, nullptr, "Flush the output after every line"},
    {0, nullptr, 0, nullptr, "Context:"},
    {'A', "after-context", required_argument, "NUM", "Print NUM lines after a selected line"},
    {'B', "before-context", required_argument, "NUM", "Print NUM lines before a selected line"},
    {'C', "context", required_argument, "NUM", "Print NUM lines around it (also -NUM)"},
    {kGroupSeparator, "group-separator", required_argument, "SEP",
     "Print SEP between groups of lines (--)"},
    {kNoGroupSeparator, "no-group-separator", no_argument, nullptr, "Print nothing between them"},
    {0, nullptr, 0, nullptr, "Files:"},
    {'r', "recursive", no_argument, nullptr, "Search the files below directories (no FILE: .)"},
    {'R', "dereference-recursive", no_argument, nullptr, "Likewise, following all symlinks"},
    {'g', "glob", required_argument, "GLOB",
     "Search only files that match GLOB; !GLOB skips what it matches"},
    {'t', "type", required_argument, "TYPE", "Search only files of TYPE (see --type-list)"},
    {kTypeNot, "type-not", required_argument, "TYPE", "Skip files of TYPE"},
    {kTypeList, "type-list", no_argument, nullptr, "List the file types and exit"},
    {kInclude, "include", required_argument, "GLOB", "Search only files whose name matches GLOB"},
    {kExclude, "exclude", required_argument, "GLOB", "Skip files whose name matches GLOB"},
    {kExcludeDir, "exclude-dir", required_argument, "GLOB", "Skip directories that match GLOB"},
    {kMaxDepth, "max-depth", required_argument, "NUM", "Go at most NUM directories down"},
    {kNoIgnore, "no-ignore", no_argument, nullptr,
     "Search what .gitignore and .ignore leave out, and .git"},
    {'a', "text", no_argument, nullptr, "Search binary files as if they were text"},
    {'z', "null-data", no_argument, nullptr, "Lines of input and output end with NUL, not LF"},
    {kLatin1, "latin1", no_argument, nullptr, "Read input as Latin-1, not UTF-8"},
    {kWhole, "whole", no_argument, nullptr, "Each file is one subject, line breaks included"},
    {kCrlf, "crlf", no_argument, nullptr, "With --whole: read a lone LF as CR LF"},
    {'j', "threads", required_argument, "NUM",
     "Search NUM files, or pieces of a large file, at once (default: one per core)"},
    {0, nullptr, 0, nullptr, "Limits (see Limits below):"},
    {kHostLimits, "host-limits", no_argument, nullptr,
     "Search with the engine's own limits, as a host does"},
    {kDepth, "depth", required_argument, "NUM", "Let a search go NUM levels deep"},
    {kLongLines, "long-lines", no_argument, nullptr,
     "Search lines of up to 4,294,967,295 characters"},
    {kMaxSteps, "max-steps", required_argument, "NUM",
     "Let the search of a line take NUM steps (0: no budget)"},
    {0, nullptr, 0, nullptr, "Other:"},
    {kHost, "host", no_argument, nullptr, "Answer engine calls from standard input"},
    {kHelp, "help", no_argument, nullptr, "Print this help and exit"},
    {'V', "version", no_argument, nullptr, "Print the version and exit"},
};

constexpr std::string_view kAbout =
    "Search each FILE for the lines that match PATTERN, a Quarn regular expression, as grep "
    "does; or drive the engine through the host protocol (--host).";

struct Section {
  std::string_view title;
  std::string_view text;
};

constexpr Section kSections[] = {
    {"The pattern language",
     R"(Quarn's dialect reads most patterns as other engines do, with these meanings:

- "." matches any character except either one of a CR LF pair (with -S, any). A line is searched without its line break, so in a line "." matches every character.

- \w matches a-z, A-Z, 0-9, "_" and the two characters U+0080 and U+00FF (not other accented letters); \d matches 0-9; \s matches space, TAB, CR, LF and the pair CR LF; \W, \D and \S match the rest.

- \n matches the two characters CR LF, the engine's one line break; \t, \r, \f, \a and \e are TAB, CR, form feed, BEL and ESC; \xHH, \0OOO and \cX give a character by its code.

- "^" and "$" match at the start and end of the subject (with -M also beside an inner CR LF); \A and \Z only there; \b and \B at and away from a boundary of \w characters.

- \Q...\E quotes: everything between is literal (-F quotes a whole pattern).

- *, +, ?, {n}, {n,}, {n,m}, each lazy with a "?" after it; "|" alternation; (...) groups, numbered from 1; (?:...) groups without a number; (?=...) and (?!...) lookahead; (?#...) comments; \1 to \9 back references.

- There is no lookbehind and there are no named groups, no \p{...} classes and no [[:alpha:]] classes: such constructs are read character by character ("\z" is the letter "z", "[[:alpha:]]" matches "a]"), and a backslash at the end of a pattern stands for itself. quarn warns about them (see Pattern checks).)"},
    {"Pattern checks",
     R"(Before any file is read, each pattern is read whole by the engine. A fault that a search could meet anywhere in it (an invalid range, a count whose upper limit is below its lower one, a group that is never closed, a back reference to a group that does not exist) is reported in the engine's words with its place, and the run ends with status 2. Constructs that other dialects read differently (\p{...}, \P, \z, \G, \K, \h, \R, [[:alpha:]], a count of letters such as {abc}, a backslash at the end, a repetition of something that can match nothing) are warned about once, with their place, and the search goes on; --no-warnings silences these warnings.

--check does only this: it reports the faults and warnings of each pattern on standard output and exits with 2 when there is a fault, 0 otherwise. --explain prints for each pattern, one a line, a JSON document of how the engine reads it: its diagnostics, the tree of its parts (each with its kind, its place in UTF-16 units and UTF-8 bytes and a description in plain words) and the facts every match satisfies. Both take PATTERN (or -e, -f) and the pattern options (-i, -S, -M, -F; for --check also -w, -x), and no FILE.)"},
    {"Subjects",
     R"(Each line of each FILE is one subject, its LF or CR LF terminator removed (with -z, its NUL); with no FILE, or for FILE "-", standard input is read (with -r, the working directory). An empty FILE name is no file. Input is UTF-8 (--latin1: one byte, one character). A byte that is not UTF-8 is searched as a character of its own, which only "." and negated classes match, and written back as read; such a file is noted once. A file holding a NUL byte is binary: a match in it prints "binary file matches" on standard error instead of lines, unless -a or -z is given. PATTERN is UTF-8; a PATTERN or -e value holding line breaks gives one pattern a line, and an empty line of a -f file matches every line. --smart-case ignores case only for patterns without an upper-case letter (the letter of an escape such as \W does not count).

Quarn's line break is CR LF: with --whole each file is one subject, line breaks included, so that "^", "$", "\n" and -M act across lines; --crlf presents each lone LF of the input as CR LF.)"},
    {"Output",
     R"(A selected line is printed whole, with its line terminator as read, after its file name, line number (-n), column (--column) and byte offset (-b), in this order. -o, --color, --groups, --replace and --json show every match in the line, as grep does: after a match the search goes on where it ended (one character later after an empty one). With several patterns (-e, -f), a line that any of them matches is selected once; its matches are, at each place, the leftmost match of any pattern (the one given first on a tie), then the search goes on after it.

-o prints each match on a line of its own (an empty match prints nothing). --groups prints after each match one line per subexpression: "Subexpr #" + n + ": " + its text (empty when it took no part). --replace prints the line with each match replaced by TEXT ("$$" is a "$"); with -o, each replacement alone. -w takes a match only where the characters around it are not \w ones (or are the ends of the subject), -x only a match of the whole subject. Columns and byte offsets count bytes, from 1 and from 0.

With -j, files are searched on several threads and the output is the same as with -j 1, file by file in the order given and walked; a file's output is written as soon as it is that file's turn, so that the memory used stays bounded. A large text file is searched in pieces of whole lines on several threads, unless context, -m, -q, --json, --stats or --whole ties its lines to the lines before.)"},
    {"JSON",
     R"(--json prints ripgrep's JSON Lines: for each file with a selected line, a "begin" record, a "match" record for each selected line and a "context" record for each line of context, and an "end" record with the file's statistics; after all files a "summary" record. A match record holds the line ("lines"), its number, its byte offset in the file and its submatches, each with its text and its byte offsets in the line; Quarn adds the subexpressions of each ("groups", null for one that took no part) and, with --replace, its replacement. Texts that are UTF-8 come as {"text":S}, others as {"bytes":S} in base64:

  {"type":"match","data":{"path":{"text":"a.txt"},"lines":{"text":"id=7\n"},
   "line_number":3,"absolute_offset":20,"submatches":[{"match":{"text":"id=7"},
   "start":0,"end":4,"groups":[{"match":{"text":"7"},"start":3,"end":4}]}]}})"},
    {"Recursive search",
     R"(-r searches every file below each directory, devices and pipes aside, in byte order of their names, without following symbolic links met on the way (-R follows them). The .gitignore files of a git repository, .ignore files anywhere and .git/info/exclude say which files and directories are left out, those of the directories above an operand included, and the .git directory itself is never searched; --no-ignore searches everything. --glob matches the path as printed (a glob without a "/" matches a file's name), the last --glob that matches decides, and when some --glob is not negated only files that one matches are searched. --type uses the globs of --type-list. --include, --exclude and --exclude-dir filter as in grep. A file named on the command line is searched whatever the globs, types and ignore files say.)"},
    {"Limits",
     R"(By default each line may be as long as a quarter of the machine's memory holds (each character takes its bytes and a 16-bit unit), and its search may go as deep as a quarter of the memory holds (each level of the matcher takes up to 64 bytes). A search may take 100,000,000 steps, and as many again for every 100,000 characters of a longer line, so that a search that runs away (nested repetitions that backtrack without end) ends after about a second; --max-steps=NUM changes the budget (0: none).

--host-limits searches as a host of the engine does: a line of more than 32,765 characters (UTF-16 code units) cannot be searched, a search may go 1000 levels deep, so that a repeated atom can take about 499 characters (a repeated group fewer), and there is no step budget. Use it to check what a program that calls the engine would find; use the defaults to search. --depth=NUM and --long-lines (4,294,967,295 characters) raise either limit on their own.

A line whose search meets a limit is searched as far as it can be: the matches found before the limit count, and a line with one is selected. A line with none is neither selected nor passed over (-L does not list its file); each file names once the limit its lines met and the first of them, and the exit status is 2.)"},
    {"Errors and exit status",
     R"(Every message begins "quarn: ". A fault of a pattern is reported before any file is read (see Pattern checks); a search can still meet one only in a pattern too large to be read whole (a warning says so): it is then reported once per file with the first line that met it, that line is neither selected nor passed over, the search goes on, and the exit status is 2. A file that cannot be read is reported (except with -s) and the others are still searched. Exit status: 0 if a line was selected, 1 if none was, 2 if an error occurred; with -q, 0 as soon as a line is selected.)"},
    {"Examples",
     R"(  quarn -n 'colou?r' notes.txt
  quarn -r -w -t cpp 'Quarn\w*' src
  quarn -o -i '\b\w+@\w+\.com\b' contacts.txt
  quarn -C 2 -e TODO -e FIXME main.cpp
  quarn -F -r --glob '*.md' 'a.b(c)' docs
  quarn --replace '$3.$2.$1' '(\d{4})-(\d\d)-(\d\d)' journal.txt
  quarn --whole --crlf -M '^Subject: (.*)$' message.txt
  quarn --json 'id=(\d+)' records.txt)"},
    {"Host protocol (--host)",
     R"(Reads calls of the engine's public functions as JSON Lines (UTF-8) from standard input, one a line, and answers each with one line on standard output, in order, flushed:

  {"call":"Quarn","text":S,"pattern":S,"flags":N}
      -> {"result":true|false,"reports":[S...]}
  {"call":"QuarnResult","type":N}
      -> {"result":null|N|S,"reports":[S...]}
  {"call":"QuarnIndex","type":N,"start":N,"length":N}
      -> {"start":N,"length":N,"reports":[S...]}

flags, start and length default to 0. Texts are UTF-16 code units (so an answer may hold a lone surrogate, written as \uXXXX). "reports" lists every engine report of the call, "Error #" + number + ": " + description. The match state lasts for the whole run. A line that is not one of these calls gets {"error":S} and changes nothing; a blank line gets no answer. Example:

  printf '%s\n' '{"call":"Quarn","text":"abc","pattern":"b"}' \
                '{"call":"QuarnIndex","type":-3}' | quarn --host)"},
};

enum class Kind { Prose, Item, Literal };

struct Paragraph {
  Kind kind;
  std::string_view text;  // an item without its "- "
};

std::vector<Paragraph> Paragraphs(std::string_view text) {
  std::vector<Paragraph> paragraphs;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find("\n\n", start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view paragraph = text.substr(start, end - start);
    if (paragraph.starts_with("  ")) {
      paragraphs.push_back({Kind::Literal, paragraph});
    } else if (paragraph.starts_with("- ")) {
      paragraphs.push_back({Kind::Item, paragraph.substr(2)});
    } else {
      paragraphs.push_back({Kind::Prose, paragraph});
    }
    start = end + 2;
  }
  return paragraphs;
}

// text reflowed to lines of at most width columns, the first after first, the others after
// rest.
std::string Wrapped(std::string_view text, std::string_view first, std::string_view rest,
                    size_t width = 79) {
  std::string out(first);
  size_t column = first.size();
  bool lineEmpty = true;
  for (size_t start = 0; start < text.size();) {
    while (start < text.size() && (text[start] == ' ' || text[start] == '\n'))
      ++start;
    if (start == text.size()) break;
    size_t end = start;
    while (end < text.size() && text[end] != ' ' && text[end] != '\n')
      ++end;
    const std::string_view word = text.substr(start, end - start);
    if (!lineEmpty && column + 1 + word.size() > width) {
      out += '\n';
      out += rest;
      column = rest.size();
      lineEmpty = true;
    }
    if (!lineEmpty) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    lineEmpty = false;
    start = end;
  }
  return out + '\n';
}

// The option as the help shows it: "-e, --regexp=PATTERN" or "--json".
std::string Spelling(const OptionEntry& entry) {
  std::string spelling =
      entry.id < 256 ? std::string("-") + static_cast<char>(entry.id) + ", " : std::string();
  spelling.append("--").append(entry.name);
  if (entry.argument == required_argument) spelling.append("=").append(entry.value);
  if (entry.argument == optional_argument) spelling.append("[=").append(entry.value).append("]");
  return spelling;
}

// Text for roff: backslashes and hyphens escaped, and no line that begins with a control
// character.
std::string Roff(std::string_view text) {
  std::string out;
  bool lineStart = true;
  for (const char c : text) {
    if (lineStart && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
    lineStart = c == '\n';
  }
  return out;
}

// A roff paragraph's text on one line (roff fills it).
std::string Joined(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '\n') c = ' ';
  }
  return out;
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::span<const OptionEntry> OptionTable() {
  return kOptionTable;
}

std::string HelpText() {
  std::string help = "Usage: ";
  help.append(kUsage).append("\n").append(Wrapped(kAbout, "", ""));
  for (const OptionEntry& entry : kOptionTable) {
    if (!entry.help) continue;
    if (entry.id == 0) {
      help.append("\n").append(entry.help).append("\n");
      continue;
    }
    // The option, and its help from column 30 (on a line of its own after a long option).
    constexpr size_t kColumn = 30;
    std::string line(entry.id < 256 ? 2 : 6, ' ');
    line += Spelling(entry);
    if (line.size() >= kColumn) {
      help += line + "\n";
      line.clear();
    }
    line.append(kColumn - line.size(), ' ');
    help += Wrapped(entry.help, line, std::string(kColumn, ' '));
  }
  for (const Section& section : kSections) {
    help.append("\n").append(section.title).append(":\n");
    bool first = true;
    for (const Paragraph& paragraph : Paragraphs(section.text)) {
      if (!first && paragraph.kind != Kind::Item) help += "\n";
      first = false;
      switch (paragraph.kind) {
        case Kind::Prose:
          help += Wrapped(paragraph.text, "  ", "  ");
          break;
        case Kind::Item:
          help += Wrapped(paragraph.text, "  - ", "    ");
          break;
        case Kind::Literal:
          help += std::string(paragraph.text) + "\n";
          break;
      }
    }
  }
  return help;
}

std::string ManPage(std::string_view version) {
  std::string page = ".TH QUARN 1 \"\" \"quarn " + std::string(version) +
                     "\" \"User Commands\"\n"
                     ".SH NAME\n"
                     "quarn \\- search files for lines that match a Quarn regular expression\n"
                     ".SH SYNOPSIS\n.B quarn\n" +
                     Roff("[OPTION]... PATTERN [FILE]...") +
                     "\n.br\n.B quarn \\-\\-host\n"
                     ".SH DESCRIPTION\n" +
                     Roff(kAbout) + "\n.SH OPTIONS\n";
  for (const OptionEntry& entry : kOptionTable) {
    if (!entry.help) continue;
    if (entry.id == 0) {
      std::string heading = entry.help;
      if (heading.ends_with(':')) heading.pop_back();
      page.append(".SS ").append(Roff(heading)).append("\n");
      continue;
    }
    page.append(".TP\n.B ").append(Roff(Spelling(entry))).append("\n");
    page.append(Roff(entry.help)).append("\n");
  }
  for (const Section& section : kSections) {
    page.append(".SH ").append(Roff(Upper(section.title))).append("\n");
    for (const Paragraph& paragraph : Paragraphs(section.text)) {
      switch (paragraph.kind) {
        case Kind::Prose:
          page.append(".PP\n").append(Roff(Joined(paragraph.text))).append("\n");
          break;
        case Kind::Item:
          page.append(".IP \\(bu 2\n").append(Roff(Joined(paragraph.text))).append("\n");
          break;
        case Kind::Literal:
          page.append(".PP\n.nf\n").append(Roff(paragraph.text)).append("\n.fi\n");
          break;
      }
    }
  }
  return page;
}

}  // namespace quarn::cli
