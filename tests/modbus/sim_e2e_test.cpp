// The demo's simulated panel (tools/qvsim/modbus.py) answers the Modbus master over a
// pseudo-terminal with registers that show every colour of the register table.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <tuple>

#include "fakes.h"
#include "modbus/decode.h"
#include "modbus/readout.h"
#include "peer.h"

namespace ostrel::modbus {
namespace {

class SimulatedPanel : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start("tools/qvsim/modbus.py", {}, "\n")) << sim_.Output();
    const std::string path = sim_.Output().substr(0, sim_.Output().find('\n'));
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd_, 0) << path;
    testing::MakeRaw(fd_);
  }
  void TearDown() override {
    sim_.Stop();
    if (fd_ >= 0) ::close(fd_);
  }

  // One read-out: request, the reply collected up to `expected` bytes, end of the wait.
  void readOut(int start, int count, size_t expected) {
    m_.ReadRegisters({true, std::to_string(start), std::to_string(count), 1, 600});
    m_.CollectReply(testing::ReadReply(fd_, expected));
    m_.ReplyWaitEnded(false, std::to_string(start));
  }

  testing::PythonHelper sim_;
  int fd_ = -1;
  testing::Journal j_;
  testing::FdLink link_{fd_};
  testing::FakeView view_{j_};
  ModbusMaster m_{link_, view_};
};

TEST_F(SimulatedPanel, RegisterTableShowsEveryColour) {
  readOut(1, 125, 255);
  ASSERT_EQ(view_.RowCount(), 127) << ::testing::PrintToString(j_.log);
  readOut(1751, 100, 205);
  readOut(2101, 7, 19);
  ASSERT_EQ(view_.RowCount(), 127 + 107);

  const Rgb face{240, 240, 240}, highlight{0, 120, 215};
  std::set<std::tuple<int, int, int>> backgrounds;
  for (int row = 1; row < view_.RowCount() - 1; ++row) {
    for (int col : {2, 4}) {
      const Rgb bg = CellColour(row, view_.rows[row][col], face, highlight).background;
      backgrounds.insert({bg.r, bg.g, bg.b});
    }
  }
  for (Rgb want : {kWhite, kYellow, kFuchsia, kMaroon, kBlack, kGray, highlight}) {
    EXPECT_TRUE(backgrounds.count({want.r, want.g, want.b})) << int(want.r) << "," << int(want.g) << "," << int(want.b);
  }

  readOut(2290, 20, 5);  // past the last input register
  EXPECT_EQ(j_.log[j_.log.size() - 2], "Error - ILLEGAL DATA ADDRESS\r");
}

}  // namespace
}  // namespace ostrel::modbus
