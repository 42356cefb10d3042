#include "core/Csv.h"

#include "common/cp1251.h"

namespace ostrel {

std::string SaveGridRows(const CsvTable& rows) {
  std::string out;
  for (const CsvRow& row : rows) {
    for (const std::string& cell : row) {
      out += utf8ToCp1251(cell);
      out += ';';
    }
    out += "\r\n";
  }
  return out;
}

namespace {

// Splits one line (already cut to its length limit) into its fields.
std::vector<std::string_view> splitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == ';') {
      fields.push_back(line.substr(start, i - start));
      start = i + 1;
    }
  }
  return fields;  // the text after the last ';' is not a field
}

}  // namespace

CsvLoadResult LoadCsv(std::string_view bytes, int columnCount, bool fileComplete) {
  const std::size_t columns = columnCount > 0 ? static_cast<std::size_t>(columnCount) : 0;
  CsvLoadResult result;
  std::size_t pos = 0;
  std::size_t lineIndex = 0;
  while (pos < bytes.size()) {
    std::size_t end = pos;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    std::string_view line = bytes.substr(pos, end - pos);
    // A line that runs past what was read, or past the row limit, is more
    // than the table takes.
    const bool cutOff = !fileComplete && end == bytes.size();
    if (cutOff || lineIndex >= kCsvMaxRows) {
      result.tooMany = true;
      result.tooManyLine = lineIndex;
      return result;
    }
    // Step over the line break: CR LF, a lone CR or a lone LF.
    pos = end;
    if (pos < bytes.size()) {
      if (bytes[pos] == '\r' && pos + 1 < bytes.size() && bytes[pos + 1] == '\n')
        pos += 2;
      else
        pos += 1;
    }

    if (line.size() > kCsvMaxLineChars) line = line.substr(0, kCsvMaxLineChars);
    const std::vector<std::string_view> fields = splitFields(line);
    if (fields.size() > columns) {
      result.tooMany = true;
      result.tooManyLine = lineIndex;
      return result;
    }
    CsvRow row(columns);
    for (std::size_t c = 0; c < fields.size(); ++c) row[c] = cp1251ToUtf8(fields[c].substr(0, kCsvMaxFieldChars));
    result.rows.push_back(std::move(row));
    result.lines.emplace_back(line);
    ++lineIndex;
  }
  return result;
}

}  // namespace ostrel
