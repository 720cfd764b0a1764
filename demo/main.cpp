// quarn-demo: opens the demo window and runs until it is closed. The program's arguments,
// joined into one text, are the window's command line ("/debug" skips the farewell); the
// switches of launch.h open the pattern workbench instead.
#include <QApplication>
#include <QPixmap>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <memory>

#include "form1.h"
#include "launch.h"
#include "workbench.h"

namespace {

void Fail(const QString& message) {
  std::fprintf(stderr, "quarn-demo: %s\n", qPrintable(message));
}

// Saves bench as a PNG image to fileName once the outcome of its input shows, then quits
// with status 0 (1 if the image cannot be written).
void ScreenshotWhenShown(Workbench& bench, const QString& fileName) {
  QObject::connect(&bench, &Workbench::resultsShown, &bench, [&bench, fileName] {
    // A turn of the event loop lets the window lay out and paint what was just shown.
    QTimer::singleShot(0, &bench, [&bench, fileName] {
      const bool saved = bench.grab().save(fileName, "PNG");
      if (!saved) Fail(QStringLiteral("cannot write %1").arg(fileName));
      QApplication::exit(saved ? 0 : 1);
    });
  });
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quarn Demo"));
  const Launch launch = ParseLaunch(QApplication::arguments().mid(1));
  if (!launch.error.isEmpty()) {
    Fail(launch.error);
    return 2;
  }
  if (!launch.workbench) {
    Form1 form(launch.formCommandLine);
    form.show();
    return QApplication::exec();
  }

  Workbench bench;
  const QString error = StartWorkbench(bench, launch);
  if (!error.isEmpty()) {
    Fail(error);
    return 2;
  }
  if (!launch.screenshot.isEmpty()) ScreenshotWhenShown(bench, launch.screenshot);
  bench.show();
  return QApplication::exec();
}
