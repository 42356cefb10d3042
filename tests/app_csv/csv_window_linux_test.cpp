// The CSV files' cases that need Linux: a write cut short by the file size limit, a FIFO
// without a writer and a device that never ends.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "CsvFiles.h"
#include "csv_window_fixture.h"
#include "tests/app/find_control.h"

namespace {

using CsvWindowOnLinux = CsvWindowTest;

TEST_F(CsvWindowOnLinux, AWriteThatRunsOutOfRoomKeepsTheOldFileWhole) {
  for (int i = 0; i < 300; ++i) addRow(devices, numbered("field", 11));
  // A write that runs out of room part way (as on a full disk) leaves the
  // old file whole and no partial file beside it.
  write(at("meters.csv"), "old;\r\n");
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small{4096, saved.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  dialogs.files = {at("meters.csv")};
  Child<QPushButton>(form, "Butt_save_data")->click();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(messages(), 1);
  EXPECT_EQ(read(at("meters.csv")), "old;\r\n");
  EXPECT_EQ(QDir(form->csvFiles().dataDir()).entryList(QDir::Files), QStringList({"meters.csv"}));
}

TEST_F(CsvWindowOnLinux, AFifoAndAnEndlessDeviceAreWrongFilesToldAtOnce) {
  const QString fifo = at("fifo.csv");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  for (const QString& path : {fifo, QStringLiteral("/dev/zero")}) {
    SCOPED_TRACE(path.toStdString());
    addRow(devices, numbered("old", 11));
    dialogs.shown.clear();
    dialogs.files = {path};
    Child<QPushButton>(form, "Butt_load_data")->click();
    ASSERT_EQ(messages(), 1);
    EXPECT_EQ(dialogs.last(Kind::Message)->text, "You chose wrong file for import!\nContact administrator!");
    EXPECT_EQ(devices->RowCount(), 2);
  }
}

}  // namespace
