// Feeds arbitrary bytes to the CSV loader and checks what it promises:
// rows of exactly the column count, fields within their limit, and a table
// that saves and loads back to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/cp1251.h"
#include "core/Csv.h"

namespace {
void check(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first byte picks the column count, so narrow tables are exercised too.
  if (size == 0) return 0;
  const int columns = 1 + data[0] % 12;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

  const ostrel::CsvLoadResult loaded = ostrel::LoadCsv(bytes, columns);
  for (const ostrel::CsvRow& row : loaded.rows) {
    check(row.size() == static_cast<std::size_t>(columns));
    for (const std::string& cell : row) {
      const std::string fileBytes = ostrel::utf8ToCp1251(cell);
      check(fileBytes.size() <= ostrel::kCsvMaxFieldChars);
      check(fileBytes.find_first_of(";\r\n") == std::string::npos);
    }
  }
  // 0x98 has no character and comes back as "?"; everything else round-trips.
  if (bytes.find('\x98') == std::string_view::npos) {
    const ostrel::CsvLoadResult again = ostrel::LoadCsv(ostrel::SaveGridRows(loaded.rows), columns);
    check(!again.tooMany);
    check(again.rows == loaded.rows);
  }
  return 0;
}
