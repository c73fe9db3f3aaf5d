#include "sim/SampleFirmware.h"
#include "sim_devsim_process.h"
#include "usb/ChipCommands.h"
#include "usb/EmulatedDriverBus.h"
#include "usb/VantrelUsb.h"
#include "usb/VirtualUsbTransport.h"
#include "version/ProgramVersion.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

namespace orvane::sim {
namespace {

using test::DevsimProcess;
using test::TempDirectory;

// The updater's own device access, reaching the simulated device through its socket.
struct Host {
  explicit Host(const std::string &deviceDir) : transport(deviceDir) { bus.AddTransport(transport); }

  bool Find(const std::string &target, bool audioDriver) {
    usb.ClearFound();
    usb.SetAudioDriver(audioDriver);
    static_cast<void>(usb.SetTarget(target)); // the callers check IsFound()
    static_cast<void>(usb.FindDevice());      // the callers check IsFound()
    return usb.IsFound();
  }

  VirtualUsbTransport transport;
  EmulatedDriverBus bus;
  VantrelUsb usb{bus};
  VirtualClock clock;
  std::array<uint8_t, 3> flashId{};
  ChipCommands chip{usb, clock, flashId};
};

class DevsimTest : public ::testing::Test {
protected:
  TempDirectory runtime;
  std::string DeviceDir() const { return runtime.Path() + "/vantrel-vusb"; }
  std::string SocketPath(const std::string &name) const { return DeviceDir() + "/" + name + ".sock"; }
};

TEST_F(DevsimTest, ModelIsFoundThroughTheAudioDriverAndAnswersRegisters) {
  DevsimProcess devsim(runtime.Path(), {"--model", "Orvane-R62", "--stream-status", "03,00,05"});
  const std::string ready = devsim.WaitReady();
  ASSERT_NE(ready.find("vid_3b5d&pid_f0b8"), std::string::npos) << ready;
  ASSERT_TRUE(std::filesystem::exists(SocketPath("Orvane_R62")));

  Host host(DeviceDir());
  ASSERT_TRUE(host.Find("vid_3b5d&pid_f0b8", true));
  ASSERT_TRUE(host.usb.Open());
  uint8_t flags = 0;
  uint8_t rate = 0;
  EXPECT_TRUE(host.chip.SelectBank(0));
  EXPECT_TRUE(host.chip.ReadRegister(0xA6, flags));
  EXPECT_TRUE(host.chip.ReadRegister(0xA4, rate));
  EXPECT_EQ(flags, 0x05);
  EXPECT_EQ(rate, 0x03);
  host.usb.Close();
  EXPECT_FALSE(host.Find("vid_3b5d&pid_6000", false));
}

TEST_F(DevsimTest, BlankUpdateModeDeviceIsFoundThroughTheGenericDriver) {
  DevsimProcess devsim(runtime.Path(), {"--update-mode", "3b5d", "--flash-part", "BF258C"});
  ASSERT_NE(devsim.WaitReady().find("vid_3b5d&pid_6000"), std::string::npos);
  Host host(DeviceDir());
  EXPECT_FALSE(host.Find("vid_3b5d&pid_6000", true)) << "no audio interface in update mode";
  ASSERT_TRUE(host.Find("vid_3b5d&pid_6000", false));
  ASSERT_TRUE(host.usb.Open());
  ASSERT_TRUE(host.chip.SetIspMode(true));
  ASSERT_TRUE(host.chip.FlashReadId());
  EXPECT_EQ(host.flashId, (std::array<uint8_t, 3>{0xBF, 0x25, 0x8C}));
  EXPECT_EQ(host.chip.ReadStatus().value_or(0xFF), 0x0C) << "the SST-style part powers up protected";
  host.usb.Close();
}

TEST_F(DevsimTest, ProgramsOverTheSocketRestartsAndDumpsTheFlashOnSigterm) {
  const std::string dump = runtime.Path() + "/flash.bin";
  const std::string trace = runtime.Path() + "/trace.txt";
  DevsimProcess devsim(runtime.Path(), {"--model", "Orvane-R61", "--speed", "1000", "--dump-flash", dump, "--trace",
                                        trace, "--name", "bench-1"});
  ASSERT_FALSE(devsim.WaitReady().empty());
  Host host(DeviceDir());
  ASSERT_TRUE(host.Find("vid_3b5d&pid_f0b6", true));
  ASSERT_TRUE(host.usb.Open());
  EXPECT_TRUE(host.chip.SetIspMode(true));
  const std::vector<uint8_t> data{0x12, 0x34, 0x56, 0x78};
  EXPECT_TRUE(host.chip.FlashWriteEnable());
  EXPECT_TRUE(host.chip.FlashPageProgram(kSampleUnusedBegin, static_cast<uint16_t>(data.size()), data.data()));
  std::vector<uint8_t> back(4);
  for (int i = 0; i < 100 && (host.chip.ReadStatus().value_or(0xFF) & 0x01); ++i) {
  }
  ASSERT_TRUE(host.chip.FlashRead(kSampleUnusedBegin, 4, back.data()));
  EXPECT_EQ(back, data);
  EXPECT_TRUE(host.chip.FlashWriteEnable());
  EXPECT_TRUE(host.chip.FlashSectorErase(0));
  EXPECT_TRUE(host.chip.SetIspMode(false));
  host.usb.Close();

  // Its start erased, the device comes back in update mode.
  EXPECT_TRUE(host.Find("vid_3b5d&pid_6000", false));

  devsim.Signal(SIGTERM);
  EXPECT_EQ(devsim.Wait(), 0);
  EXPECT_FALSE(std::filesystem::exists(SocketPath("bench-1")));
  std::ifstream in(dump, std::ios::binary);
  const std::vector<uint8_t> flash((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(flash.size(), 256u * 1024);
  EXPECT_EQ(std::vector<uint8_t>(flash.begin() + kSampleUnusedBegin, flash.begin() + kSampleUnusedBegin + 4), data);
  EXPECT_EQ(flash[0], 0xFF);
  const auto sample = GenerateSampleFirmware(*FindSimModel("Orvane-R61"), flash.size());
  EXPECT_EQ(flash[0x1000], sample[0x1000]);

  std::ifstream traceIn(trace);
  std::string line;
  size_t lines = 0;
  bool sawEnter = false;
  while (std::getline(traceIn, line)) {
    ++lines;
    sawEnter = sawEnter || line.find("OUT 43 84 3C41 71C5") != std::string::npos;
  }
  EXPECT_TRUE(sawEnter);
  EXPECT_GT(lines, 10u);
}

TEST_F(DevsimTest, KilledMidTransferLeavesTheHostWithAFailedTransferAndNoDevice) {
  // The 4th transfer takes three seconds; the process dies while the host waits for it.
  DevsimProcess devsim(runtime.Path(), {"--model", "Orvane-R62", "--fault", "delay:4:3000"});
  ASSERT_FALSE(devsim.WaitReady().empty());
  VirtualUsbTransport transport(DeviceDir());
  DeviceError error;
  auto connection = transport.Connect("Orvane_R62", &error);
  ASSERT_TRUE(connection) << error.text;
  uint8_t byte = 0;
  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(connection->Control({0xC3, 0x91, 0, 0xA6, 1}, &byte).ok());

  TransferResult result;
  const auto started = std::chrono::steady_clock::now();
  std::thread waiting([&] { result = connection->Control({0xC3, 0x91, 0, 0xA6, 1}, &byte); });
  devsim.Signal(SIGKILL);
  devsim.Wait();
  waiting.join();
  EXPECT_NE(result.status, TransferStatus::Completed);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(2500))
      << "the host learns at once, it does not wait out the transfer";
  EXPECT_TRUE(transport.Enumerate().empty()) << "the socket left behind refuses connections";
  EXPECT_NE(connection->Control({0xC3, 0x91, 0, 0xA6, 1}, &byte).status, TransferStatus::Completed);
}

TEST_F(DevsimTest, UnplugFaultMakesTheDeviceGone) {
  DevsimProcess devsim(runtime.Path(), {"--fault", "unplug-after:2"});
  ASSERT_FALSE(devsim.WaitReady().empty());
  VirtualUsbTransport transport(DeviceDir());
  DeviceError error;
  auto connection = transport.Connect("Orvane_R62", &error);
  ASSERT_TRUE(connection) << error.text;
  uint8_t byte = 0;
  EXPECT_TRUE(connection->Control({0xC3, 0x91, 0, 0xA6, 1}, &byte).ok());
  EXPECT_TRUE(connection->Control({0xC3, 0x91, 0, 0xA6, 1}, &byte).ok());
  EXPECT_EQ(connection->Control({0xC3, 0x91, 0, 0xA6, 1}, &byte).status, TransferStatus::Gone);
  EXPECT_TRUE(transport.Enumerate().empty());
}

TEST(DevsimCommandLineTest, RefusesBadOptionsAndWritesSamples) {
  TempDirectory dir;
  for (const std::vector<std::string> &bad : {std::vector<std::string>{"--model", "Orvane-R99"},
                                              {"--flash-part", "C22099"},
                                              {"--speed", "0"},
                                              {"--update-mode", "1234"},
                                              {"--fault", "stall:0"},
                                              {"--fault", "flip-read:40000:01"},
                                              {"--blank", "--flash-file", "x"},
                                              {"--flash-file", dir.Path() + "/missing.bin"},
                                              {"--name", "bad/name"}}) {
    DevsimProcess devsim(dir.Path(), bad);
    EXPECT_TRUE(devsim.WaitReady(5000).empty()) << bad[0];
    EXPECT_NE(devsim.Wait(), 0) << bad[0];
  }
  DevsimProcess version(dir.Path(), {"--version"});
  EXPECT_EQ(version.WaitReady(5000), std::string("vantrel-devsim ") + kProgramVersion + "\n");
  EXPECT_EQ(version.Wait(), 0);
  DevsimProcess versionWithValue(dir.Path(), {"--version=1"});
  EXPECT_EQ(versionWithValue.Wait(), 2);

  DevsimProcess writer(dir.Path(), {"--write-sample", dir.Path(), "--model", "Orvane-RB-Windmill"});
  EXPECT_EQ(writer.Wait(), 0);
  std::ifstream bin(dir.Path() + "/Orvane_RB_Windmill.bin", std::ios::binary);
  const std::vector<uint8_t> image((std::istreambuf_iterator<char>(bin)), std::istreambuf_iterator<char>());
  EXPECT_EQ(image, GenerateSampleFirmware(*FindSimModel("Orvane-RB-Windmill")));
  EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/Orvane_RB_Windmill.hex"));
}

} // namespace
} // namespace orvane::sim
