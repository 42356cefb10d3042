// The window's panel port over the in-memory device, for what a real line
// cannot give on demand: a reply of thousands of bytes announced in one
// receive event, and writes that the port refuses or does not finish.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <memory>

#include "Dialogs.h"
#include "PanelWindowView.h"
#include "ScanPage.h"
#include "SerialLinkBox.h"
#include "TForm1.h"
#include "common/hexdump.h"
#include "panel/TFP.h"
#include "serial/VaComm.h"
#include "testing/FakeDevice.h"
#include "tests/app/find_control.h"

using namespace ostrel;
using ostrel::panel::TFP;

namespace {

class FakePortScanTest : public ::testing::Test {
 protected:
  QTemporaryDir home;
  ScriptedDialogs dialogs;
  std::shared_ptr<serial::TVaFakeDevice> dev = std::make_shared<serial::TVaFakeDevice>();
  std::unique_ptr<TForm1> form;
  std::vector<int32_t> announced;  // the count of each receive event

  void SetUp() override {
    qputenv("OSTREL_HOME", home.path().toLocal8Bit());
    form = std::make_unique<TForm1>(&dialogs, home.path() + "/ostrel.ini");
    form->panelLinkBox().port().SetDeviceOpener([this](const std::string&, int&) { return dev; });
    form->panelLinkBox().port().OpenPort();
    form->panelLinkBox().adoptOpenPort();
    form->panelLinkBox().port().OnRxChar = [this](serial::TVaCustomComm*, int32_t n) {
      announced.push_back(n);
      form->scanPage().Comm1RxChar();
    };
  }

  QStringList lines() const { return Child<QPlainTextEdit>(form, "Memo_current")->toPlainText().split('\n'); }
};

// A reply frame as the panel builds it: header, result byte 0, the data, the
// checksum and the end byte.
std::string replyFrame(uint8_t code, const std::string& data) {
  std::string f{
      '\x02', '\x03', '\x12', '\x34', '\x5D', static_cast<char>(code), '\0', static_cast<char>(data.size() + 1), '\0'};
  f += data;
  const uint16_t sum = TFP::Checksum(f, 1, f.size());
  f += static_cast<char>(sum >> 8);
  f += static_cast<char>(sum & 0xFF);
  f += '\x04';
  return f;
}

}  // namespace

TEST_F(FakePortScanTest, LongReplyInOneEventIsReadWholeInPieces) {
  // Panel information with no loops, followed by 1200 bytes the decoder
  // does not read: 2446 bytes on the line, more than two reads of 1024.
  std::string data{'\0', '\0', '\x01', '\0', '\x01', '\0', '\x01', '\x08', '\x01', '\0'};
  for (int i = 0; i < 1200; ++i) data += static_cast<char>(i * 7);
  const std::string frame = replyFrame(0x48, data);
  const std::string line = TFP::HexEncodeFrame(frame);
  ASSERT_GT(line.size(), 2048u);

  Child<QPushButton>(form, "BitBtn1")->click();
  // The request went out as its 26 line bytes.
  EXPECT_EQ(dev->written(), std::string("\x02") + "0312345B48000300000000EF" + "\x04");
  dev->injectBytes(line);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Child<ostrel::TTimer>(form, "Timer_free_command")->Enabled(); }, 10000));

  ASSERT_FALSE(announced.empty());
  EXPECT_EQ(announced.front(), static_cast<int32_t>(line.size()));
  const QStringList log = lines();
  EXPECT_TRUE(log.contains(QString::fromStdString(hexLine("QVFP: ", frame))));
  EXPECT_EQ(log.last(), "No loops to read...");
  EXPECT_FALSE(log.contains("error CRC"));
  EXPECT_EQ(Child<QLabel>(form, "Label7")->text(), QString::fromUtf8("Контури 0, Силов вкл., Зони 8"));
  EXPECT_EQ(form->panelLinkBox().port().InputCount(), 0);
  // The handled reply empties both queues of the port.
  EXPECT_FALSE(dev->purges().empty());
}

TEST_F(FakePortScanTest, FailedWritesAreLoggedAndTheScanWaits) {
  {  // The device refuses the write.
    dev->refuseWrites(EIO);
    Child<QPushButton>(form, "BitBtn1")->click();
    const QStringList log = lines();
    ASSERT_GE(log.size(), 2);
    EXPECT_TRUE(log[log.size() - 2].startsWith("SENT: 02 03 12 34 5B 48 "));
    EXPECT_EQ(log.last(), "Exception on serial port sending...");
    EXPECT_TRUE(Child<ostrel::TTimer>(form, "Timer_free_command")->Enabled());  // and then waits as for any request
    Child<QPushButton>(form, "BitBtn2")->click();
    EXPECT_FALSE(Child<ostrel::TTimer>(form, "Timer_free_command")->Enabled());
  }
  {  // The device takes only part of the request before the write times out:
     // that request was not sent either.
    dev->refuseWrites(0);
    dev->setWriteCapacity(10);
    Child<QPushButton>(form, "BitBtn1")->click();
    EXPECT_EQ(lines().last(), "Exception on serial port sending...");
    EXPECT_EQ(dev->written().size(), 10u);
    Child<QPushButton>(form, "BitBtn2")->click();
  }
  EXPECT_EQ(dialogs.count(ScriptedDialogs::Kind::Message), 0);
}
