#pragma once
// What each room of the main window may ask of the window itself: the log
// pane, the status bar, the modal dialogs, the one error report and the news
// that a link connected or disconnected. The main window (TForm1) is the one
// host; the rooms know it only through this.
#include <QString>
#include <exception>
#include <utility>

#include "Dialogs.h"

namespace ostrel {

class WindowHost {
 public:
  virtual ~WindowHost() = default;

  // Appends one whole line to the log pane and keeps the newest line in view.
  virtual void AddLogLine(const QString& line) = 0;
  // The text of one status bar panel: 0 the panel link, 1 the Modbus link,
  // 2 the reply check.
  virtual void showStatus(int panel, const QString& text) = 0;
  virtual Dialogs& dialogs() = 0;
  // An error that left a handler: one message box, and the program goes on.
  virtual void reportError(const std::exception& e) = 0;
  // A link connected or disconnected.
  virtual void portsChanged() = 0;

  // The handler as a control's slot: an error it raises goes to reportError
  // and does not unwind through the toolkit's own frames (built without
  // exception support, they would skip their clean-up and leave, say, a
  // button half pressed).
  template <class Handler>
  auto guarded(Handler handler) {
    return [this, handler = std::move(handler)] {
      try {
        handler();
      } catch (const std::exception& e) {
        reportError(e);
      }
    };
  }
  // A room's handler, guarded.
  template <class Room>
  auto guarded(Room* room, void (Room::*handler)()) {
    return guarded([room, handler] { (room->*handler)(); });
  }
};

}  // namespace ostrel
