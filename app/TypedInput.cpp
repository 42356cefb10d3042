#include "TypedInput.h"

#include <QClipboard>
#include <QComboBox>
#include <QEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QValidator>

namespace ostrel {
namespace {

constexpr ushort kRefused = 27;

// The characters of text that the rule lets through and that a line edit
// would insert (line ends and backspace pass the rule but are keys, not text).
QString passing(const QString& text, const CharRule& rule) {
  QString kept;
  for (QChar ch : text) {
    QChar c = ch;
    rule(c);
    if (c.unicode() != kRefused && c.isPrint()) kept += c;
  }
  return kept;
}

int refusedCount(const QString& text, const CharRule& rule) {
  int n = 0;
  for (QChar ch : text) {
    QChar c = ch;
    rule(c);
    n += c.unicode() == kRefused;
  }
  return n;
}

// Judges each change the user makes against the last accepted text, so the
// program's own longer or non-conforming text stays and can still be edited.
// Typed keys have already been filtered one by one when they get here; this
// catches what reaches the edit without a key (mouse paste, drop).
class TypedTextRule : public QValidator {
 public:
  explicit TypedTextRule(QLineEdit* edit) : QValidator(edit) {
    connect(edit, &QLineEdit::textChanged, this, [this](const QString& t) { last_ = t; });
  }
  void setMaxLength(int max) { max_ = max; }
  void setRule(CharRule rule) { rule_ = std::move(rule); }

  State validate(QString& input, int&) const override {
    if (max_ > 0 && input.size() > max_ && input.size() > last_.size()) return Invalid;
    if (rule_ && refusedCount(input, rule_) > refusedCount(last_, rule_)) return Invalid;
    return Acceptable;
  }

 private:
  int max_ = 0;
  CharRule rule_;
  QString last_;  // the last text the edit held
};

TypedTextRule* ruleOf(QLineEdit* edit) {
  if (auto* r = dynamic_cast<TypedTextRule*>(const_cast<QValidator*>(edit->validator()))) return r;
  auto* r = new TypedTextRule(edit);
  edit->setValidator(r);
  return r;
}

class TypedCharFilter : public QObject {
 public:
  TypedCharFilter(QObject* parent, QLineEdit* edit, CharRule rule)
      : QObject(parent), edit_(edit), rule_(std::move(rule)) {}

 protected:
  bool eventFilter(QObject*, QEvent* ev) override {
    if (ev->type() == QEvent::KeyPress) return keyPress(static_cast<QKeyEvent*>(ev));
    if (ev->type() == QEvent::InputMethod) return inputMethod(static_cast<QInputMethodEvent*>(ev));
    return false;
  }

 private:
  // True when the event was handled here and must not reach the edit.
  bool keyPress(QKeyEvent* key) {
    if (key->matches(QKeySequence::Paste)) {
      insert(QGuiApplication::clipboard()->text(QClipboard::Clipboard));
      return true;
    }
    // Shortcuts (Ctrl+C, Ctrl+Z ...) insert nothing; editing keys carry no text.
    if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) return false;
    const QString text = key->text();
    if (text.isEmpty()) return false;
    if (text.size() == 1) {
      QChar c = text.at(0);
      // Tab, escape, delete and the like are keys, not typed characters.
      if (!c.isPrint() && c.unicode() != 8 && c.unicode() != 10 && c.unicode() != 13) return false;
      rule_(c);
      return c.unicode() == kRefused;
    }
    const QString kept = passing(text, rule_);
    if (kept == text) return false;
    insert(kept);
    return true;
  }

  bool inputMethod(QInputMethodEvent* im) {
    const QString commit = im->commitString();
    const QString kept = passing(commit, rule_);
    if (kept == commit) return false;
    QInputMethodEvent filtered(im->preeditString(), im->attributes());
    filtered.setCommitString(kept, im->replacementStart(), im->replacementLength());
    edit_->event(&filtered);
    return true;
  }

  void insert(const QString& text) {
    const QString kept = passing(text, rule_);
    if (!kept.isEmpty() && !edit_->isReadOnly() && edit_->isEnabled()) edit_->insert(kept);
  }

  QLineEdit* edit_;
  CharRule rule_;
};

}  // namespace

void LimitTypedLength(QWidget* control, QLineEdit* edit, int maxLen) {
  control->setProperty("MaxLength", maxLen);
  if (maxLen > 0) ruleOf(edit)->setMaxLength(maxLen);
}

void FilterTypedCharacters(QWidget* control, QLineEdit* edit, CharRule rule) {
  ruleOf(edit)->setRule(rule);
  auto* filter = new TypedCharFilter(control, edit, std::move(rule));
  control->installEventFilter(filter);
  if (control != edit) edit->installEventFilter(filter);
}

void DigitsOnly(QChar& key) {
  const ushort c = key.unicode();
  if ((c >= '0' && c <= '9') || c == 8 || c == 10 || c == 13) return;
  key = QChar(kRefused);
}

void FilterDigits(QWidget* control, CharRule handler) {
  auto* combo = qobject_cast<QComboBox*>(control);
  QLineEdit* edit = combo ? combo->lineEdit() : qobject_cast<QLineEdit*>(control);
  FilterTypedCharacters(control, edit, std::move(handler));
}

}  // namespace ostrel
