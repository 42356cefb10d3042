#pragma once
// The window's two file dialogs as named objects: their filter, default
// extension and options are fixed here; Execute() asks the dialogs seam.
#include <QObject>
#include <QString>

namespace ostrel {

class Dialogs;

class TSaveDialog : public QObject {
  Q_OBJECT
 public:
  TSaveDialog(const QString& name, QObject* parent = nullptr) : QObject(parent) { setObjectName(name); }
  QString Filter = QStringLiteral("CSV files (*.csv)");
  QString DefaultExt = QStringLiteral("csv");
  bool OverwritePrompt = false;
  QString InitialDir;
  QString FileName;
  // True when the user chose a file; FileName then holds it, with DefaultExt
  // added when the typed name has no extension.
  bool Execute(Dialogs& dialogs);
};

class TOpenDialog : public QObject {
  Q_OBJECT
 public:
  TOpenDialog(const QString& name, QObject* parent = nullptr) : QObject(parent) { setObjectName(name); }
  QString Filter = QStringLiteral("CSV (*.csv)");
  QString DefaultExt;
  QString InitialDir;
  QString FileName;
  bool Execute(Dialogs& dialogs);
};

// "name.csv" stays, "name" becomes "name.csv"; a dot in a folder name does not count.
QString withDefaultExt(const QString& path, const QString& ext);

}  // namespace ostrel
