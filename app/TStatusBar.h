#pragma once
// A status bar of fixed-width text panels, addressed by index.
#include <QStatusBar>
#include <vector>

class QLabel;

namespace ostrel {

class TStatusBar : public QStatusBar {
  Q_OBJECT
 public:
  TStatusBar(const QString& name, const std::vector<int>& widths, QWidget* parent = nullptr);
  int panelCount() const { return static_cast<int>(panels_.size()); }
  QString panelText(int i) const;
  void setPanelText(int i, const QString& text);
  int panelWidth(int i) const;

 private:
  std::vector<QLabel*> panels_;
};

}  // namespace ostrel
