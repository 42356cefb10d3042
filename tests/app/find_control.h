#pragma once
// A control of the window found as a person finds it: by its name (its
// objectName) and its kind. A missing control fails the test that asked.
#include <QObject>
#include <memory>
#include <stdexcept>
#include <string>

#include "FileDialogs.h"
#include "TStatusBar.h"
#include "TStringGrid.h"
#include "TTimer.h"
#include "TUpDown.h"

namespace ostrel {

template <class T>
T* Child(const QObject& root, const char* name) {
  T* control = root.findChild<T*>(QLatin1String(name));
  if (!control) throw std::runtime_error(std::string("the window has no control ") + name + " of that kind");
  return control;
}

template <class T>
T* Child(const QObject* root, const char* name) {
  return Child<T>(*root, name);
}

template <class T, class Root>
T* Child(const std::unique_ptr<Root>& root, const char* name) {
  return Child<T>(*root, name);
}

}  // namespace ostrel
