#include "TStatusBar.h"

#include <QLabel>

namespace ostrel {

TStatusBar::TStatusBar(const QString& name, const std::vector<int>& widths, QWidget* parent) : QStatusBar(parent) {
  setObjectName(name);
  setSizeGripEnabled(true);
  for (size_t i = 0; i < widths.size(); ++i) {
    auto* l = new QLabel(this);
    l->setObjectName(QStringLiteral("%1_Panel%2").arg(name).arg(i));
    l->setFixedWidth(widths[i]);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setContentsMargins(3, 0, 3, 0);
    addWidget(l);
    panels_.push_back(l);
  }
}

QString TStatusBar::panelText(int i) const { return i >= 0 && i < panelCount() ? panels_[i]->text() : QString(); }

void TStatusBar::setPanelText(int i, const QString& text) {
  if (i >= 0 && i < panelCount()) panels_[i]->setText(text);
}

int TStatusBar::panelWidth(int i) const { return i >= 0 && i < panelCount() ? panels_[i]->width() : 0; }

}  // namespace ostrel
