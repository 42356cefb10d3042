#include "core/Csv.h"

#include <gtest/gtest.h>

#include "common/cp1251.h"

using namespace ostrel;

namespace {
CsvRow row11(std::initializer_list<std::string> cells) {
  CsvRow r(cells);
  r.resize(11);
  return r;
}
}  // namespace

TEST(CsvSave, ThreeRowsGiveThreeTerminatedLinesAndAnEmptyTableGivesNoBytes) {
  CsvTable rows(3, CsvRow(11));
  rows[0][0] = "1";
  rows[2][10] = "x";
  const std::string bytes = SaveGridRows(rows);
  EXPECT_EQ(bytes, "1;;;;;;;;;;;\r\n;;;;;;;;;;;\r\n;;;;;;;;;;x;\r\n");
  EXPECT_EQ(SaveGridRows({}), "");
  // A register table row of 6 cells gives 6 fields; a cell's ";" is written as it is.
  EXPECT_EQ(SaveGridRows({{"a;b", "", " c ", "", "", ""}}), "a;b;; c ;;;;\r\n");
}

TEST(CsvLoad, FieldsAfterTheLastSemicolonAreDroppedAndMissingCellsAreEmpty) {
  const CsvLoadResult r = LoadCsv("a;b;c;\r\na;b;c;d\r\na;b;c\r\nno separator\r\n");
  EXPECT_FALSE(r.tooMany);
  ASSERT_EQ(r.rows.size(), 4u);
  EXPECT_EQ(r.rows[0], row11({"a", "b", "c"}));
  EXPECT_EQ(r.rows[1], row11({"a", "b", "c"}));
  EXPECT_EQ(r.rows[2], row11({"a", "b"}));
  EXPECT_EQ(r.rows[3], row11({}));  // a line without ";" still takes a row
}

TEST(CsvLoad, LineBreaksOfEveryKindAndNoEmptyLastLine) {
  EXPECT_EQ(LoadCsv("").rows.size(), 0u);
  EXPECT_EQ(LoadCsv("a;\r\n").rows.size(), 1u);
  EXPECT_EQ(LoadCsv("a;").rows.size(), 1u);
  const CsvLoadResult mixed = LoadCsv("a;\rb;\nc;\r\n\r\nd;\n\re;\r\r");
  ASSERT_EQ(mixed.rows.size(), 8u);
  std::string firsts;
  for (const CsvRow& row : mixed.rows) firsts += row[0].empty() ? "_" : row[0];
  EXPECT_EQ(firsts, "abc_d_e_");  // LF CR is two breaks; CR CR adds one empty line
}

TEST(CsvLoad, TooManyFieldsStopsAndKeepsTheEarlierLines) {
  const std::string twelve = "1;2;3;4;5;6;7;8;9;10;11;12;\r\n";
  const CsvLoadResult r = LoadCsv("h1;h2;\r\n" + twelve + "z;\r\n");
  EXPECT_TRUE(r.tooMany);
  EXPECT_EQ(r.tooManyLine, 1u);
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0], row11({"h1", "h2"}));  // a header line is data like any other
  // Exactly eleven fields fit, and text after the eleventh ";" does not count.
  EXPECT_FALSE(LoadCsv("1;2;3;4;5;6;7;8;9;10;11;rest").tooMany);
  // A cell that held ";" shifts its line one column to the right.
  const CsvLoadResult shifted = LoadCsv(SaveGridRows({row11({"a;b", "c"})}));
  EXPECT_TRUE(shifted.tooMany);
  const CsvLoadResult shifted6 = LoadCsv(SaveGridRows({{"a;b", "c", "", "", "", ""}}));
  ASSERT_FALSE(shifted6.tooMany);
  EXPECT_EQ(shifted6.rows[0], row11({"a", "b", "c"}));
}

TEST(CsvLoad, FieldAndLineLimitsCountCharacters) {
  const std::string sixty(60, 'x');
  EXPECT_EQ(LoadCsv(sixty + ";").rows[0][0], std::string(50, 'x'));
  // 60 Cyrillic letters are 60 bytes in the file and load as 50 letters.
  std::string cyrillic = "Ж";
  for (int i = 0; i < 59; ++i) cyrillic += "ж";
  const std::string cyr60 = utf8ToCp1251(cyrillic);
  ASSERT_EQ(cyr60.size(), 60u);
  const std::string loaded = LoadCsv(cyr60 + ";").rows[0][0];
  EXPECT_EQ(utf8ToCp1251(loaded).size(), 50u);
  EXPECT_EQ(loaded.substr(0, 2), "Ж");
  // Past 4096 characters the rest of a line is ignored, separators included.
  const std::string longLine = std::string(4095, 'a') + ";b;c;d;e;f;g;h;i;j;k;l;m;";
  const CsvLoadResult r = LoadCsv(longLine + "\r\nnext;");
  ASSERT_FALSE(r.tooMany);
  ASSERT_EQ(r.rows.size(), 2u);
  EXPECT_EQ(r.rows[0], row11({std::string(50, 'a')}));
  EXPECT_EQ(r.rows[1][0], "next");
}

TEST(CsvLoad, RowLimitAndAFileReadOnlyInPartStopAtTheFirstLineBeyond) {
  std::string many;
  for (std::size_t i = 0; i <= kCsvMaxRows; ++i) many += "\r\n";
  const CsvLoadResult r = LoadCsv(many);
  EXPECT_TRUE(r.tooMany);
  EXPECT_EQ(r.tooManyLine, kCsvMaxRows);
  EXPECT_EQ(r.rows.size(), kCsvMaxRows);
  // The last line of a file read only in part is cut off: it does not load.
  const CsvLoadResult part = LoadCsv("a;\r\nb;\r\nc;c", 11, false);
  EXPECT_TRUE(part.tooMany);
  ASSERT_EQ(part.rows.size(), 2u);
  EXPECT_EQ(part.lines, (std::vector<std::string>{"a;", "b;"}));
  EXPECT_FALSE(LoadCsv("a;\r\nb;\r\n", 11, false).tooMany);  // ends on a whole line
}

TEST(CsvRoundTrip, CyrillicCellsAreWindows1251InTheFileAndComeBackUnchanged) {
  const CsvTable rows = {row11({"1", "Пожарен детектор", "Контур 1", "", "Ёж №5"}), row11({"2", "", "OK"})};
  const std::string bytes = SaveGridRows(rows);
  EXPECT_NE(bytes.find("\xCA\xEE\xED\xF2\xF3\xF0 1;"), std::string::npos);  // "Контур 1;"
  const CsvLoadResult back = LoadCsv(bytes);
  EXPECT_FALSE(back.tooMany);
  EXPECT_EQ(back.rows, rows);
  EXPECT_EQ(LoadCsv(bytes, 6).tooMany, true);  // the same file is too wide for a 6-column table
}
