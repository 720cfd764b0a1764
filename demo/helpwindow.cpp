// The help text lives in help.html, compiled into the program as a Qt resource. Its escape
// tables are written here from the list in escapes.h, which the tests check against the
// engine.
#include "helpwindow.h"

#include <QFile>
#include <QKeyEvent>
#include <QMargins>
#include <QScreen>
#include <QStringList>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>
#include <span>

#include "enginetext.h"
#include "escapes.h"

using quarn::demo::ToQString;

namespace {

QString Html(std::u16string_view text) {
  return ToQString(text).toHtmlEscaped();
}

// The usual name of a character that does not show, or the character itself; empty for the
// rest.
QString Name(char16_t c) {
  switch (c) {
    case 0:
      return QStringLiteral("NUL");
    case 7:
      return QStringLiteral("BEL");
    case 8:
      return QStringLiteral("BS");
    case 9:
      return QStringLiteral("TAB");
    case 10:
      return QStringLiteral("LF");
    case 12:
      return QStringLiteral("FF");
    case 13:
      return QStringLiteral("CR");
    case 27:
      return QStringLiteral("ESC");
    case 32:
      return QStringLiteral("space");
    default:
      break;
  }
  if (c > 32 && c < 127) return QString(QChar(c)).toHtmlEscaped();
  return {};
}

// A character in a list of members: by its name, else by its Unicode number.
QString Member(char16_t c) {
  const QString name = Name(c);
  if (!name.isEmpty()) return name;
  return QStringLiteral("U+") + QStringLiteral("%1").arg(int{c}, 4, 16, QLatin1Char('0')).toUpper();
}

// "a, b, c or d"
QString Join(const QStringList& parts, const QString& last) {
  if (parts.size() < 2) return parts.join(QString());
  return parts.first(parts.size() - 1).join(QStringLiteral(", ")) + u' ' + last + u' ' +
         parts.last();
}

// What the escape matches, in the help's words.
QString Describe(const quarn::demo::Escape& escape) {
  const std::u16string_view ranges = escape.ranges;
  if (ranges.size() == 2 && ranges[0] == ranges[1] && escape.text.empty() && !escape.complement) {
    const QString code = QStringLiteral("code %1").arg(int{ranges[0]});
    const QString name = Name(ranges[0]);
    return name.isEmpty() ? code : code + QStringLiteral(" (") + name + u')';
  }
  QStringList parts;
  for (size_t i = 0; i + 1 < ranges.size(); i += 2) {
    parts << (ranges[i] == ranges[i + 1]
                  ? Member(ranges[i])
                  : Member(ranges[i]) + QStringLiteral(" to ") + Member(ranges[i + 1]));
  }
  if (escape.text == quarn::demo::kLineBreak) {
    parts << QStringLiteral("the pair CR LF");
  } else if (!escape.text.empty()) {
    parts << QStringLiteral("the text \"") + Html(escape.text) + u'"';
  }
  if (escape.complement) {
    return QStringLiteral("any character but ") + Join(parts, QStringLiteral("and"));
  }
  return Join(parts, QStringLiteral("or"));
}

QString Code(std::u16string_view written) {
  return QStringLiteral("<code>") + Html(written) + QStringLiteral("</code>");
}

QString TableRows(std::span<const quarn::demo::EscapeRow> rows) {
  QString html;
  for (const quarn::demo::EscapeRow& row : rows) {
    QString form;
    QString meaning = ToQString(row.meaning);
    if (row.form.empty()) {
      const quarn::demo::Escape& escape = row.shown.front();
      form = Code(escape.written);
      if (!meaning.isEmpty()) meaning += QStringLiteral(": ");
      meaning += Describe(escape);
    } else {
      form = ToQString(row.form);
      QStringList examples;
      for (const quarn::demo::Escape& escape : row.shown) {
        if (!escape.written.empty())
          examples << Code(escape.written) + QStringLiteral(" matches ") + Describe(escape);
      }
      meaning += QStringLiteral(": ") + examples.join(QStringLiteral(", "));
    }
    html += QStringLiteral("<tr><td>") + form + QStringLiteral("</td><td>") + meaning +
            QStringLiteral("</td></tr>\n");
  }
  return html;
}

}  // namespace

QString HelpHtml() {
  QFile file(QStringLiteral(":/help/help.html"));
  file.open(QIODevice::ReadOnly);
  return QString::fromUtf8(file.readAll())
      .replace(QStringLiteral("<!-- escapes: characters -->"),
               TableRows(quarn::demo::kCharacterEscapes))
      .replace(QStringLiteral("<!-- escapes: classes -->"), TableRows(quarn::demo::kClassEscapes))
      .replace(QStringLiteral("<!-- escapes: brackets -->"),
               TableRows(quarn::demo::kBracketEscapes));
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
