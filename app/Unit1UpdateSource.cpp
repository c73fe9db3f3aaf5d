#include "app/BusyNotice.h"
#include "app/FileDrop.h"
#include "app/Unit1.h"
#include "program/UpdateFileSource.h"

namespace orvane {

namespace {
constexpr const char *kSourceRefusedBusy = "The update file cannot change while the device is in use.";
constexpr const char *kSourceRefusedDone = "The update has been done: start the program again for another file.";
} // namespace

void TForm1::BindUpdateSource() {
  new FileDrop(*this, [this](const QString &path) {
    Guarded([&] {
      const QString refusal = UseUpdateSource(path);
      if (!refusal.isEmpty())
        ShowBusyNotice(*this, state_.monitor, refusal);
    });
  });
}

QString TForm1::UseUpdateSource(const QString &path) {
  // The image must not change under an update or a page action using it,
  // nor after the one update of this run.
  if (state_.monitor.ActionRunning || state_.monitor.Busy)
    return kSourceRefusedBusy;
  if (state_.monitor.UpdateDone)
    return kSourceRefusedDone;
  const UpdateFileChoice choice = ChooseUpdateFileSource(path.toStdString());
  if (!choice.source)
    return QString::fromStdString(choice.refusal);
  state_.updateSource = *choice.source;
  // A device found already gets the new file now, as the monitor would
  // give it at the next find; without one, the next find looks here.
  const bool lookedUpForDevice = state_.usb.IsFound() && (state_.usb.GetAudioDriver() || state_.monitor.UpdateId3B5D);
  if (state_.monitor.DetectEnabled && lookedUpForDevice)
    Guarded([this] { ReadProgramFile1(); });
  return {};
}

} // namespace orvane
