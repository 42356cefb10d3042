// The Help menu: the About box and the user manual.
#include <QFileInfo>
#include <QMessageBox>
#include <QtGlobal>

#include "OstrelVersion.h"
#include "TForm1.h"

namespace ostrel {

void TForm1::About1Click() {
  const QString text =
      QStringLiteral(
          "Ostrel %1\n"
          "Quorvel test configuration and read utility\n\n"
          "Running on Qt %2\n"
          "Licence: %3")
          .arg(QStringLiteral(OSTREL_VERSION), QString::fromLatin1(qVersion()), QStringLiteral(OSTREL_LICENSE));
  dialogs().message(QStringLiteral("About Ostrel"), text, QMessageBox::Information, QMessageBox::Ok);
}

void TForm1::Usermanual1Click() {
  const QString caption = QStringLiteral("User manual");
  if (!QFileInfo(userManualPath_).isFile()) {
    dialogs().message(caption,
                      QStringLiteral("The user manual is not installed; it belongs at %1").arg(userManualPath_),
                      QMessageBox::Warning, QMessageBox::Ok);
    return;
  }
  // Without a desktop viewer (no xdg-open, a bare server) the user is told
  // where the manual is, to open it in any web browser.
  if (!dialogs().openDocument(userManualPath_)) {
    dialogs().message(caption,
                      QStringLiteral("No viewer could be started for the user manual. "
                                     "Open it in a web browser: %1")
                          .arg(userManualPath_),
                      QMessageBox::Information, QMessageBox::Ok);
  }
}

}  // namespace ostrel
