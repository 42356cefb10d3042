#pragma once
// What the scan's replies came to, one entry per request answered: the
// request it answers, whether the panel refused it or the reply was garbled
// (broken frame, bad checksum, too short, lost), and whether its full
// checksum held. Reports are built from these entries, not from log lines,
// so one bad reply counts once and every message names its request.
#include <cstdint>
#include <string>
#include <vector>

namespace ostrel::cli {

// A panel request as written on the line: its code and first two payload bytes.
struct PanelRequest {
  uint8_t code = 0, a = 0, b = 0;
  // "panel information", "loop 2 information", "device 3 of loop 1".
  std::string label() const;
  // The request read back from a decoded frame; code 0 when it holds none.
  static PanelRequest FromFrame(const std::string& frame);
};

enum class ReplyKind { Good, Refused, BadFrame, BadChecksum, TooShort, Lost, LowByte };

struct ReplyVerdict {
  ReplyKind kind = ReplyKind::Good;
  // The full checksum held (false for anything the scan's check refused too).
  bool checksumOk = true;
  // Garbled: the scan gets no data from it and asking again may help.
  bool garbled() const {
    return kind == ReplyKind::BadFrame || kind == ReplyKind::BadChecksum || kind == ReplyKind::TooShort ||
           kind == ReplyKind::Lost || kind == ReplyKind::LowByte;
  }
};

// The verdict on a decoded reply to `request` by the scan's own rules (frame
// bytes, the checksum's high byte, the result byte, the decoder's minimum
// length); with `strict` a wrong low checksum byte is a garbled reply too.
ReplyVerdict JudgeReply(const std::string& reply, const PanelRequest& request, bool strict);

// Short name of a kind, as in the summary and the JSON ("refused", "bad checksum").
const char* KindName(ReplyKind kind);

struct ReplyEntry {
  PanelRequest request;
  ReplyVerdict verdict;
};

class ReplyLog {
 public:
  void add(const PanelRequest& request, const ReplyVerdict& verdict) { entries_.push_back({request, verdict}); }
  void retried() { ++retries_; }

  // Replies that came (a lost one is not counted), and those of them that failed.
  int replies() const;
  int failures() const;
  // Replies kept although their full checksum is wrong.
  int keptWithBadChecksum() const;
  // Replies whose full checksum is wrong, kept or not.
  int checksumErrors() const;
  int retries() const { return retries_; }

  // One line for a failed reply: "device 1 of loop 2: the panel refused the request".
  static std::string Line(const ReplyEntry& entry);
  // "the panel refused 1 and garbled 1 of 9 replies: device 1 of loop 2
  // (refused), device 3 of loop 1 (bad checksum)", naming at most a few;
  // empty when none failed.
  std::string failureSummary() const;
  // The same for replies kept with a wrong low checksum byte; empty when none.
  std::string checksumSummary() const;
  // A JSON array of the failed replies, one object each.
  std::string jsonErrors(const std::string& indent) const;
  const std::vector<ReplyEntry>& entries() const { return entries_; }

 private:
  std::vector<ReplyEntry> entries_;
  int retries_ = 0;
};

}  // namespace ostrel::cli
