// "Network port…": a COM name given to ser2net's RFC 2217 port on loopback, its test
// connection reporting the server's line, and the name changed and removed again.
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <filesystem>

#include "TFormNetworkPort.h"
#include "network_peers.h"

namespace {

using ostrel::cli::testing::Ser2net;

std::string linkTarget(const QString& path) {
  std::error_code ec;
  return std::filesystem::read_symlink(path.toStdString(), ec).string();
}

TEST(NetworkPortDialog, GivesTestsChangesAndRemovesAComName) {
  int master = -1, slave = -1;
  char name[128];
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  ::close(slave);  // ser2net opens the line itself
  QTemporaryDir dir;
  Ser2net server(name, dir.path().toStdString());
  ASSERT_TRUE(server.ready) << "ser2net did not start";
  const QString map = dir.path() + "/ports";

  ostrel::TFormNetworkPort form(nullptr, map.toStdString());
  struct Step {
    QString com, url;
    QPushButton* button;
    std::string message;  // a piece of the dialog's message
    std::string target;   // the COM7 link afterwards
  };
  const QString rfc = QString::fromStdString(server.rfc()), raw = QString::fromStdString(server.raw());
  const Step steps[] = {
      {"COM7", "rfc2217://user@127.0.0.1:1", form.Butt_network_save, "more than a host and a port", ""},
      {"COM7", "modbus-tcp://127.0.0.1", form.Butt_network_save, "for ostrel-cli's Modbus commands", ""},
      {"COM300", rfc, form.Butt_network_save, "COM", ""},
      {"com7", rfc, form.Butt_network_save, "COM7", server.rfc()},
      {"COM7", rfc, form.Butt_network_test, "the server speaks RFC 2217, and its line is at 19200 baud, 8 data bits",
       server.rfc()},
      {"COM7", raw, form.Butt_network_save, "COM7", server.raw()},  // changed
      {"COM7", "tcp://127.0.0.1:" + QString::number(ostrel::cli::testing::FreePort()), form.Butt_network_test,
       "Cannot connect", server.raw()},
      {"COM7", "", form.Butt_network_remove, "COM7", ""},
  };
  for (const Step& s : steps) {
    form.Combo_network_com->setEditText(s.com);
    form.Edit_network_url->setText(s.url);
    s.button->click();
    const std::string message = form.Label_network_message->text().toStdString();
    EXPECT_NE(message.find(s.message), std::string::npos) << s.url.toStdString() << ": " << message;
    EXPECT_EQ(linkTarget(map + "/COM7"), s.target) << s.url.toStdString();
  }
  ::close(master);
}

}  // namespace
