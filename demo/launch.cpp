#include "launch.h"

#include <array>
#include <utility>

Launch ParseLaunch(const QStringList& arguments) {
  Launch launch;
  QStringList rest;
  const std::array<std::pair<QString, QString Launch::*>, 3> valued{{
      {QStringLiteral("--example"), &Launch::example},
      {QStringLiteral("--cases"), &Launch::cases},
      {QStringLiteral("--screenshot"), &Launch::screenshot},
  }};
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == QLatin1String("--workbench")) {
      launch.workbench = true;
      continue;
    }
    bool taken = false;
    for (const auto& [name, member] : valued) {
      if (argument != name) continue;
      taken = true;
      launch.workbench = true;
      if (i + 1 == arguments.size()) {
        launch.error = QStringLiteral("%1 needs a value").arg(name);
      } else {
        launch.*member = arguments[++i];
      }
    }
    if (!taken) rest << argument;
  }
  launch.formCommandLine = rest.join(QLatin1Char(' '));
  return launch;
}
