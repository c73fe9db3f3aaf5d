#pragma once

#include "program/MessagePump.h"

#include <QCoreApplication>

namespace orvane {

// Runs the pending events of the window's thread: repaints, timer ticks, clicks.
class QtMessagePump final : public MessagePump {
public:
  void ProcessMessages() override { QCoreApplication::processEvents(); }
};

} // namespace orvane
