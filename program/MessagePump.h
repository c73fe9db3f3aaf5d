#pragma once

namespace orvane {

// Lets the window's message loop turn during a long device action, so the
// window repaints and timer ticks and clicks run in between.
class MessagePump {
public:
  virtual ~MessagePump() = default;
  virtual void ProcessMessages() = 0;
};

class NoMessagePump final : public MessagePump {
public:
  void ProcessMessages() override {}
};

} // namespace orvane
