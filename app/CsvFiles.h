#pragma once
// The tables' CSV files: the save and open dialogs, the folder they start in,
// and the hidden staging text that holds a file's lines while it is saved or
// loaded. The panel scan page saves and loads its device table through it,
// the Modbus page exports its register table.
#include <QString>
#include <optional>

#include "core/Csv.h"

class QObject;
class QPlainTextEdit;
class QWidget;

namespace ostrel {

class TOpenDialog;
class TSaveDialog;
class TStringGrid;
class WindowHost;

class CsvFiles {
 public:
  // dialogOwner: the dialogs' parent.
  CsvFiles(QObject* dialogOwner, WindowHost& host);
  // Makes the staging text, hidden, on the page after its other controls.
  void placeStaging(QWidget* page);

  // The dialogs' folder, with a trailing separator.
  const QString& dataDir() const { return dataDir_; }
  void setDataDir(const QString& dir) { dataDir_ = dir; }

  // Writes the grid's data rows (1 .. RowCount-2) to the file the user
  // confirms in the save dialog; the staging text receives the file's lines first.
  void save(const TStringGrid& grid, const QString& suggestedName);
  // The file the user picks in the open dialog; nothing when none is picked.
  std::optional<QString> chooseToLoad();
  // Reads a file into the grid from row 1 on; the staging text receives its text.
  void load(const QString& fileName, TStringGrid& grid);

 private:
  std::optional<QString> chooseToSave(const QString& suggestedName);
  // The grid's data rows, each also put into the staging text as "cell;cell;...;".
  CsvTable stageRows(const TStringGrid& grid);

  WindowHost& host_;
  QPlainTextEdit* Memo_export = nullptr;
  TSaveDialog* SaveDialog1 = nullptr;
  TOpenDialog* OpenDialog1 = nullptr;
  QString dataDir_;
};

}  // namespace ostrel
