#pragma once
// A pair of spin arrows attached to an edit box. It writes its position as a
// plain whole number (no thousands separators) into the edit box, stops at
// its limits without wrapping, and takes a number typed into the edit box as
// its position when that number lies within the limits.
#include <QWidget>

class QLineEdit;
class QToolButton;

namespace ostrel {

class TUpDown : public QWidget {
  Q_OBJECT
 public:
  TUpDown(const QString& name, QLineEdit* associate, int min, int max, int position, int increment = 1,
          QWidget* parent = nullptr);

  int Position() const;
  void setPosition(int pos);  // clamped to Min..Max, written into the edit box
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Increment() const { return increment_; }
  void setLimits(int min, int max);
  QLineEdit* Associate() const { return edit_; }

  void stepUp() { step(+1); }
  void stepDown() { step(-1); }

 signals:
  void positionChanged(int pos);

 protected:
  bool eventFilter(QObject* watched, QEvent* ev) override;
  void changeEvent(QEvent* ev) override;

 private:
  void step(int dir);
  QLineEdit* edit_;
  QToolButton* up_;
  QToolButton* down_;
  int min_, max_, increment_;
  int pos_;
};

}  // namespace ostrel
