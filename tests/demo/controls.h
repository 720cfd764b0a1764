// Finding a window's controls by object name in the workbench's Qt tests: a missing control
// ends the test at once with its name, rather than failing later on a null pointer.
#pragma once

#include <QString>
#include <QWidget>

namespace quarn::demo::testing {

template <typename T>
T* Control(QWidget& window, const char* name) {
  T* control = window.findChild<T*>(QString::fromLatin1(name));
  if (control == nullptr) qFatal("The window has no control %s", name);
  return control;
}

}  // namespace quarn::demo::testing
