#include "cli/ScanReplies.h"

#include "cli/Records.h"
#include "panel/TFP.h"

namespace ostrel::cli {
namespace {

// How many failed requests a summary line names before "and N more".
constexpr size_t kNamedInSummary = 4;

std::string sentence(ReplyKind kind) {
  switch (kind) {
    case ReplyKind::Refused: return "the panel refused the request";
    case ReplyKind::BadFrame: return "the reply's frame is broken (start, end, ID or CMD byte)";
    case ReplyKind::BadChecksum: return "bad checksum in the reply";
    case ReplyKind::TooShort: return "the reply is too short to hold its fields";
    case ReplyKind::Lost: return "no reply";
    case ReplyKind::LowByte: return "bad checksum in the reply (its low byte)";
    case ReplyKind::Good: break;
  }
  return "good reply";
}

size_t minimumLength(uint8_t code) {
  switch (code) {
    case panel::kCodePanelInfo: return panel::kPanelInfoMinLength;
    case panel::kCodeLoopInfo: return panel::kLoopInfoMinLength;
    case panel::kCodeDeviceInfo: return panel::kDeviceInfoMinLength;
    default: return 0;
  }
}

std::string listOf(const std::vector<const ReplyEntry*>& entries, bool withKind) {
  std::string out;
  for (size_t i = 0; i < entries.size() && i < kNamedInSummary; ++i) {
    if (i) out += ", ";
    out += entries[i]->request.label();
    if (withKind) out += std::string(" (") + KindName(entries[i]->verdict.kind) + ")";
  }
  if (entries.size() > kNamedInSummary) out += " and " + std::to_string(entries.size() - kNamedInSummary) + " more";
  return out;
}

}  // namespace

std::string PanelRequest::label() const {
  switch (code) {
    case panel::kCodePanelInfo: return "panel information";
    case panel::kCodeLoopInfo: return "loop " + std::to_string(a + 1) + " information";
    case panel::kCodeDeviceInfo: return "device " + std::to_string(b) + " of loop " + std::to_string(a + 1);
    default: return "request " + std::to_string(code);
  }
}

PanelRequest PanelRequest::FromFrame(const std::string& frame) {
  if (frame.size() < 10) return {};
  auto at = [&](size_t i) { return static_cast<uint8_t>(frame[i]); };
  return {at(5), at(8), at(9)};
}

const char* KindName(ReplyKind kind) {
  switch (kind) {
    case ReplyKind::Good: return "good";
    case ReplyKind::Refused: return "refused";
    case ReplyKind::BadFrame: return "bad frame";
    case ReplyKind::BadChecksum: return "bad checksum";
    case ReplyKind::TooShort: return "too short";
    case ReplyKind::Lost: return "no reply";
    case ReplyKind::LowByte: return "bad checksum low byte";
  }
  return "";
}

ReplyVerdict JudgeReply(const std::string& reply, const PanelRequest& request, bool strict) {
  ReplyVerdict v;
  v.checksumOk = panel::TFP::FullChecksumOk(reply);
  switch (panel::TFP::ReplyFrameFault(reply)) {
    case panel::TFP::FrameFault::Bytes: v.kind = ReplyKind::BadFrame; return v;
    case panel::TFP::FrameFault::Checksum: v.kind = ReplyKind::BadChecksum; return v;
    case panel::TFP::FrameFault::None: break;
  }
  if (strict && !v.checksumOk) {
    v.kind = ReplyKind::LowByte;
    return v;
  }
  // As the decoders do: the result byte first, then the length.
  if (reply.size() > 8 + 3 && reply[8] != 0)
    v.kind = ReplyKind::Refused;
  else if (reply.size() < minimumLength(request.code))
    v.kind = ReplyKind::TooShort;
  return v;
}

int ReplyLog::replies() const {
  int n = 0;
  for (const auto& e : entries_) n += e.verdict.kind != ReplyKind::Lost;
  return n;
}

int ReplyLog::failures() const {
  int n = 0;
  for (const auto& e : entries_) n += e.verdict.kind != ReplyKind::Good && e.verdict.kind != ReplyKind::Lost;
  return n;
}

int ReplyLog::keptWithBadChecksum() const {
  int n = 0;
  for (const auto& e : entries_) n += e.verdict.kind == ReplyKind::Good && !e.verdict.checksumOk;
  return n;
}

int ReplyLog::checksumErrors() const {
  int n = 0;
  for (const auto& e : entries_) n += e.verdict.kind != ReplyKind::Lost && !e.verdict.checksumOk;
  return n;
}

std::string ReplyLog::Line(const ReplyEntry& entry) {
  return entry.request.label() + ": " + sentence(entry.verdict.kind);
}

std::string ReplyLog::failureSummary() const {
  std::vector<const ReplyEntry*> failed;
  int refused = 0;
  // A lost reply ends the scan, and the line that says so names it.
  for (const auto& e : entries_) {
    if (e.verdict.kind == ReplyKind::Good || e.verdict.kind == ReplyKind::Lost) continue;
    failed.push_back(&e);
    refused += e.verdict.kind == ReplyKind::Refused;
  }
  if (failed.empty()) return {};
  const int garbled = static_cast<int>(failed.size()) - refused;
  std::string what;
  auto part = [&](int n, const char* verb) {
    if (n == 0) return;
    what += std::string(what.empty() ? "" : " and ") + verb + " " + std::to_string(n);
  };
  part(refused, "refused");
  part(garbled, "garbled");
  return "the panel " + what + " of " + std::to_string(replies()) + " replies: " + listOf(failed, true);
}

std::string ReplyLog::checksumSummary() const {
  std::vector<const ReplyEntry*> kept;
  for (const auto& e : entries_)
    if (e.verdict.kind == ReplyKind::Good && !e.verdict.checksumOk) kept.push_back(&e);
  if (kept.empty()) return {};
  return std::to_string(kept.size()) + " of " + std::to_string(replies()) +
         " replies have a wrong checksum low byte and were kept, as the window keeps them (--strict-checksum "
         "drops them): " +
         listOf(kept, false);
}

std::string ReplyLog::jsonErrors(const std::string& indent) const {
  std::string out = "[";
  bool first = true;
  for (const auto& e : entries_) {
    if (e.verdict.kind == ReplyKind::Good) continue;
    out += std::string(first ? "" : ",") + "\n" + indent + "  {\"request\": ";
    first = false;
    const auto& r = e.request;
    if (r.code == panel::kCodeLoopInfo)
      out += "\"loop\", \"loop\": " + std::to_string(r.a + 1);
    else if (r.code == panel::kCodeDeviceInfo)
      out += "\"device\", \"loop\": " + std::to_string(r.a + 1) + ", \"address\": " + std::to_string(r.b);
    else
      out += "\"panel\"";
    out += std::string(", \"kind\": ") + JsonString(KindName(e.verdict.kind)) +
           ", \"message\": " + JsonString(Line(e)) + "}";
  }
  return out + (first ? "]" : "\n" + indent + "]");
}

}  // namespace ostrel::cli
