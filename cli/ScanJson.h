#pragma once
// The scan as one JSON document: the panel texts, loops and devices with
// the window's cells under their old keys, each with its values typed
// (numbers as numbers, codes beside their texts), and what failed.
#include <array>
#include <string>
#include <vector>

#include "cli/ScanReplies.h"

namespace ostrel::cli {

// The version of the document's shape, written as "format". 1 had only the
// cells as strings; 2 added "typed", "checksum_ok", "panel_info", "replies",
// "retries", "checksum_errors" and "errors".
inline constexpr int kScanJsonFormat = 2;

// One row of the loop or device table and the decoded reply it came from.
struct ScannedRow {
  std::vector<std::string> cells;
  std::string reply;
  bool checksumOk = true;
  int loop = 0;  // 1 or 2, the loop whose device this is
};

struct ScanResult {
  std::array<std::string, 3> labels;
  std::string panelReply;  // empty unless the panel information was decoded
  bool panelChecksumOk = true;
  std::vector<ScannedRow> loops, devices;
};

std::string ScanJsonDocument(const ScanResult& scan, const ReplyLog& replies, bool complete, const std::string& error);

}  // namespace ostrel::cli
