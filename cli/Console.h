#pragma once
// What ostrel-cli says on standard error: one-line notes and errors, the
// traffic of --verbose as the log pane's lines, and a progress line that is
// only drawn when standard error is a terminal.
#include <string>

namespace ostrel::cli {

class Console {
 public:
  Console(bool quiet, bool verbose);

  bool quiet() const { return quiet_; }
  // A traffic line ("SENT:...", "QVFP: ...", "QVMD:..."); shown with --verbose.
  void traffic(const std::string& line);
  // A remark about the run; not shown with --quiet.
  void note(const std::string& text);
  // The one line that explains a failure; always shown.
  void error(const std::string& text);
  // Something the user must know of a run that succeeded; always shown.
  void warning(const std::string& text);
  // Replaces the progress line (terminal only, not with --quiet).
  void progress(const std::string& text);
  // Removes the progress line, if one is drawn.
  void endProgress();

 private:
  void line(const std::string& text);
  bool quiet_, verbose_, tty_;
  bool progressShown_ = false;
};

// The texts of the log pane end some lines in a carriage return; on a
// terminal that would hide the line, so it is dropped here. Line breaks
// inside a text become blanks, so every message stays one line.
std::string OneLine(std::string text);

}  // namespace ostrel::cli
