#include "core/FileIo.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "TempDir.h"
#include "core/FileNames.h"

using namespace ostrel;
namespace fs = std::filesystem;

namespace {
std::size_t entriesIn(const std::string& dir) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}
}  // namespace

TEST(AtomicWrite, CreatesAndReplacesWholeFilesLeavingNoTemporaryFile) {
  TempDir dir;
  const std::string file = dir / "meters.csv";
  ASSERT_TRUE(WriteFileAtomically(file, "old content that is longer"));
  ::chmod(file.c_str(), 0640);
  const std::string binary("a\0b\r\n", 5);
  ASSERT_TRUE(WriteFileAtomically(file, binary));
  EXPECT_EQ(ReadWholeFile(file), binary);
  ASSERT_TRUE(WriteFileAtomically(file, ""));
  EXPECT_EQ(ReadWholeFile(file), "");
  EXPECT_EQ(entriesIn(dir.path()), 1u);
  struct stat info {};
  ::stat(file.c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0640u);  // a replaced file keeps its mode
}

TEST(AtomicWrite, ThroughASymbolicLinkTheLinkStays) {
  TempDir dir;
  fs::create_directory(dir / "data");
  ASSERT_TRUE(WriteFileAtomically(dir / "data/real.csv", "old"));
  fs::create_symlink("data/real.csv", dir / "link.csv");
  ASSERT_TRUE(WriteFileAtomically(dir / "link.csv", "new"));
  EXPECT_TRUE(fs::is_symlink(dir / "link.csv"));
  EXPECT_EQ(ReadWholeFile(dir / "data/real.csv"), "new");
}

TEST(AtomicWrite, FailuresReportAndLeaveTheOldStateAlone) {
  TempDir dir;
  const FileWriteResult noFolder = WriteFileAtomically(dir / "files/log.txt", "x");
  EXPECT_FALSE(noFolder);
  EXPECT_EQ(noFolder.errorNumber, ENOENT);
  EXPECT_FALSE(noFolder.errorText.empty());
  EXPECT_FALSE(fs::exists(dir / "files"));

  fs::create_directory(dir / "taken");
  fs::create_directory(dir / "taken/inner");
  EXPECT_FALSE(WriteFileAtomically(dir / "taken", "x"));
  EXPECT_TRUE(fs::is_directory(dir / "taken/inner"));
  EXPECT_FALSE(WriteFileAtomically("", "x"));
  EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(AtomicWrite, AWriteThatFailsHalfWayKeepsTheOldContent) {
  TempDir dir;
  const std::string file = dir / "meters.csv";
  const std::string old = "1;2;3;\r\n";
  ASSERT_TRUE(WriteFileAtomically(file, old));
  // In a child, cap the file size so that the write runs out of room part way,
  // as on a full disk.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const FileWriteResult r = WriteFileAtomically(file, std::string(100000, 'n'));
    ::_exit(!r.ok && r.errorNumber == EFBIG ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadWholeFile(file), old);
  EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(ReadWholeFile, NothingForMissingFilesAndFolders) {
  TempDir dir;
  EXPECT_FALSE(ReadWholeFile(dir / "missing.csv"));
  EXPECT_FALSE(ReadWholeFile(dir.path()));
  std::string big(200000, 'z');
  big[123456] = '\0';
  ASSERT_TRUE(WriteFileAtomically(dir / "big", big));
  EXPECT_EQ(ReadWholeFile(dir / "big"), big);
}

TEST(SuggestedDeviceFileName, ReplacesCharactersAFileNameCannotHold) {
  EXPECT_EQ(SuggestedDeviceFileName("08.12.2026"), "meters_data_08.12.2026.csv");
  EXPECT_EQ(SuggestedDeviceFileName("12/8/26"), "meters_data_12-8-26.csv");
  EXPECT_EQ(SuggestedDeviceFileName("a\\b:c*d?e\"f<g>h|i\tj"), "meters_data_a-b-c-d-e-f-g-h-i-j.csv");
  EXPECT_EQ(SuggestedDeviceFileName("8 дек. 2026 г."), "meters_data_8 дек. 2026 г..csv");
}

TEST(WithCsvExtension, OnlyANameWithoutExtensionGetsOne) {
  EXPECT_EQ(WithCsvExtension("/data/meters"), "/data/meters.csv");
  EXPECT_EQ(WithCsvExtension("/data.v2/meters"), "/data.v2/meters.csv");
  EXPECT_EQ(WithCsvExtension("/data/.meters"), "/data/.meters.csv");
  EXPECT_EQ(WithCsvExtension("/data/meters."), "/data/meters.csv");
  EXPECT_EQ(WithCsvExtension("/data/meters.csv"), "/data/meters.csv");
  EXPECT_EQ(WithCsvExtension("/data/meters.txt"), "/data/meters.txt");
  // A folder is no file name: it is kept as it is, and so is any path given no extension.
  EXPECT_EQ(WithCsvExtension("/data/"), "/data/");
  EXPECT_EQ(WithCsvExtension("/data.v2/"), "/data.v2/");
  EXPECT_EQ(WithDefaultExtension("/data/meters", ""), "/data/meters");
}

TEST(ReadRegularFile, OnlyRegularFilesAndOnlyUpToTheBound) {
  TempDir dir;
  const std::string fifo = dir / "fifo.csv";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(ReadRegularFile(fifo, 100));  // no writer: refused at once, not waited for
  EXPECT_FALSE(ReadRegularFile("/dev/zero", 100));
  EXPECT_FALSE(ReadRegularFile(dir.path(), 100));
  EXPECT_FALSE(ReadWholeFile(fifo));

  ASSERT_TRUE(WriteFileAtomically(dir / "ten", "0123456789"));
  const auto part = ReadRegularFile(dir / "ten", 4);
  ASSERT_TRUE(part);
  EXPECT_EQ(part->bytes, "0123");
  EXPECT_FALSE(part->complete);
  const auto whole = ReadRegularFile(dir / "ten", 10);
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->bytes, "0123456789");
  EXPECT_TRUE(whole->complete);

  // Nor is anything but a regular file replaced by a write.
  EXPECT_FALSE(WriteFileAtomically(fifo, "x"));
  struct stat info {};
  ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}
