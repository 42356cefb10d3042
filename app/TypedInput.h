#pragma once
// What the user may put into a one-line text control: a length limit and a
// character rule. Both apply to what a person types, pastes, drops or commits
// through an input method; text that the program sets (a value from the
// settings file, a list item, an up-down's position) is taken unchanged.
#include <QChar>
#include <functional>

class QLineEdit;
class QWidget;

namespace ostrel {

// A key-press handler: it leaves a character that may be typed as it is and
// replaces any other by escape (27), which is then not inserted.
using CharRule = std::function<void(QChar&)>;

// At most maxLen characters (0: no limit). A longer text the program set can
// still be shortened.
void LimitTypedLength(QWidget* control, QLineEdit* edit, int maxLen);

// Every character that reaches edit from the user passes through rule, one by
// one. control is the widget that holds the keyboard focus: the edit itself,
// or the editable combo box whose inner edit it is (such a box takes the keys
// and hands them to its edit directly, past any filter on the edit).
// Typed keys, key texts of several characters, the paste shortcut and input
// method commits keep the characters the rule lets through; a paste from the
// mouse (middle button, context menu, drop) is refused when it holds any
// character the rule refuses.
void FilterTypedCharacters(QWidget* control, QLineEdit* edit, CharRule rule);

// The digits rule of the number fields: digits, backspace, line feed and
// carriage return pass; any other character becomes escape (27).
void DigitsOnly(QChar& key);

// Puts the key-press handler of a number field (which applies DigitsOnly) on
// control: an edit box, or an editable combo box with its inner edit.
void FilterDigits(QWidget* control, CharRule handler);

}  // namespace ostrel
