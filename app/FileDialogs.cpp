#include "FileDialogs.h"

#include "Dialogs.h"

namespace ostrel {

QString withDefaultExt(const QString& path, const QString& ext) {
  if (ext.isEmpty() || path.isEmpty()) return path;
  int slash = path.lastIndexOf(QLatin1Char('/'));
  QString base = path.mid(slash + 1);
  if (base.isEmpty() || base.contains(QLatin1Char('.'))) return path;
  return path + QLatin1Char('.') + ext;
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
