// The tables' CSV files. The file format and the file writes are the plain
// C++ helpers of core; this file joins them to the grids and the dialogs.
#include "CsvFiles.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QStringList>
#include <exception>
#include <string>
#include <vector>

#include "FileDialogs.h"
#include "TStringGrid.h"
#include "WindowHost.h"
#include "common/cp1251.h"
#include "core/Csv.h"
#include "core/FileIo.h"
#include "core/FileNames.h"

namespace ostrel {
namespace {

std::string fsPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The staging text shows the loaded lines, one per line of the text box.
QString stagingText(const std::vector<std::string>& lines) {
  QStringList text;
  text.reserve(static_cast<qsizetype>(lines.size()));
  for (const std::string& line : lines) text << QString::fromStdString(cp1251ToUtf8(line));
  return text.join(QLatin1Char('\n'));
}

}  // namespace

CsvFiles::CsvFiles(QObject* dialogOwner, WindowHost& host) : host_(host) {
  SaveDialog1 = new TSaveDialog(QStringLiteral("SaveDialog1"), dialogOwner);
  OpenDialog1 = new TOpenDialog(QStringLiteral("OpenDialog1"), dialogOwner);
}

void CsvFiles::placeStaging(QWidget* page) {
  Memo_export = new QPlainTextEdit(page);
  Memo_export->setObjectName(QStringLiteral("Memo_export"));
  Memo_export->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo_export->hide();
}

void CsvFiles::save(const TStringGrid& grid, const QString& suggestedName) {
  Memo_export->clear();
  const std::optional<QString> file = chooseToSave(suggestedName);
  if (!file) return;
  const CsvTable rows = stageRows(grid);
  // The new file goes beside the old one and replaces it only when it is
  // complete, so a failed save leaves an existing file as it was.
  if (!WriteFileAtomically(fsPath(*file), SaveGridRows(rows))) {
    host_.dialogs().message(QString::fromLatin1(kSaveErrorCaption), QString::fromLatin1(kSaveNoRightsText),
                            QMessageBox::Critical, QMessageBox::Ok);
  }
}

std::optional<QString> CsvFiles::chooseToSave(const QString& suggestedName) {
  SaveDialog1->InitialDir = dataDir_;
  SaveDialog1->FileName = suggestedName;
  bool chosen = false;
  try {
    chosen = SaveDialog1->Execute(host_.dialogs());
  } catch (const std::exception&) {
    host_.dialogs().message(QString::fromLatin1(kSaveErrorCaption), QString::fromLatin1(kSaveDialogFailedText),
                            QMessageBox::Critical, QMessageBox::Ok);
    return std::nullopt;
  }
  if (!chosen || SaveDialog1->FileName.isEmpty()) return std::nullopt;
  return SaveDialog1->FileName;
}

CsvTable CsvFiles::stageRows(const TStringGrid& grid) {
  // Data rows are 1 .. R-2: row 0 holds the headers, the last row is the
  // empty spare row.
  CsvTable rows;
  const int lastDataRow = grid.RowCount() - 2;
  for (int r = 1; r <= lastDataRow; ++r) {
    CsvRow row;
    QString line;
    for (int c = 0; c < grid.ColCount(); ++c) {
      const QString cell = grid.Cells(c, r);
      row.push_back(cell.toStdString());
      line += cell;
      line += QLatin1Char(';');
    }
    rows.push_back(std::move(row));
    Memo_export->appendPlainText(line);
  }
  return rows;
}

std::optional<QString> CsvFiles::chooseToLoad() {
  OpenDialog1->InitialDir = dataDir_;
  if (!OpenDialog1->Execute(host_.dialogs()) || OpenDialog1->FileName.isEmpty()) return std::nullopt;
  return OpenDialog1->FileName;
}

void CsvFiles::load(const QString& fileName, TStringGrid& grid) {
  Memo_export->clear();
  // Only a regular file is read, and only as much of it as the table can take.
  const std::optional<BoundedRead> file = ReadRegularFile(fsPath(fileName), kCsvMaxFileBytes);
  if (!file) {
    host_.dialogs().message(QString::fromLatin1(kLoadErrorCaption), QString::fromLatin1(kLoadWrongFileText),
                            QMessageBox::Warning, QMessageBox::Ok);
    return;
  }
  const CsvLoadResult loaded = LoadCsv(file->bytes, grid.ColCount(), file->complete);
  Memo_export->setPlainText(stagingText(loaded.lines));

  // Line k goes to row k+1 and each line adds one row, so the table keeps its
  // empty spare row below the loaded ones. The rows are added in one step:
  // the result is the same and a long file does not rebuild the view per line.
  const int rowsBefore = grid.RowCount();
  grid.setUpdatesEnabled(false);
  grid.setRowCount(rowsBefore + static_cast<int>(loaded.rows.size()));
  for (std::size_t k = 0; k < loaded.rows.size(); ++k) {
    const CsvRow& row = loaded.rows[k];
    for (int c = 0; c < grid.ColCount() && c < static_cast<int>(row.size()); ++c)
      grid.setCells(c, static_cast<int>(k) + 1, QString::fromStdString(row[c]));
  }
  grid.setUpdatesEnabled(true);

  if (loaded.tooMany) {
    host_.dialogs().message(QStringLiteral("Ostrel"), QString::fromLatin1(kLoadTooManyText), QMessageBox::NoIcon,
                            QMessageBox::Ok);
  }
}

}  // namespace ostrel
