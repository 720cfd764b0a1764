// The patterns' notes come from the line matcher, so that --check says exactly what a search
// would say before reading a file; the explanation is the engine's own JSON.
#include "pattern_report.h"

#include <quarn/pattern.h>
#include <quarn/utf.h>

#include <string>

#include "sink.h"

namespace quarn::cli {

std::optional<MatchSettings> PatternSettings(const Options& options, Messages& messages) {
  MatchSettings settings;
  for (size_t i = 0; i < options.patterns.size(); ++i) {
    size_t offset = 0;
    std::u16string& pattern = settings.patterns.emplace_back();
    if (!Utf8ToUtf16(options.patterns[i], pattern, &offset)) {
      const std::string which =
          options.patterns.size() == 1 ? "the pattern" : "pattern " + std::to_string(i + 1);
      messages.Say(which + " is not valid UTF-8 (byte " + std::to_string(offset + 1) + ")");
      return std::nullopt;
    }
  }
  settings.flags = options.flags;
  if (options.wordRegexp) settings.anchoring = Anchoring::Word;
  if (options.lineRegexp) settings.anchoring = Anchoring::Whole;
  return settings;
}

bool SayPatternNotes(Messages& messages, const Options& options,
                     const std::vector<PatternNote>& notes) {
  bool fault = false;
  for (const PatternNote& note : notes) {
    if (!note.fault && !options.warnings) continue;
    fault |= note.fault;
    messages.Say(note.fault ? note.report : "warning: " + note.report);
    messages.ShowPatternPosition(options.patterns[note.pattern], note.position);
  }
  return fault;
}

int RunCheck(const Options& options, std::FILE* out, std::FILE* err) {
  Sink sink(out, err);
  Messages messages(sink);
  const std::optional<MatchSettings> settings = PatternSettings(options, messages);
  if (!settings) return 2;
  Sink report(out, out);  // the notes are what was asked for
  Messages notes(report);
  return SayPatternNotes(notes, options, MakeLineMatcher(*settings)->Notes()) ? 2 : 0;
}

int RunExplain(const Options& options, std::FILE* out, std::FILE* err) {
  Sink sink(out, err);
  Messages messages(sink);
  const std::optional<MatchSettings> settings = PatternSettings(options, messages);
  if (!settings) return 2;
  for (const std::u16string& pattern : settings->patterns)
    sink.Out(Pattern(pattern, settings->flags).explainJson() + "\n");
  return 0;
}

}  // namespace quarn::cli
