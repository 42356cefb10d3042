#pragma once
// The seam for modal dialogs and for handing a document to the desktop's
// viewer. The program shows real Qt dialogs (QtDialogs); tests use
// ScriptedDialogs, which records what was shown and answers as told.
#include <QMessageBox>
#include <QString>
#include <deque>
#include <vector>

class QWidget;

namespace ostrel {

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual QMessageBox::StandardButton message(const QString& caption, const QString& text, QMessageBox::Icon icon,
                                              QMessageBox::StandardButtons buttons) = 0;
  // Filters in Qt form ("CSV files (*.csv)"). An empty result means cancelled.
  virtual QString saveFile(const QString& dir, const QString& suggested, const QString& filter,
                           const QString& defaultSuffix) = 0;
  virtual QString openFile(const QString& dir, const QString& filter) = 0;
  // Opens a local file in the desktop's viewer for its type; false when no
  // viewer could be started.
  virtual bool openDocument(const QString& path) = 0;
};

class QtDialogs : public Dialogs {
 public:
  explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
  void setParent(QWidget* parent) { parent_ = parent; }
  QMessageBox::StandardButton message(const QString& caption, const QString& text, QMessageBox::Icon icon,
                                      QMessageBox::StandardButtons buttons) override;
  QString saveFile(const QString& dir, const QString& suggested, const QString& filter,
                   const QString& defaultSuffix) override;
  QString openFile(const QString& dir, const QString& filter) override;
  bool openDocument(const QString& path) override;

 private:
  QWidget* parent_;
};

class ScriptedDialogs : public Dialogs {
 public:
  enum class Kind { Message, SaveFile, OpenFile, Document };
  struct Shown {
    Kind kind;
    QString caption;  // message caption
    QString text;     // message text, the suggested file name, or the document
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QString dir;
    QString filter;
    QString defaultSuffix;
  };

  std::vector<Shown> shown;
  // Answers in order; when they run out, messages answer with their first
  // button of Yes/Ok/No/Cancel present, file dialogs are cancelled.
  std::deque<QMessageBox::StandardButton> answers;
  std::deque<QString> files;
  bool viewerAvailable = true;  // what openDocument answers

  int count(Kind k) const;
  const Shown* last(Kind k) const;

  QMessageBox::StandardButton message(const QString& caption, const QString& text, QMessageBox::Icon icon,
                                      QMessageBox::StandardButtons buttons) override;
  QString saveFile(const QString& dir, const QString& suggested, const QString& filter,
                   const QString& defaultSuffix) override;
  QString openFile(const QString& dir, const QString& filter) override;
  bool openDocument(const QString& path) override;
};

}  // namespace ostrel
