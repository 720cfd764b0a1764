// quarn-demo's command line. The program's own switches open the workbench; every other
// argument, joined into one text, is the demo window's command line ("/debug" skips its
// farewell), as it always was.
//
//   --workbench          open the workbench alone instead of the demo window
//   --example CAPTION    load that example into the workbench
//   --cases FILE         load that test case file into the workbench
//   --screenshot FILE    save the workbench as a PNG image once its results show, and quit
//
// Each of the last three implies --workbench.
#pragma once

#include <QString>
#include <QStringList>

struct Launch {
  bool workbench = false;
  QString example;
  QString cases;
  QString screenshot;
  QString formCommandLine;
  QString error;  // a switch without its value
};

Launch ParseLaunch(const QStringList& arguments);
