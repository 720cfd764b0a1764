// quarn-demo: opens the demo window and runs until it is closed. The program's arguments,
// joined into one text, are the window's command line ("/debug" skips the farewell).
#include <QApplication>
#include <QStringList>

#include "form1.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quarn Demo"));
  Form1 form(QApplication::arguments().mid(1).join(QLatin1Char(' ')));
  form.show();
  return QApplication::exec();
}
