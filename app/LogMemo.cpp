#include "LogMemo.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "core/LogBlocks.h"
#include "core/LogFile.h"

namespace ostrel {

namespace {

LogBlockShape shapeOf(const QTextBlock& block) {
  LogBlockShape shape;
  shape.lines = 1 + static_cast<int>(block.text().count(QChar(kLogLineSeparator)));
  shape.chars = static_cast<std::size_t>(block.length() - 1);
  shape.trailingCrs = block.userState() > 0 ? block.userState() : 0;
  return shape;
}

}  // namespace

LogMemo::LogMemo(QWidget* parent) : QPlainTextEdit(parent) {}

bool LogMemo::holdsNoLine() const {
  // An empty document shows as one empty line. It holds none after "clear", or after the user
  // deleted everything (a change that was not an append); right after start it holds that line.
  const QTextDocument* doc = document();
  const bool userEmptied = doc->isModified() && doc->revision() != appendedRevision_;
  return (cleared_ || userEmptied) && doc->isEmpty();
}

void LogMemo::appendLine(const QString& line) {
  QString body = line;
  int crs = 0;
  while (body.endsWith(QLatin1Char('\r'))) {
    body.chop(1);
    ++crs;
  }
  QTextDocument* doc = document();
  QTextCursor c(doc);
  c.movePosition(QTextCursor::End);
  if (holdsNoLine()) {
    c.insertText(body);
  } else if (LogLineJoinsBlock(shapeOf(c.block()), static_cast<std::size_t>(body.size()), crs)) {
    c.insertText(QChar(kLogLineSeparator) + body);
  } else {
    c.insertBlock();
    c.insertText(body);
  }
  c.block().setUserState(crs > 0 ? crs : -1);
  cleared_ = false;
  doc->setModified(true);
  appendedRevision_ = doc->revision();
  QScrollBar* sb = verticalScrollBar();
  sb->setValue(sb->maximum());
}

void LogMemo::clearLines() {
  clear();
  cleared_ = true;
}

bool LogMemo::untouchedSinceStart() const { return !cleared_ && !document()->isModified(); }

std::string LogMemo::plainTextWithCrs() const {
  std::string text;
  const QTextDocument* doc = document();
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
    if (b != doc->begin()) text += '\n';
    text += LogBlockPlainText(b.text().toStdString(), b.userState());
  }
  return text;
}

std::string LogMemo::logFileBytes() const {
  std::string bytes;
  const QTextDocument* doc = document();
  const QTextBlock first = doc->begin();
  // An empty pane holds one empty line right after start and none once anything changed it.
  const bool emptyText = doc->blockCount() == 1 && first.length() == 1 && first.userState() <= 0;
  if (emptyText && !untouchedSinceStart()) return bytes;
  const auto chars = static_cast<std::size_t>(doc->characterCount());
  bytes.reserve(chars + chars / 8 + 2 * static_cast<std::size_t>(doc->blockCount()));  // with CR LF ends
  for (QTextBlock b = first; b.isValid(); b = b.next()) {
    AppendLogFileLines(bytes, LogBlockPlainText(b.text().toStdString(), b.userState()));
  }
  return bytes;
}

void LogMemo::mouseDoubleClickEvent(QMouseEvent* e) {
  QPlainTextEdit::mouseDoubleClickEvent(e);
  if (e->button() != Qt::LeftButton) return;
  tripleClick_.start(QApplication::doubleClickInterval(), this);
  tripleClickPoint_ = e->position();
}

void LogMemo::mousePressEvent(QMouseEvent* e) {
  const bool triple = tripleClick_.isActive() && e->button() == Qt::LeftButton &&
                      (e->position() - tripleClickPoint_).manhattanLength() < QApplication::startDragDistance();
  tripleClick_.stop();
  QPlainTextEdit::mousePressEvent(e);  // a triple click there selects the whole block
  if (triple) selectLineAt(e->position());
}

void LogMemo::selectLineAt(const QPointF& pos) {
  // The line as shown, with the break that ends it, as a triple click selects a line elsewhere.
  QTextCursor c = cursorForPosition(pos.toPoint());
  c.movePosition(QTextCursor::StartOfLine);
  c.movePosition(QTextCursor::EndOfLine, QTextCursor::KeepAnchor);
  c.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
  setTextCursor(c);
}

void LogMemo::timerEvent(QTimerEvent* e) {
  if (e->timerId() == tripleClick_.timerId()) {
    tripleClick_.stop();
    return;
  }
  QPlainTextEdit::timerEvent(e);
}

}  // namespace ostrel
