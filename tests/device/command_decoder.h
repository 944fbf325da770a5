// Turns the 64-byte commands from the simulated driver's log into short text
// ("ws:92=0", "rc:7", "len:110592") so tests can compare whole sequences.
#pragma once

#include <string>
#include <vector>

#include "protocol/camera_protocol.h"
#include "sim/sim_driver.h"

namespace kt::test {

inline std::string DecodeCommand(const std::vector<uint8_t>& c) {
  namespace p = protocol;
  auto num = [](int v) { return std::to_string(v); };
  if (c.size() < 6) return "short";
  switch (c[0]) {
    case p::kCmdStartTransfer:
      return "start";
    case p::kCmdWriteSensorRegister:
      return "ws:" + num(c[1] * 256 + c[2]) + "=" + num(c[3]);
    case p::kCmdSelectCamera:
      return "select";
    case p::kCmdFrameLength:
      return "len:" + num(c[1] | c[2] << 8 | c[3] << 16 | c[4] << 24);
    case p::kCmdTransferMode:
      return "mode:" + num(c[1]);
    case p::kCmdReadSensorRegister:
      return c[1] == p::kInternalTemperatureSelector ? "temp" : "rs:" + num(c[1] * 256 + c[2]);
    case p::kCmdWriteControlRegister:
      return "wc:" + num(c[1]) + "=" + num(c[2]);
    case p::kCmdReadControlRegister:
      return "rc:" + num(c[1]);
    case p::kCmdNucRequest:
      return "nuc:" + num(c[1]) + "," + num(c[2]) + "," + num(c[3]) + "," + num(c[4]) + "," +
             num(c[5]);
    default:
      return "cmd" + num(c[0]);
  }
}

inline std::vector<std::string> DecodedCommands(sim::SimDriver& driver, int slot) {
  std::vector<std::string> out;
  for (const auto& command : driver.log().Commands(slot)) out.push_back(DecodeCommand(command));
  return out;
}

}  // namespace kt::test
