#pragma once
// The records of ostrel-cli read: one read-out as a table, a CSV line or a
// JSON line, and the records of a lost and regained port in the same formats.
#include <string>
#include <vector>

#include "modbus/reply.h"
#include "modbus/values.h"

namespace ostrel::cli {

enum class Format { Table, Csv, Jsonl };

struct ReadRequest {
  int slave = 1;
  int function = 4;  // 3 holding registers, 4 input registers
  int address = 1;   // the first register's address on the wire
  int first = 1;     // its number as shown: the address, or the address + 1 with --one-based
  int count = 125;
  bool oneBased = false;
  modbus::ValueType type = modbus::ValueType::Uint16;
  modbus::WordOrder order = modbus::WordOrder::ABCD;
};

struct Readout {
  std::string time;
  std::string error;
  std::vector<modbus::RegisterBytes> registers;
};

std::string TableRecord(const ReadRequest& r, const Readout& x, bool polling);
std::string CsvHeader(const ReadRequest& r);
std::string CsvRecord(const ReadRequest& r, const Readout& x);
std::string JsonRecord(const ReadRequest& r, const Readout& x);

// "port lost" (with the reason) or "port back", at time.
std::string PortEventRecord(Format format, const std::string& time, const std::string& event, const std::string& port,
                            const std::string& reason);

}  // namespace ostrel::cli
