// Atom matching: whether one atom (an anchor, ".", a literal, or a backslash escape) matches
// at the current position, and how many characters it consumes.
//
// An atom looks only at the characters it consumes and at the characters just before the
// current position, which it reads from the stored subject: the remaining subject is always
// a suffix of it. The one line break is CR LF; a lone CR or LF is an ordinary character.
#include "reference_internal.h"

namespace quarn::reference {

namespace {

bool IgnoreCase() {
  return (State.Options & reIgnoreCase) != 0;
}

// Equal texts, compared by code, both lower-cased under reIgnoreCase.
bool SameText(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  if (!IgnoreCase()) return a == b;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerCase(a[i]) != LowerCase(b[i])) return false;
  }
  return true;
}

bool IsAtTextStart(std::u16string_view remaining) {
  return remaining.size() == State.SubjectText.size();
}

// The count characters just before the current position, or "" when fewer precede it.
std::u16string_view GetTextBefore(std::u16string_view remaining, uint8_t count) {
  const size_t consumed = State.SubjectText.size() - remaining.size();
  if (consumed == 0 || consumed < count) return {};
  return std::u16string_view(State.SubjectText).substr(consumed - count, count);
}

std::u16string_view GetSubExprText(int n) {
  const SubexpressionRecord& record = State.Subexpressions[n];
  const int32_t length = record.EndPos - record.StartPos + 1;
  if (record.StartPos < 1 || length <= 0) return {};
  return std::u16string_view(State.SubjectText).substr(record.StartPos - 1, length);
}

bool MatchDot(std::u16string_view remaining) {
  if (remaining.empty()) return false;
  if (State.Options & reSingleLine) return true;
  // Neither character of a CR LF pair is matched, wherever the match starts.
  if (remaining.starts_with(kLineBreak)) return false;
  return !(remaining[0] == u'\n' && GetTextBefore(remaining, 1) == u"\r");
}

// Consumes the text that group n captured, if the subject continues with it.
bool MatchBackReference(std::u16string_view& remaining, std::u16string_view atom) {
  const int n = atom[1] - u'0';
  if (n > State.SubexpressionCount) {
    RaiseEngineError(u"Not so many sub-expressions in this regular expression: " +
                         std::u16string(atom.substr(0, 2)),
                     errSyntax, u"MatchAtom");
  }
  if (!State.Subexpressions[n].Complete) return false;
  const std::u16string_view captured = GetSubExprText(n);
  if (remaining.size() < captured.size()) return false;
  if (!SameText(remaining.substr(0, captured.size()), captured)) return false;
  remaining.remove_prefix(captured.size());
  return true;
}

// Word characters are the "\w" class of escape expansion, so "\b" agrees with "\w" and "\W".
bool InClass(std::u16string_view character, std::u16string_view bracketText) {
  return MatchSquareBrackets(character, bracketText);
}

bool IsWordBoundary(std::u16string_view remaining) {
  static const std::u16string word = ExpandEspaces(u"\\w");
  static const std::u16string nonWord = ExpandEspaces(u"\\W");
  const std::u16string_view before = GetTextBefore(remaining, 1);
  if (InClass(remaining.substr(0, 1), word)) {
    return IsAtTextStart(remaining) || InClass(before, nonWord);
  }
  return InClass(before, word);
}

}  // namespace

bool MatchAtom(std::u16string_view& remaining, std::u16string_view atom) {
  const std::u16string_view c = remaining.substr(0, 1);
  size_t consumed = 1;
  bool matched;
  if (atom == u"^") {
    matched = IsAtTextStart(remaining) ||
              ((State.Options & reMultiline) && GetTextBefore(remaining, 2) == kLineBreak);
    consumed = 0;
  } else if (atom == u"$") {
    matched = c.empty() || ((State.Options & reMultiline) ? remaining.starts_with(kLineBreak)
                                                          : remaining == kLineBreak);
    consumed = 0;
  } else if (atom == u".") {
    matched = MatchDot(remaining);
  } else if (atom.starts_with(u'\\')) {
    switch (atom.size() > 1 ? atom[1] : u'\0') {
      case u'1':
      case u'2':
      case u'3':
      case u'4':
      case u'5':
      case u'6':
      case u'7':
      case u'8':
      case u'9':
        return MatchBackReference(remaining, atom);
      case u'A':
        matched = IsAtTextStart(remaining);
        consumed = 0;
        break;
      case u'Z':
        matched = c.empty() || remaining == kLineBreak;
        consumed = 0;
        break;
      case u'n':
        matched = remaining.starts_with(kLineBreak);
        consumed = 2;
        break;
      case u'b':
        matched = IsWordBoundary(remaining);
        consumed = 0;
        break;
      case u'B':
        matched = !IsWordBoundary(remaining);
        consumed = 0;
        break;
      default:
        // An escaped literal; a lone backslash stands for "" and so matches only at the end.
        matched = SameText(c, atom.substr(1, 1));
    }
  } else {
    matched = SameText(c, atom);
  }
  if (matched) remaining.remove_prefix(std::min(consumed, remaining.size()));
  return matched;
}

}  // namespace quarn::reference
