#include "monitor/Payloads.h"

#include <cstdio>

#include "cli/Records.h"
#include "modbus/decode.h"

namespace ostrel::monitor {
namespace {

using cli::JsonString;

std::string hex2(uint8_t b) {
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02X", b);
  return buf;
}

const char* boolText(bool b) { return b ? "true" : "false"; }

std::string loopAddress(const DeviceKey& key) {
  return "\"loop\":" + std::to_string(key.loop) + ",\"address\":" + std::to_string(key.address);
}

}  // namespace

std::string RegistersPayload(const std::string& time, int slave, unsigned long long seq, bool snapshot,
                             const std::vector<RegisterValue>& regs) {
  std::string out = "{\"time\":" + JsonString(time) + ",\"slave\":" + std::to_string(slave) +
                    ",\"seq\":" + std::to_string(seq) + ",\"snapshot\":" + boolText(snapshot) + ",\"registers\":[";
  for (size_t k = 0; k < regs.size(); ++k) {
    const RegisterValue& r = regs[k];
    out += (k ? "," : "");
    out += "{\"register\":" + std::to_string(r.number) +
           ",\"value\":" + std::to_string(r.bytes.high << 8 | r.bytes.low) + ",\"high\":\"" + hex2(r.bytes.high) +
           "\",\"high_decode\":" + JsonString(modbus::DecodeStatusByte(r.bytes.high, r.number)) + ",\"low\":\"" +
           hex2(r.bytes.low) + "\",\"low_decode\":" + JsonString(modbus::DecodeStatusByte(r.bytes.low, r.number)) + "}";
  }
  return out + "]}";
}

std::string DevicePayload(const std::string& time, const DeviceKey& key, const DeviceState& s) {
  std::string out = "{\"time\":" + JsonString(time) + "," + loopAddress(key) + ",\"alarm\":" + boolText(s.alarm()) +
                    ",\"fault\":" + boolText(s.fault()) + ",\"disabled\":" + boolText(s.disabled()) +
                    ",\"no_link\":" + boolText(s.noLink()) + ",\"on\":" + boolText(s.on()) +
                    ",\"ao\":" + boolText(s.ao());
  if (s.status) {
    out += ",\"status\":\"" + hex2(*s.status) +
           "\",\"decode\":" + JsonString(modbus::DecodeStatusByte(*s.status, key.address));
  }
  if (s.scan) {
    out += ",\"type_code\":" + std::to_string(s.scan->typeCode) + ",\"type_name\":" + JsonString(s.scan->typeName) +
           ",\"zone\":" + std::to_string(s.scan->zone) + ",\"switched_on\":" + boolText(s.scan->switchedOn);
  }
  return out + "}";
}

std::string DeviceEventPayload(const std::string& time, const DeviceChange& c) {
  std::string out = "{\"time\":" + JsonString(time) + ",\"kind\":\"device\"," + loopAddress(c.key);
  if (c.alarmChanged) out += ",\"alarm\":" + std::string(boolText(c.after.alarm()));
  if (c.faultChanged) out += ",\"fault\":" + std::string(boolText(c.after.fault()));
  return out + ",\"state\":" + DevicePayload(time, c.key, c.after) + "}";
}

std::string LinkEventPayload(const std::string& time, bool online, const std::string& reason) {
  std::string out =
      "{\"time\":" + JsonString(time) + ",\"kind\":\"link\",\"status\":\"" + (online ? kOnline : kOffline) + "\"";
  if (!reason.empty()) out += ",\"reason\":" + JsonString(reason);
  return out + "}";
}

std::string DroppedEventPayload(const std::string& time, unsigned long long count) {
  return "{\"time\":" + JsonString(time) + ",\"kind\":\"dropped\",\"count\":" + std::to_string(count) + "}";
}

std::string CommandResultPayload(const std::string& time, const std::string& id, const std::string& result,
                                 const std::string& message) {
  std::string out = "{\"time\":" + JsonString(time);
  if (!id.empty()) out += ",\"id\":" + JsonString(id);
  return out + ",\"result\":" + JsonString(result) + ",\"message\":" + JsonString(message) + "}";
}

std::vector<Discovery> DeviceDiscovery(const std::string& discoveryPrefix, const std::string& nodeId,
                                       const std::string& panel, const std::string& panelTopic, const DeviceKey& key) {
  const std::string where = "l" + std::to_string(key.loop) + "a" + std::to_string(key.address);
  const std::string device = "{\"identifiers\":[" + JsonString(nodeId + "_" + panel) +
                             "],\"name\":" + JsonString("Panel " + panel) +
                             ",\"manufacturer\":\"Quorvel\",\"model\":\"Fire-alarm panel\"}";
  std::vector<Discovery> out;
  for (const auto& [what, cls] : {std::pair{"alarm", "smoke"}, std::pair{"fault", "problem"}}) {
    const std::string id = nodeId + "_" + panel + "_" + where + "_" + what;
    out.push_back(
        {discoveryPrefix + "/binary_sensor/" + id + "/config",
         "{\"name\":" +
             JsonString("Loop " + std::to_string(key.loop) + " device " + std::to_string(key.address) + " " + what) +
             ",\"unique_id\":" + JsonString(id) + ",\"device_class\":\"" + cls + "\",\"state_topic\":" +
             JsonString(panelTopic + "/device/" + std::to_string(key.loop) + "/" + std::to_string(key.address)) +
             ",\"value_template\":\"{{ 'ON' if value_json." + what + " else 'OFF' }}\",\"availability_topic\":" +
             JsonString(panelTopic + "/status") + ",\"device\":" + device + "}"});
  }
  return out;
}

}  // namespace ostrel::monitor
