// The caption of the window and the titles of its message boxes as the X
// server holds them: the toolkit may add to a title on its way to the window
// system, which windowTitle() does not show.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <memory>

#include "TForm1.h"
#include "tests/app/find_control.h"

using namespace ostrel;

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, strlen(name), name), nullptr);
  const xcb_atom_t a = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
  free(r);
  return a;
}

// The window's name as the window manager reads it (_NET_WM_NAME).
QString x11Title(QWidget* w) {
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11) return QStringLiteral("<no X11>");
  xcb_connection_t* c = x11->connection();
  xcb_flush(c);
  const auto window = static_cast<xcb_window_t>(w->winId());
  xcb_get_property_reply_t* r = xcb_get_property_reply(
      c, xcb_get_property(c, 0, window, atom(c, "_NET_WM_NAME"), atom(c, "UTF8_STRING"), 0, 1024), nullptr);
  QString title;
  if (r)
    title = QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
  free(r);
  return title;
}

class TitleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("OSTREL_NO_X_SERVER")) GTEST_SKIP() << "Xvfb is not available";
    qputenv("OSTREL_HOME", dir.path().toLocal8Bit());
  }
  QString iniPath() const { return dir.path() + "/ostrel.ini"; }

  // Answers the next modal message box with `button` and records its title.
  void answerNextBox(QMessageBox::StandardButton button, QString& title) {
    QTimer::singleShot(0, [this, button, &title] { poll(button, title); });
  }

  QTemporaryDir dir;

 private:
  void poll(QMessageBox::StandardButton button, QString& title) {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) {
      QTimer::singleShot(10, [this, button, &title] { poll(button, title); });
      return;
    }
    title = x11Title(box);
    box->button(button)->click();
  }
};

}  // namespace

TEST_F(TitleTest, WindowAndMessageBoxesCarryExactlyTheirTexts) {
  auto form = std::make_unique<TForm1>(nullptr, iniPath());  // real message boxes
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  EXPECT_EQ(x11Title(form.get()).toStdString(), "Quorvel test configuration and read utility");

  QString exitTitle;
  answerNextBox(QMessageBox::No, exitTitle);
  Child<QAction>(form, "Exit1")->trigger();
  EXPECT_EQ(exitTitle.toStdString(), "Exit Confirmation");
  ASSERT_TRUE(form->isVisible());

  // A folder where the settings file should be: closing warns.
  ASSERT_TRUE(QDir().mkdir(iniPath()));
  QString savingTitle;
  answerNextBox(QMessageBox::Ok, savingTitle);
  form->close();
  EXPECT_EQ(savingTitle.toStdString(), "Saving settings");
}
