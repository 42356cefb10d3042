#pragma once
// The log pane: a plain text editor to which the program appends whole lines and in which the
// user may edit. Appended lines share the document's blocks (core/LogBlocks.h), so a line costs
// little more than its text, however many the pane holds.
#include <QBasicTimer>
#include <QPlainTextEdit>
#include <QPointF>
#include <string>

namespace ostrel {

class LogMemo : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit LogMemo(QWidget* parent = nullptr);

  // Adds line as the new last line and brings it into view. Carriage returns that end it are
  // kept for the saved text.
  void appendLine(const QString& line);
  // Removes every line; the pane then holds no line, not even an empty one.
  void clearLines();
  // True from "clear" until the next appended line.
  bool clearedByProgram() const { return cleared_; }
  // True while nothing has changed the pane since start (its one empty line).
  bool untouchedSinceStart() const;
  // The lines joined by "\n" in UTF-8, the carriage returns that ended appended lines kept.
  std::string plainTextWithCrs() const;
  // The bytes "Save log" writes: every line in Windows-1251 followed by CR LF. Made block by
  // block, so saving a pane of a million lines needs no more than the file's own size again.
  std::string logFileBytes() const;

 protected:
  // A triple click selects the line under the mouse, not the whole block that holds it.
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void timerEvent(QTimerEvent* e) override;

 private:
  bool holdsNoLine() const;
  void selectLineAt(const QPointF& pos);

  bool cleared_ = false;
  int appendedRevision_ = -1;  // the document's revision after the last appended line
  QBasicTimer tripleClick_;    // runs for a double-click interval after a double click
  QPointF tripleClickPoint_;
};

}  // namespace ostrel
