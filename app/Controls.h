#pragma once
// The window's controls as its rooms make them: each named by its objectName,
// texts and limits given where it is made.
#include <QString>
#include <QStringList>
#include <QStyle>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace ostrel {

class TUpDown;

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text);
// An editable list whose typed texts are not added to it; maxLen 0: no limit.
QComboBox* MakeCombo(QWidget* parent, const char* name, const QStringList& items, int maxLen);
QLineEdit* MakeEdit(QWidget* parent, const char* name, const QString& text, int maxLen, bool readOnly = false);
// A push button that is never the default button; icon: one of the style's, or none.
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text,
                        std::optional<QStyle::StandardPixmap> icon = std::nullopt);
QCheckBox* MakeCheck(QWidget* parent, const char* name, const QString& text, bool checked = false, bool enabled = true);
// An edit box with its up-down, side by side, the edit box editWidth wide.
QWidget* SpinPair(QWidget* parent, QLineEdit* edit, TUpDown* ud, int editWidth);

// Chooses the list item of that text, or shows the text in the edit box
// when the list has no such item.
void SetComboText(QComboBox* combo, const QString& text);

// The names of the ports offered in the link boxes: COM1 .. COM20.
QStringList ComNames();
// The names of the parities, in the order the link boxes offer them.
QStringList ParityNames();

}  // namespace ostrel
