// The device table's and the register table's CSV files: save, export, load
// and "Clear table". The file format and the file writes are the plain C++
// helpers of core; this file joins them to the grids and the dialogs.
#include <QDate>
#include <QFile>
#include <QLocale>
#include <QPlainTextEdit>
#include <QStringList>
#include <exception>
#include <string>
#include <vector>

#include "TForm1.h"
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

void TForm1::SaveGridToCsv(TStringGrid* grid, const QString& suggestedName, QPlainTextEdit* staging) {
  staging->clear();
  SaveDialog1->InitialDir = dataDir;
  SaveDialog1->FileName = suggestedName;

  bool chosen = false;
  try {
    chosen = SaveDialog1->Execute(dialogs());
  } catch (const std::exception&) {
    dialogs().message(QString::fromLatin1(kSaveErrorCaption), QString::fromLatin1(kSaveDialogFailedText),
                      QMessageBox::Critical, QMessageBox::Ok);
    return;
  }
  if (!chosen || SaveDialog1->FileName.isEmpty()) return;
  const std::string path = fsPath(SaveDialog1->FileName);

  // Data rows are 1 .. R-2: row 0 holds the headers, the last row is the
  // empty spare row.
  CsvTable rows;
  const int lastDataRow = grid->RowCount() - 2;
  for (int r = 1; r <= lastDataRow; ++r) {
    CsvRow row;
    QString line;
    for (int c = 0; c < grid->ColCount(); ++c) {
      const QString cell = grid->Cells(c, r);
      row.push_back(cell.toStdString());
      line += cell;
      line += QLatin1Char(';');
    }
    rows.push_back(std::move(row));
    staging->appendPlainText(line);
  }

  // The new file goes beside the old one and replaces it only when it is
  // complete, so a failed save leaves an existing file as it was.
  if (!WriteFileAtomically(path, SaveGridRows(rows))) {
    dialogs().message(QString::fromLatin1(kSaveErrorCaption), QString::fromLatin1(kSaveNoRightsText),
                      QMessageBox::Critical, QMessageBox::Ok);
  }
}

void TForm1::LoadCsvIntoDevices(const QString& fileName, QPlainTextEdit* staging) {
  staging->clear();
  // Only a regular file is read, and only as much of it as the table can take.
  const std::optional<BoundedRead> file = ReadRegularFile(fsPath(fileName), kCsvMaxFileBytes);
  if (!file) {
    dialogs().message(QString::fromLatin1(kLoadErrorCaption), QString::fromLatin1(kLoadWrongFileText),
                      QMessageBox::Warning, QMessageBox::Ok);
    return;
  }
  const CsvLoadResult loaded = LoadCsv(file->bytes, GridDevices->ColCount(), file->complete);
  staging->setPlainText(stagingText(loaded.lines));

  // Line k goes to row k+1 and each line adds one row, so the table keeps its
  // empty spare row below the loaded ones. The rows are added in one step:
  // the result is the same and a long file does not rebuild the view per line.
  const int rowsBefore = GridDevices->RowCount();
  GridDevices->setUpdatesEnabled(false);
  GridDevices->setRowCount(rowsBefore + static_cast<int>(loaded.rows.size()));
  for (std::size_t k = 0; k < loaded.rows.size(); ++k) {
    const CsvRow& row = loaded.rows[k];
    for (int c = 0; c < GridDevices->ColCount() && c < static_cast<int>(row.size()); ++c)
      GridDevices->setCells(c, static_cast<int>(k) + 1, QString::fromStdString(row[c]));
  }
  GridDevices->setUpdatesEnabled(true);

  if (loaded.tooMany) {
    dialogs().message(QStringLiteral("Ostrel"), QString::fromLatin1(kLoadTooManyText), QMessageBox::NoIcon,
                      QMessageBox::Ok);
  }
}

void TForm1::Butt_save_dataClick() {
  const QString date = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
  const QString name = QString::fromStdString(SuggestedDeviceFileName(date.toStdString()));
  SaveGridToCsv(GridDevices, name, Memo_export);
}

void TForm1::Save1Click() { Butt_save_dataClick(); }

void TForm1::BitBtn8Click() {
  SaveGridToCsv(gridInputRegisters, QString::fromLatin1(kRegisterExportFileName), Memo_export);
}

void TForm1::Butt_load_dataClick() {
  OpenDialog1->InitialDir = dataDir;
  if (!OpenDialog1->Execute(dialogs()) || OpenDialog1->FileName.isEmpty()) return;
  Butt_clear_gridClick();
  LoadCsvIntoDevices(OpenDialog1->FileName, Memo_export);
}

void TForm1::Open1Click() { Butt_load_dataClick(); }

void TForm1::Butt_clear_gridClick() {
  // Every cell below the header row becomes empty and the table is left with
  // its header row and one empty spare row. Rows past row 1 are removed
  // first: a removed row's cells are gone, and rows added later start empty.
  GridDevices->setRowCount(2);
  for (int c = 0; c < GridDevices->ColCount(); ++c)
    if (!GridDevices->Cells(c, 1).isEmpty()) GridDevices->setCells(c, 1, QString());
}

}  // namespace ostrel
