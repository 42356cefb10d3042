#include "panel/ReplyMatch.h"

#include "panel/TFP.h"

namespace ostrel::panel {
namespace {

constexpr size_t kCodeAt = 5, kResultAt = 8, kIdentityAt = 9;

uint8_t at(const std::string& s, size_t i) { return static_cast<uint8_t>(s[i]); }

bool isRequestCode(uint8_t c) { return c == kCodePanelInfo || c == kCodeLoopInfo || c == kCodeDeviceInfo; }

}  // namespace

bool AnswersAnotherRequest(const std::string& reply, const PanelRequestId& awaited) {
  if (reply.size() <= kIdentityAt || !TFP::FullChecksumOk(reply)) return false;
  const uint8_t code = at(reply, kCodeAt);
  if (!isRequestCode(code)) return false;
  if (code != awaited.code) return true;
  // A refusal carries no data, so nothing more to compare.
  if (at(reply, kResultAt) != 0) return false;
  const uint8_t identity = at(reply, kIdentityAt);
  switch (code) {
    // Loop numbers 2 and up name the power part, which no request asks for
    // by number: such a reply is kept as the awaited loop's.
    case kCodeLoopInfo: return identity <= 1 && identity != awaited.a;
    case kCodeDeviceInfo: return identity != awaited.b;
    default: return false;
  }
}

std::string NamedRequest(const std::string& reply) {
  if (reply.size() <= kIdentityAt) return "another request";
  const uint8_t identity = at(reply, kIdentityAt);
  switch (at(reply, kCodeAt)) {
    case kCodePanelInfo: return "panel information";
    case kCodeLoopInfo: return "loop " + std::to_string(identity + 1) + " information";
    case kCodeDeviceInfo: return "device " + std::to_string(identity);
    default: return "another request";
  }
}

}  // namespace ostrel::panel
