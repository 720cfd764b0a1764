// The help window that F1 opens: a tutorial and a reference of the pattern language and the
// options, built into the program so that no help file has to be installed next to it. Esc
// closes it.
#pragma once

#include <QString>
#include <QWidget>

// The whole help, its escape tables filled in from escapes.h.
QString HelpHtml();
// Its reference of the pattern language and the options alone, for a quick look.
QString ReferenceHtml();

class HelpWindow : public QWidget {
  Q_OBJECT

 public:
  explicit HelpWindow(QWidget* parent = nullptr);

  // Shows the window centred on owner's window, moved as little as it takes, and shrunk if
  // need be, to lie within the available area of owner's screen; an open one is only raised.
  void Open(const QWidget* owner);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};
