// quarn-demo's command line. The program's own switches open the workbench; every other
// argument, joined into one text, is the demo window's command line ("/debug" skips its
// farewell), as it always was.
//
//   --workbench          open the workbench alone instead of the demo window
//   --example CAPTION    load that example (its pattern and subject) into the workbench
//   --cases FILE         load that test case file (its pattern, options and cases)
//   --pattern PATTERN    search with that pattern
//   --subject FILE       search that file's text (UTF-8)
//   --replace TEXT       show what replacing every match with TEXT gives
//   --screenshot FILE    save the workbench as a PNG image once its results show, and quit
//
// Each of the last six implies --workbench. A pattern or subject may come from more than one
// of them only if they give the same one, so that what the window shows is what was asked.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class Workbench;

struct Launch {
  bool workbench = false;
  QString example;
  QString cases;
  std::optional<QString> pattern;  // an empty one is a pattern too
  QString subject;
  std::optional<QString> replacement;
  QString screenshot;
  QString formCommandLine;
  QString error;  // a switch without its value
};

Launch ParseLaunch(const QStringList& arguments);

// Loads what launch asks for into bench; an error says what could not be loaded or which
// switches disagree, and then nothing is loaded.
QString StartWorkbench(Workbench& bench, const Launch& launch);
