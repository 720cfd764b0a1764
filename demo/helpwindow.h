// The help window that F1 opens: a tutorial and a reference of the pattern language and the
// options, built into the program so that no help file has to be installed next to it.
#pragma once

#include <QWidget>

class HelpWindow : public QWidget {
  Q_OBJECT

 public:
  explicit HelpWindow(QWidget* parent = nullptr);
};
