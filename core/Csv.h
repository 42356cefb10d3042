#pragma once
// The device table's and the register table's CSV files.
//
// A file holds one line per data row, no header line. Every field is the
// cell's text exactly (no quoting, no escaping, no trimming) followed by ";",
// the last field included. Every line ends in CR LF, the last one too. The
// bytes are Windows-1251; inside the program the cells are UTF-8.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

using CsvRow = std::vector<std::string>;
using CsvTable = std::vector<CsvRow>;

// Texts of the CSV message boxes ("\n" is the line break inside the box).
inline constexpr const char* kSaveErrorCaption = "Error saving file";
inline constexpr const char* kSaveDialogFailedText = "File cannot be written or open!\nContact administrator.";
inline constexpr const char* kSaveNoRightsText = "File cannot be written, no rights!\nContact administrator.";
inline constexpr const char* kLoadErrorCaption = "File Error";
inline constexpr const char* kLoadWrongFileText = "You chose wrong file for import!\nContact administrator!";
inline constexpr const char* kLoadTooManyText =
    "You are trying to import too many data!!!\nCorrect csv file and try again!";
// Suggested name of the register table's export.
inline constexpr const char* kRegisterExportFileName = "modbusUR.csv";

// Loader limits. The file is Windows-1251, one byte per character, so the
// limits count bytes of the file, which are exactly its characters; they are
// applied before decoding, so a Cyrillic field is cut at 50 letters as well.
inline constexpr std::size_t kCsvMaxFieldChars = 50;
inline constexpr std::size_t kCsvMaxLineChars = 4096;
inline constexpr int kDeviceTableColumns = 11;
// A scan fills at most two loops of 255 devices; the loader takes a few
// thousand rows and reads no more of a file than such rows can fill.
inline constexpr std::size_t kCsvMaxRows = 4096;
inline constexpr std::size_t kCsvMaxFileBytes = kCsvMaxRows * (kCsvMaxLineChars + 2);

// The file bytes of the given data rows (the caller passes rows 1 .. R-2 of
// its grid, without the header row and the spare row). No rows give no bytes.
std::string SaveGridRows(const CsvTable& rows);

struct CsvLoadResult {
  // One row per loaded line, in file order, each exactly columnCount cells;
  // cells for which the line carries no field are empty.
  CsvTable rows;
  // Each loaded line as the loader took it (cut to its length limit).
  std::vector<std::string> lines;
  // True when a line held more fields than the table has columns, or lay
  // past the row limit or past the end of a file read only in part: loading
  // stopped there; rows holds the lines before it, nothing of that line.
  bool tooMany = false;
  // 0-based index of the line that stopped the load (valid when tooMany).
  std::size_t tooManyLine = 0;
};

// Parses a whole file. Lines end at CR LF, a lone CR or a lone LF; a final
// line break adds no empty line. Each line is cut to 4096 characters, then
// split at ";": text after the last ";" is dropped, a line without ";" gives
// no field (but still a row of empty cells). Each field is cut to 50
// characters. At most kCsvMaxRows lines load. fileComplete false means the
// bytes are only the start of the file: its last line, cut off, does not load.
CsvLoadResult LoadCsv(std::string_view fileBytes, int columnCount = kDeviceTableColumns, bool fileComplete = true);

}  // namespace ostrel
