// The native engine's answers to cases given as JSON Lines on standard input, one answer per
// line on standard output, for the JavaScript package's differential test to compare with its
// own. Texts travel as arrays of UTF-16 code units, so that lone surrogates (which JSON text
// cannot carry) pass as they are.
//
//   in:  {"pattern":[...],"text":[...],"flags":0,"replacement":[...],"start":0,"depth":1000,
//         "subjectLength":32766,"steps":0}              (the last four may be left out)
//   out: {"compile":ERROR|null,"search":SPANS|ERROR|null,"match":...,"fullMatch":...,
//         "all":{"matches":[SPANS...],"error":ERROR|null},"replace":{"text":[...],"count":N}|ERROR,
//         "split":[[...]...]|ERROR,"analysis":ANALYSIS}
//
// search, match, fullMatch and all begin at start; replace and split read the whole text.
// ANALYSIS is the engine's document of the pattern (Pattern::explainJson).
//
// SPANS is [start, end, ...] for the match and each group (-1, -1 for a group that took no
// part); ERROR is {"error":{"number":N,"kind":K,"description":[...],"position":N|null}}, K the
// engine's name of the kind. A pattern that does not compile answers only "compile" and
// "analysis".
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "quarn/pattern.h"

namespace {

using nlohmann::json;

std::u16string FromUnits(const json& j) {
  std::u16string text;
  for (const json& unit : j)
    text += static_cast<char16_t>(unit.get<uint32_t>());
  return text;
}

json ToUnits(std::u16string_view text) {
  json units = json::array();
  for (const char16_t unit : text)
    units.push_back(static_cast<uint32_t>(unit));
  return units;
}

json Error(const quarn::Error& e) {
  return {{"error",
           {{"number", e.number},
            {"kind", std::string(quarn::ErrorKindName(e.kind))},
            {"description", ToUnits(e.description)},
            {"position", e.position ? json(*e.position) : json(nullptr)}}}};
}

json Spans(const quarn::Match& m) {
  json spans = json::array();
  for (int n = 0; n <= m.groupCount(); ++n) {
    const auto& s = m.span(n);
    spans.push_back(s ? static_cast<int64_t>(s->start) : -1);
    spans.push_back(s ? static_cast<int64_t>(s->end) : -1);
  }
  return spans;
}

json Found(const quarn::SearchResult& found) {
  return found.error() ? Error(*found.error()) : found ? Spans(found.match()) : json();
}

json Answer(const json& c) {
  const quarn::Pattern pattern(FromUnits(c.at("pattern")), c.value("flags", 0));
  const json analysis = json::parse(pattern.explainJson());
  if (pattern.error()) return {{"compile", Error(*pattern.error())}, {"analysis", analysis}};
  quarn::Limits limits;
  limits.depth = c.value("depth", limits.depth);
  limits.subjectLength = c.value("subjectLength", limits.subjectLength);
  limits.steps = c.value("steps", limits.steps);
  const std::u16string text = FromUnits(c.at("text"));
  const size_t start = c.value("start", size_t{0});
  json answer = {{"compile", nullptr}, {"analysis", analysis}};
  answer["search"] = Found(pattern.search(text, start, limits));
  answer["match"] = Found(pattern.match(text, start, limits));
  answer["fullMatch"] = Found(pattern.fullMatch(text, start, limits));

  json all = json::array();
  quarn::Matches matches = pattern.matches(quarn::Text(text), start, limits);
  for (const quarn::Match& m : matches)
    all.push_back(Spans(m));
  answer["all"] = {{"matches", all},
                   {"error", matches.error() ? Error(*matches.error())["error"] : json()}};

  const quarn::Replaced replaced = pattern.replace(text, FromUnits(c.at("replacement")), 0, limits);
  answer["replace"] = replaced.error
                          ? Error(*replaced.error)
                          : json{{"text", ToUnits(replaced.text)}, {"count", replaced.count}};

  const quarn::Split split = pattern.split(text, 0, limits);
  json pieces = json::array();
  for (const std::u16string& piece : split.pieces)
    pieces.push_back(ToUnits(piece));
  answer["split"] = split.error ? Error(*split.error) : pieces;
  return answer;
}

}  // namespace

int main() {
  for (std::string line; std::getline(std::cin, line);) {
    if (!line.empty()) std::cout << Answer(json::parse(line)).dump() << '\n';
  }
  return 0;
}
