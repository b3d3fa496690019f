// A turn of the front end's pending input (Stop, keys, painting) inside long loops: what the
// serial port's waits and the link need from the front end.
#pragma once

namespace korvex::shell {

class MessagePump {
 public:
  virtual ~MessagePump() = default;
  virtual void ProcessMessages() = 0;
};

}  // namespace korvex::shell
