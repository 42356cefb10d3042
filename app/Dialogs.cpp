#include "Dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

namespace ostrel {

QMessageBox::StandardButton QtDialogs::message(const QString& caption, const QString& text, QMessageBox::Icon icon,
                                               QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, caption, text, buttons, parent_);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString QtDialogs::saveFile(const QString& dir, const QString& suggested, const QString& filter,
                            const QString& defaultSuffix) {
  QFileDialog dlg(parent_, QString(), dir, filter);
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setFileMode(QFileDialog::AnyFile);
  dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
  if (!defaultSuffix.isEmpty()) dlg.setDefaultSuffix(defaultSuffix);
  if (!suggested.isEmpty()) dlg.selectFile(suggested);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
  return dlg.selectedFiles().first();
}

QString QtDialogs::openFile(const QString& dir, const QString& filter) {
  QFileDialog dlg(parent_, QString(), dir, filter);
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setFileMode(QFileDialog::ExistingFile);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
  return dlg.selectedFiles().first();
}

bool QtDialogs::openDocument(const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }

int ScriptedDialogs::count(Kind k) const {
  int n = 0;
  for (const auto& s : shown) n += s.kind == k;
  return n;
}

const ScriptedDialogs::Shown* ScriptedDialogs::last(Kind k) const {
  for (auto it = shown.rbegin(); it != shown.rend(); ++it)
    if (it->kind == k) return &*it;
  return nullptr;
}

QMessageBox::StandardButton ScriptedDialogs::message(const QString& caption, const QString& text,
                                                     QMessageBox::Icon icon, QMessageBox::StandardButtons buttons) {
  Shown s{Kind::Message, caption, text, icon, buttons, {}, {}, {}};
  shown.push_back(s);
  if (!answers.empty()) {
    auto a = answers.front();
    answers.pop_front();
    return a;
  }
  for (auto b : {QMessageBox::Yes, QMessageBox::Ok, QMessageBox::No, QMessageBox::Cancel})
    if (buttons.testFlag(b)) return b;
  return QMessageBox::NoButton;
}

QString ScriptedDialogs::saveFile(const QString& dir, const QString& suggested, const QString& filter,
                                  const QString& defaultSuffix) {
  shown.push_back({Kind::SaveFile, {}, suggested, QMessageBox::NoIcon, {}, dir, filter, defaultSuffix});
  if (files.empty()) return {};
  QString f = files.front();
  files.pop_front();
  return f;
}

QString ScriptedDialogs::openFile(const QString& dir, const QString& filter) {
  shown.push_back({Kind::OpenFile, {}, {}, QMessageBox::NoIcon, {}, dir, filter, {}});
  if (files.empty()) return {};
  QString f = files.front();
  files.pop_front();
  return f;
}

bool ScriptedDialogs::openDocument(const QString& path) {
  shown.push_back({Kind::Document, {}, path, QMessageBox::NoIcon, {}, {}, {}, {}});
  return viewerAvailable;
}

}  // namespace ostrel
