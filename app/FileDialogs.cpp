#include "FileDialogs.h"

#include "Dialogs.h"
#include "core/FileNames.h"

namespace ostrel {

QString withDefaultExt(const QString& path, const QString& ext) {
  return QString::fromStdString(WithDefaultExtension(path.toStdString(), ext.toStdString()));
}

bool TSaveDialog::Execute(Dialogs& dialogs) {
  QString f = dialogs.saveFile(InitialDir, FileName, Filter, DefaultExt);
  if (f.isEmpty()) return false;
  FileName = withDefaultExt(f, DefaultExt);
  return true;
}

bool TOpenDialog::Execute(Dialogs& dialogs) {
  QString f = dialogs.openFile(InitialDir, Filter);
  if (f.isEmpty()) return false;
  FileName = f;
  return true;
}

}  // namespace ostrel
