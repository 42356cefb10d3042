#include "Controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "TUpDown.h"
#include "TypedInput.h"
#include "serial/VaPrst.h"

namespace ostrel {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(QLatin1String(name));
  return l;
}

QComboBox* MakeCombo(QWidget* parent, const char* name, const QStringList& items, int maxLen) {
  auto* c = new QComboBox(parent);
  c->setObjectName(QLatin1String(name));
  c->setEditable(true);
  c->setInsertPolicy(QComboBox::NoInsert);  // typed texts are not added to the list
  c->addItems(items);
  c->setCurrentIndex(-1);
  c->setEditText(QString());
  LimitTypedLength(c, c->lineEdit(), maxLen);
  c->lineEdit()->setObjectName(QLatin1String(name) + QLatin1String("_edit"));
  return c;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, const QString& text, int maxLen, bool readOnly) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(QLatin1String(name));
  LimitTypedLength(e, e, maxLen);
  e->setText(text);
  e->setReadOnly(readOnly);
  return e;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text,
                        std::optional<QStyle::StandardPixmap> icon) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(QLatin1String(name));
  b->setAutoDefault(false);
  if (icon) b->setIcon(parent->style()->standardIcon(*icon));
  return b;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const QString& text, bool checked, bool enabled) {
  auto* c = new QCheckBox(text, parent);
  c->setObjectName(QLatin1String(name));
  c->setChecked(checked);
  c->setEnabled(enabled);
  return c;
}

QWidget* SpinPair(QWidget* parent, QLineEdit* edit, TUpDown* ud, int editWidth) {
  auto* w = new QWidget(parent);
  auto* h = new QHBoxLayout(w);
  h->setContentsMargins(0, 0, 0, 0);
  h->setSpacing(0);
  edit->setParent(w);
  ud->setParent(w);
  edit->setFixedWidth(editWidth);
  h->addWidget(edit);
  h->addWidget(ud);
  h->addStretch();
  return w;
}

void SetComboText(QComboBox* combo, const QString& text) {
  const int idx = combo->findText(text, Qt::MatchExactly);
  if (idx >= 0) {
    combo->setCurrentIndex(idx);
  } else {
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
  }
}

QStringList ComNames() {
  QStringList l;
  for (int i = 1; i <= 20; ++i) l << QStringLiteral("COM%1").arg(i);
  return l;
}

QStringList ParityNames() {
  QStringList names;
  for (const auto& named : serial::kParityNames) names << QString::fromLatin1(named.name);
  return names;
}

}  // namespace ostrel
