// What the link needs from the program around it: the clock, a turn of the front end's
// pending messages, the stop flag, and the places where link events become something the
// operator sees (the port panel of the status bar, receive progress, the ST's question, a
// settings table error). The operations implement it and decide what a failure means; the
// link itself never sets an exit code or draws.
#pragma once

#include <cstdint>
#include <string>

#include "shell/clock.h"
#include "shell/message_pump.h"

namespace korvex::link {

class LinkHost : public shell::MessagePump {
 public:
  virtual ~LinkHost() = default;

  virtual shell::Clock& Time() = 0;
  // ProcessMessages (from MessagePump): one turn of the front end's pending messages (Stop
  // arrives this way).
  virtual bool StopRequested() const = 0;
  // A random integer 0..n-1 (the link token's countdown).
  virtual int Random(int n) = 0;

  // The port and rate were applied (`opened`) or could not be; `text` is the status bar's
  // port text, shown either way.
  virtual void RateApplied(const std::string& text, bool opened) = 0;
  // A receive wait with progress shown: `elapsedMs` of `budgetMs` have passed.
  virtual void ShowReceiveProgress(std::uint32_t elapsedMs, std::uint16_t budgetMs) = 0;
  // The ST answered something unexpected: asks whether to cancel the operation. True sets
  // the stop flag.
  virtual bool AskToCancel(const std::string& question) = 0;
  // A settings command found no table for the panel ("ERROR 1", "ERROR 2").
  virtual void ShowCommandError(const std::string& text) = 0;
};

}  // namespace korvex::link
