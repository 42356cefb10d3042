// Where ostrel-cli's records go: a reader that leaves early, an output that cannot be made, a
// file that is replaced only whole, and logs that grow by --append.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "peers.h"

namespace ostrel::cli::testing {
namespace {

// Runs ostrel-cli with its standard output on a pipe whose reader takes one line and closes
// its end, as `| head -1` does.
Result RunIntoHeadOne(std::vector<std::string> args) {
  args.insert(args.begin(), OSTREL_CLI_BINARY);
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe");
  const std::string errFile = std::filesystem::temp_directory_path() / ("ostrel_head_" + std::to_string(getpid()));
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addclose(&fa, out[0]);
  posix_spawn_file_actions_addopen(&fa, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  auto argv = argvOf(args);
  if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) throw std::runtime_error("spawn");
  posix_spawn_file_actions_destroy(&fa);
  ::close(out[1]);
  Result r;
  char c;
  while (::read(out[0], &c, 1) == 1 && c != '\n') r.out += c;
  ::close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  r.err = ReadFile(errFile);
  ::unlink(errFile.c_str());
  return r;
}

TEST(CliOutput, AReaderThatLeavesEndsTheRunAndFreesThePort) {
  SlavePeer slave;
  ASSERT_TRUE(slave.ready);
  const Result r = RunIntoHeadOne({"read", "--port", "COM2", "--count", "2", "--every", "0.1", "--format", "jsonl"});
  EXPECT_EQ(r.code, 141) << "a negative code is the signal that killed it";
  EXPECT_EQ(r.out.rfind("{\"time\": ", 0), 0u) << r.out;
  EXPECT_EQ(r.err, "");
  // The port was closed on the way out: it opens again.
  const Result again = RunCli({"read", "--port", "COM2", "--count", "1"});
  EXPECT_EQ(again.code, 0) << again.err;
}

TEST(CliOutput, AnOutputThatCannotBeMadeIsRefusedBeforeThePanelIsAsked) {
  PanelPeer panel({});
  ASSERT_TRUE(panel.ready);
  for (const auto& format : {std::vector<std::string>{"--json"}, {}}) {
    std::vector<std::string> args{"scan", "--port", "COM1", "-v", "-o", panel.dir + "/missing/p.json"};
    args.insert(args.end(), format.begin(), format.end());
    const Result r = RunCli(args);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "ostrel-cli: error: cannot write " + panel.dir + "/missing/p.json (No such file or directory)\n");
  }
  const Result read = RunCli({"read", "--port", "COM1", "-o", panel.dir + "/missing/r.csv", "-v"});
  EXPECT_EQ(read.code, 2);
  EXPECT_EQ(read.err.find("SENT:"), std::string::npos) << read.err;
}

TEST(CliOutput, AFileIsReplacedOnlyByAWholeRun) {
  PanelPeer panel({"--delay-ms", "150"});
  ASSERT_TRUE(panel.ready);
  const std::string file = panel.dir + "/devices.csv";
  { std::ofstream(file) << "the rows of an earlier scan\n"; }
  const auto partFiles = [&] {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(panel.dir)) n += e.path().extension() == ".part";
    return n;
  };
  {  // Killed while it writes: the earlier file stays as it was.
    Background cli({"scan", "--port", "COM1", "-o", file}, panel.dir + "/stdout");
    ASSERT_TRUE(WaitFor([&] { return partFiles() == 1; }, std::chrono::seconds(10)));
  }
  EXPECT_EQ(ReadFile(file), "the rows of an earlier scan\n");
  for (const auto& e : std::filesystem::directory_iterator(panel.dir)) {
    if (e.path().extension() == ".part") std::filesystem::remove(e.path());
  }
  // A run to its end replaces it, and leaves nothing else behind. (A killed program leaves a
  // pseudo-terminal in exclusive use: the run goes to a panel of its own.)
  PanelPeer other({});
  ASSERT_TRUE(other.ready);
  const Result r = RunCli({"scan", "--port", "COM1", "-q", "-o", file});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Lines(ReadFile(file), "\r\n").size(), 6u);
  EXPECT_EQ(partFiles(), 0);
}

TEST(CliOutput, APipeIsWrittenAsItIsAndALinksTargetIsReplaced) {
  PanelPeer panel({});
  ASSERT_TRUE(panel.ready);
  // A named pipe (as /dev/null, a device, is) stays what it is and gets the rows.
  const std::string fifo = panel.dir + "/rows.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string got;
  std::thread reader([&] { got = ReadFile(fifo); });
  const Result r = RunCli({"scan", "--port", "COM1", "-q", "-o", fifo});
  reader.join();
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Lines(got, "\r\n").size(), 6u);
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  // A link keeps leading to its file, which holds the new rows.
  const std::string file = panel.dir + "/rows.csv", link = panel.dir + "/latest.csv";
  std::ofstream(file) << "old\n";
  ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
  ASSERT_EQ(RunCli({"scan", "--port", "COM1", "-q", "-o", link}).code, 0);
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(Lines(ReadFile(file), "\r\n").size(), 6u);
}

TEST(CliOutput, AppendAddsRecordsAndOneHeader) {
  SlavePeer slave;
  ASSERT_TRUE(slave.ready);
  const std::string file = slave.dir + "/fire.csv";
  for (int run = 0; run < 2; ++run) {
    const Result r = RunCli({"read", "--port", "COM2", "--count", "2", "--format", "csv", "-o", file, "--append"});
    ASSERT_EQ(r.code, 0) << r.err;
  }
  auto rows = Lines(ReadFile(file), "\r\n");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].rfind("time;result;", 0), 0u);
  EXPECT_EQ(rows[2].find("time;"), std::string::npos);

  // Without --append the file is replaced; --no-header leaves the header out.
  const Result once = RunCli({"read", "--port", "COM2", "--count", "2", "--format", "csv", "-o", file, "--no-header"});
  ASSERT_EQ(once.code, 0) << once.err;
  rows = Lines(ReadFile(file), "\r\n");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_NE(rows[0].find(";ok;"), std::string::npos);

  const Result bad = RunCli({"read", "--port", "COM2", "--append"});
  EXPECT_EQ(bad.code, 2);
  EXPECT_EQ(bad.err, "ostrel-cli: error: --append needs -o FILE\n");
}

}  // namespace
}  // namespace ostrel::cli::testing
