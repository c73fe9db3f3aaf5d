// Driver calls with any request block, control code and buffer length, as
// the Windows drivers would take them: the drivers' reading accepts exactly
// the calls the Windows back-end builds, and whatever a driver accepts
// becomes one well-formed control transfer on the emulated bus.

#include "testing/DriverRequestReader.h"
#include "testing/InProcessTransport.h"
#include "testing/ScriptedDevice.h"
#include "usb/DeviceDescriptor.h"
#include "usb/DriverRequestBlock.h"
#include "usb/EmulatedDriverBus.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using namespace orvane;

// A device that answers every transfer in full with a pattern.
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

bool SameCall(const DriverCall &a, const DriverCall &b) {
  return a.code == b.code && a.block == b.block && a.outLength == b.outLength;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Byte 0: which driver and which control code; bytes 1-2: the output
  // buffer's length; the rest: the request block.
  if (size < 3)
    return 0;
  const uint8_t selector = data[0];
  const uint32_t outLength = (data[1] | data[2] << 8) & 0x1FFF;
  const std::span<const uint8_t> block(data + 3, size - 3);
  CheckRoundTrips(block);

  const DriverKind driver = (selector & 1) ? DriverKind::Audio : DriverKind::Generic;
  static constexpr uint32_t kCodes[] = {kIoctlControlIn, kIoctlControlOut, kIoctlKsProperty, 0x00220000};
  const DriverCall call{kCodes[(selector >> 1) & 3], {block.begin(), block.end()}, outLength};
  const auto read = DriverReads(driver, call);
  if (!read)
    return 0;
  // What a driver accepts is what the Windows back-end builds for it (the
  // generic driver also takes a length field set to the buffer's length,
  // as in its probe).
  const bool supportQuery = read->probe && driver == DriverKind::Audio;
  std::vector<uint8_t> payload = read->blockData;
  payload.resize(read->setup.length, 0);
  const DriverCall rebuilt = supportQuery ? ProbeCall(driver) : TransferCall(driver, read->setup, payload.data());
  if (!(read->probe && driver == DriverKind::Generic) && !SameCall(rebuilt, call))
    std::abort();

  ScriptedDevice device({"", 0x3B5D, 0xF0B8, 0x0100, true, ""}, Answer);
  InProcessTransport transport;
  transport.Attach("dev", device);
  EmulatedDriverBus bus;
  bus.AddTransport(transport);
  const auto paths = bus.ListInterfaces(driver == DriverKind::Audio ? kGuidAudioDriver : kGuidUsbDevice);
  if (!paths || paths->size() != 1)
    std::abort();
  const DeviceHandle handle = bus.Open(paths->front());
  if (handle == kNullHandle)
    std::abort();
  if (supportQuery) {
    if (!bus.Probe(handle))
      std::abort();
  } else {
    std::vector<uint8_t> buffer = payload;
    uint32_t bytesReturned = 0;
    const bool answered = bus.Control(handle, read->setup, buffer.empty() ? nullptr : buffer.data(), &bytesReturned);
    // The device descriptor is 18 bytes however many are asked for, and the
    // bus takes no answer shorter than asked: a longer request fails.
    const bool answeredInFull = !IsDeviceDescriptorRequest(read->setup) || read->setup.length <= kDeviceDescriptorSize;
    if (answeredInFull ? !answered || bytesReturned != read->setup.length : answered)
      std::abort();
  }

  // What went on the wire fits the setup packet it was sent as.
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
