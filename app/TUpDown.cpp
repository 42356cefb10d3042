#include "TUpDown.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace ostrel {

TUpDown::TUpDown(const QString& name, QLineEdit* associate, int min, int max, int position, int increment,
                 QWidget* parent)
    : QWidget(parent), edit_(associate), min_(min), max_(max), increment_(increment), pos_(min) {
  setObjectName(name);
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->setSpacing(0);
  up_ = new QToolButton(this);
  down_ = new QToolButton(this);
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  for (auto* b : {up_, down_}) {
    b->setAutoRepeat(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setFixedSize(16, 11);
    lay->addWidget(b);
  }
  connect(up_, &QToolButton::clicked, this, [this] { step(+1); });
  connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
  if (edit_) edit_->installEventFilter(this);
  setPosition(position);
}

int TUpDown::Position() const {
  // The edit box may have been typed into: a number within the limits there
  // is the position; anything else leaves the last position.
  if (edit_) {
    bool ok = false;
    int typed = edit_->text().trimmed().toInt(&ok);
    if (ok && typed >= min_ && typed <= max_) return typed;
  }
  return pos_;
}

void TUpDown::setPosition(int pos) {
  pos = std::clamp(pos, min_, max_);
  bool changed = pos != pos_;
  pos_ = pos;
  if (edit_) {
    QString text = QString::number(pos);
    if (edit_->text() != text) edit_->setText(text);
  }
  if (changed) emit positionChanged(pos_);
}

void TUpDown::setLimits(int min, int max) {
  min_ = std::min(min, max);
  max_ = std::max(min, max);
  setPosition(pos_);
}

void TUpDown::step(int dir) {
  if (!isEnabled()) return;
  long next = static_cast<long>(Position()) + static_cast<long>(dir) * increment_;
  setPosition(static_cast<int>(std::clamp<long>(next, min_, max_)));
}

bool TUpDown::eventFilter(QObject* watched, QEvent* ev) {
  // The arrow keys of the edit box step the position, as the arrows do.
  if (watched == edit_ && ev->type() == QEvent::KeyPress && isEnabled()) {
    auto* key = static_cast<QKeyEvent*>(ev);
    if (key->key() == Qt::Key_Up) {
      step(+1);
      return true;
    }
    if (key->key() == Qt::Key_Down) {
      step(-1);
      return true;
    }
  }
  return QWidget::eventFilter(watched, ev);
}

void TUpDown::changeEvent(QEvent* ev) {
  if (ev->type() == QEvent::EnabledChange) {
    up_->setEnabled(isEnabled());
    down_->setEnabled(isEnabled());
  }
  QWidget::changeEvent(ev);
}

}  // namespace ostrel
