// Driver calls with any request block, control code and buffer length, as
// the emulated drivers take them from the device-access object: the
// parsers accept exactly the layouts the builders make, and a call is
// either refused or becomes one well-formed control transfer.

#include "testing/InProcessTransport.h"
#include "testing/ScriptedDevice.h"
#include "usb/DriverRequestBlock.h"
#include "usb/EmulatedDriverBus.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using namespace orvane;

// A device that answers every transfer in full with a pattern, and checks
// it never gets one the drivers should have refused.
TransferResult Answer(const SetupPacket &setup, uint8_t *data) {
  if (setup.isIn())
    std::memset(data, 0x5A, setup.length);
  return {TransferStatus::Completed, setup.length};
}

void CheckRoundTrips(std::span<const uint8_t> block) {
  if (const auto generic = ParseGenericRequestBlock(block)) {
    const auto built = BuildGenericRequestBlock(generic->requestType, generic->request, generic->value, generic->index,
                                                generic->lengthField);
    if (!std::equal(built.begin(), built.end(), block.begin(), block.end()))
      std::abort();
  }
  if (const auto audio = ParseAudioPropertyBlock(block)) {
    std::vector<uint8_t> built;
    if (audio->supportQuery) {
      const auto query = BuildAudioSupportQueryBlock();
      built.assign(query.begin(), query.end());
    } else {
      built = BuildAudioRequestBlock(audio->deviceToHost ? 0x80 : 0x00, audio->request, audio->value, audio->index,
                                     audio->data.data(), static_cast<uint32_t>(audio->data.size()));
    }
    if (!std::equal(built.begin(), built.end(), block.begin(), block.end()))
      std::abort();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Byte 0: which handle and which control code; bytes 1-2: the output
  // buffer's length; the rest: the request block.
  if (size < 3)
    return 0;
  const uint8_t selector = data[0];
  const size_t outLength = (data[1] | data[2] << 8) & 0x1FFF;
  const std::span<const uint8_t> block(data + 3, size - 3);
  CheckRoundTrips(block);

  ScriptedDevice device({"", 0x3B5D, 0xF0B8, 0x0100, true, ""}, Answer);
  InProcessTransport transport;
  transport.Attach("dev", device);
  EmulatedDriverBus bus;
  bus.AddTransport(transport);
  const auto interfaceClass = (selector & 1) ? kGuidAudioDriver : kGuidUsbDevice;
  const auto paths = bus.ListInterfaces(interfaceClass);
  if (!paths || paths->size() != 1)
    std::abort();
  const DeviceHandle handle = bus.Open(paths->front());
  if (handle == kNullHandle)
    std::abort();
  static constexpr uint32_t kCodes[] = {kIoctlControlIn, kIoctlControlOut, kIoctlKsProperty, 0x00220000};
  const uint32_t code = kCodes[(selector >> 1) & 3];
  std::vector<uint8_t> out(outLength, 0xA5);
  uint32_t bytesReturned = 0;
  const bool answered = bus.IoControl(handle, code, block.data(), block.size(), out.data(), out.size(), &bytesReturned);
  if (answered && bytesReturned > outLength)
    std::abort();
  if (!answered && bytesReturned != 0)
    std::abort();

  // What went on the wire fits the setup packet the driver made of the call.
  for (const RecordedTransfer &transfer : transport.Transfers()) {
    const SetupPacket &setup = transfer.setup;
    if (setup.isIn() ? transfer.in.size() > setup.length || !transfer.out.empty()
                     : transfer.out.size() != setup.length || !transfer.in.empty())
      std::abort();
  }
  bus.Close(handle);
  transport.Detach("dev");
  return 0;
}
