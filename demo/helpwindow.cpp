// The help text lives in help.html, compiled into the program as a Qt resource. Its escape
// tables are written by helptext.h from the list in escapes.h, which the tests check against
// the engine.
#include "helpwindow.h"

#include <QFile>
#include <QKeyEvent>
#include <QMargins>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>

#include "helptext.h"

QString HelpHtml() {
  QFile file(QStringLiteral(":/help/help.html"));
  file.open(QIODevice::ReadOnly);
  return QString::fromStdString(quarn::demo::HelpWithEscapes(file.readAll().toStdString()));
}

QString ReferenceHtml() {
  const QString help = HelpHtml();
  const qsizetype from = help.indexOf(QLatin1String("<h2 id=\"reference\">"));
  const qsizetype to = help.indexOf(QLatin1String("<h2 id=\"errors\">"), from);
  return QStringLiteral("<html><body>") + help.mid(from, to - from) +
         QStringLiteral("</body></html>");
}

namespace {

// The window frame around window, as far as the window system has told it.
QMargins FrameMargins(const QWidget* window) {
  const QRect outer = window->frameGeometry();
  const QRect inner = window->geometry();
  return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
          outer.bottom() - inner.bottom()};
}

// value brought into first to last; first when that range is empty.
int Clamp(int value, int first, int last) {
  return std::clamp(value, first, std::max(first, last));
}

}  // namespace

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("Help"));
  setWindowTitle(tr("Quarn Help"));
  auto* browser = new QTextBrowser(this);
  browser->setOpenExternalLinks(true);
  browser->setHtml(HelpHtml());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser);
  resize(640, 560);
}

void HelpWindow::keyPressEvent(QKeyEvent* event) {
  // As a dialog does: Esc that nothing inside took closes the window.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void HelpWindow::Open(const QWidget* owner) {
  if (!isVisible()) {
    const QWidget* ownerWindow = owner->window();
    const QRect available = ownerWindow->screen()->availableGeometry();
    // Before its first showing this window's frame is not known; the owner's is alike.
    const QMargins frame = FrameMargins(ownerWindow);
    resize(size().boundedTo(available.size().shrunkBy(frame)));
    QRect outer = QRect(QPoint(), size()).marginsAdded(frame);
    outer.moveCenter(ownerWindow->frameGeometry().center());
    outer.moveTo(Clamp(outer.left(), available.left(), available.right() + 1 - outer.width()),
                 Clamp(outer.top(), available.top(), available.bottom() + 1 - outer.height()));
    move(outer.topLeft());  // a window's position is that of its frame
    show();
  }
  raise();
  activateWindow();
}
