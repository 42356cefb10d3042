#pragma once
// The log pane under the pages, its buttons (Print, Save log, Clear log) and
// the custom command beside it, which sends a typed text in ASCII or as hex
// bytes over the panel link.
#include <QString>
#include <string>

class QCheckBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QWidget;

namespace ostrel {

class LogMemo;
class SerialLinkBox;
class WindowHost;

class LogPane {
 public:
  // programFolder: where "Save log" writes files/log.txt.
  LogPane(QWidget* parent, WindowHost& host, QString programFolder);

  QWidget* widget() const { return area_; }
  // The link the custom command is sent over.
  void sendCommandsOver(SerialLinkBox& link) { commandLink_ = &link; }

  // ---- the pane's lines ----
  // Appends one whole line and keeps the newest line in view.
  void AddLogLine(const QString& line);
  // Removes every line; the pane then holds no line, not even an empty one.
  void ClearLog();
  bool logHoldsNoLine() const;
  // True while nothing has changed the pane since start (its one empty line).
  bool logUntouchedSinceStart() const;
  // The pane's lines joined by "\n" in UTF-8, trailing carriage returns kept.
  std::string logPlainText() const;

  // ---- handlers ----
  void Check_asciiClick();
  void Check_hexClick();
  void Butt_command_sendClick();
  void BitBtn5Click();
  void BitBtn6Click();

  // The custom command's mode at start: hexadecimal.
  void startInHexMode();
  void setEnglishTexts();

 private:
  void build(QWidget* parent);
  QLayout* buildLogButtons();
  QLayout* buildCustomCommand();
  void wire();

  WindowHost& host_;
  QString programFolder_;
  SerialLinkBox* commandLink_ = nullptr;

  QWidget* area_ = nullptr;
  LogMemo* Memo_current = nullptr;
  QPushButton* BitBtn7 = nullptr;
  QPushButton* BitBtn6 = nullptr;
  QPushButton* BitBtn5 = nullptr;
  QLabel* Label4 = nullptr;
  QCheckBox* Check_ascii = nullptr;
  QCheckBox* Check_hex = nullptr;
  QLineEdit* Edit_command = nullptr;
  QPushButton* Butt_command_send = nullptr;
};

}  // namespace ostrel
