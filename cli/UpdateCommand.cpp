#include "cli/UpdateCommand.h"

#include "cli/AttachedDevices.h"
#include "cli/DeviceAccessAdvice.h"
#include "cli/ReportingEvents.h"
#include "isp/FlashReadBack.h"
#include "isp/FlashTimeLimits.h"
#include "isp/ImageFileOpen.h"
#include "isp/OneButtonUpdate.h"
#include "isp/OtherModelFile.h"
#include "isp/ProgramFileLoad.h"
#include "isp/UpdateFileLookup.h"
#include "program/ConnectionMonitor.h"
#include "program/ProgramState.h"
#include "program/RecoveryFile.h"
#include "program/SupportedDevices.h"
#include "program/UpdateRecordKeeping.h"
#include "usb/DeviceSession.h"
#include "usb/DeviceTable.h"
#include "usb/OneDeviceBus.h"

#include <cstring>

namespace orvane {

namespace {

// The read-back of 1 MB in 64-byte blocks, up to three reads each, at
// 5 ms a transfer: far more than it takes, still an end.
constexpr uint64_t kReadBackLimitMs = 15 * 60 * 1000;

std::string NoDeviceMessage(uint32_t waitSeconds, const std::optional<std::string> &id) {
  std::string message = std::string(kNoDeviceCaption) + ": no supported Orvane model (USB " + ModelIdsText() +
                        ") and no device in firmware-update mode (" + UpdateIdsText() + ") was found";
  if (id)
    message += " at location or with serial number " + *id;
  if (waitSeconds > 0)
    message += " within " + std::to_string(waitSeconds) + " s";
  return message + ". Plug the device in, or wait for it with --wait SECONDS" +
         (id ? "; --list shows the locations and serial numbers." : ".");
}

std::string CannotOpenMessage(const FoundDevice &device, const DeviceError &error) {
  return device.caption + ", but the device cannot be opened: " +
         (error.text.empty() ? std::string("no reason given") : OpenFailureReason(error)) + "." +
         OpenFailureAdvice(error);
}

std::string FileNameOf(const std::string &path) {
  return Utf8FromPath(PathFromUtf8(path).filename());
}

std::string SeveralDevicesMessage(const std::vector<SupportedDevice> &devices, const std::optional<std::string> &id) {
  const std::string count = std::to_string(devices.size());
  const std::string lead =
      id ? count + " supported devices answer to --device " + *id : count + " supported devices are attached";
  return lead +
         "; choose one with --device ID (a location or serial number below), or update all of them with "
         "--all:\n" +
         DeviceChoiceLines(devices);
}

class UpdateCommand {
public:
  UpdateCommand(const UpdateCommandOptions &options, UpdateCommandContext &context)
      : options_(options), c_(context), reporter_(context.reporter), state_(context.bus, context.clock) {
    state_.usb.UseDeviceLocks(c_.lockDirectory);
  }

  int Update() {
    if (!options_.yes && !c_.confirm)
      return Refuse(ProblemKind::NoTerminal, "stdin is not a terminal, so the confirmation question cannot be asked. "
                                             "Run with --yes to update without asking.");
    if (!FindUsableDevice() || !LoadImage())
      return kExitNothingDone;
    if (!options_.yes && !c_.confirm(unknownModelWarning_ + otherModelWarning_ + RecoveryLine() + kUpdateQuestion)) {
      reporter_.Cancelled(kUpdateAbort);
      return kExitNothingDone;
    }
    ReportingEvents events(reporter_, c_.clock, state_.flash, state_.image.ImageLength);
    ChipCommands chip(state_.usb, c_.clock, state_.flash.FlashId);
    OneButtonUpdate update(chip, state_.image, state_.flash, events);
    // The update itself ends by a deadline for its part; not knowing the
    // part yet, the hold takes the longest of them.
    Critical(true, WorstUpdateTimeLimitMs(state_.image.ImageLength, kUpdateAttempts));
    // Remembered until it has succeeded: a device cut off halfway comes
    // back in update mode and gets this file again.
    const std::string model = !found_.device.model.empty() ? found_.device.model
                              : recovery_                  ? recovery_->model
                                                           : std::string();
    UpdateRecords records(c_.recordsDirectory);
    UpdateRecordScope record(records, RecordForUpdate(state_.usb, model, state_.image, SystemUnixSeconds()),
                             recovery_.has_value());
    const UpdateVerdict verdict = update.Run();
    record.Ended(verdict.success, verdict.flashChanged);
    Critical(false);
    if (!verdict.refusal.empty())
      return Refuse(ProblemKind::InvalidFile, verdict.refusal + ".");
    reporter_.Verdict(verdict.success, verdict.success ? kUpdateSuccess : kUpdateFail, verdict.attempts, verdict.reason,
                      verdict.flashChanged);
    if (verdict.success)
      return kExitSuccess;
    return verdict.flashChanged ? kExitFailed : kExitUnchanged;
  }

  int ReadBack() {
    const std::string &path = options_.readBackFile;
    // A path that cannot be written costs no device traffic; the look at it
    // makes nothing there, the rows are written only once they are read.
    if (const std::string refusal = ReadBackTargetRefusal(path); !refusal.empty())
      return Refuse(ProblemKind::OutputFile, "cannot create " + path + ": " + refusal);
    if (!FindUsableDevice())
      return kExitNothingDone;

    ReportingEvents events(reporter_, c_.clock, state_.flash, kReadBackEnd);
    ChipCommands chip(state_.usb, c_.clock, state_.flash.FlashId);
    std::vector<uint8_t> buffer(kImageBufferSize, 0);
    Critical(true, kReadBackLimitMs);
    const bool consistent = ReadFlashBack(chip, events, buffer);
    Critical(false);
    if (consistent)
      events.StepBegun(UpdateStep::ReadBackPassed);
    else if (!events.WalkFailure().empty())
      reporter_.Step(events.WalkFailure());

    std::string error;
    if (!WriteReadBackFile(path, buffer, kReadBackEnd, &error)) {
      reporter_.Problem(ProblemKind::OutputFile, error);
      return kExitFailed;
    }
    reporter_.ReadBackWritten(path, consistent, kReadBackEnd);
    return consistent ? kExitSuccess : kExitFailed;
  }

  int List() {
    const auto listed = ListAttachedDevices(c_.bus, c_.clock, c_.workingDirectory, options_.waitSeconds);
    if (listed.empty()) {
      // A place devices could be in that was refused is the likelier answer.
      std::string message = NoDeviceMessage(options_.waitSeconds, options_.device);
      for (const std::string &problem : c_.bus.ListingProblems())
        message += " Note: " + problem + ".";
      return Refuse(ProblemKind::NoDevice, message);
    }
    for (const ListedDevice &device : listed)
      reporter_.DeviceListed(device);
    return kExitSuccess;
  }

private:
  // The first 32 KB of flash into buffer, in ISP mode (the only mode that
  // reaches the flash) and out of it again as the session ends. True only
  // when the chip took ISP mode and every block read consistently; a device
  // that could not be opened or put into ISP mode fails the reads too, and
  // they say where.
  static bool ReadFlashBack(ChipCommands &chip, ReportingEvents &events, std::vector<uint8_t> &buffer) {
    DeviceSession session(chip);
    events.StepBegun(UpdateStep::EnterIsp);
    const bool inIspMode = session.Begin() && session.EnterIsp();
    events.StepBegun(UpdateStep::ReadBack);
    const bool read = FlashReadBack(buffer).ReadBackRange(chip, events, 0, kReadBackEnd);
    return read && inIspMode;
  }

  void Critical(bool critical, uint64_t forAtMostMs = 0) {
    if (c_.critical)
      c_.critical(critical, forAtMostMs);
  }

  std::string RecoveryLine() const { return recovery_ ? RecoveryConfirmation(*recovery_) + "\n" : std::string(); }

  int Refuse(ProblemKind kind, const std::string &message) {
    reporter_.Problem(kind, message);
    return kExitNothingDone;
  }

  bool FindUsableDevice() {
    found_ = SearchAttachedDevice(state_, options_.waitSeconds);
    if (!found_.found) {
      Refuse(ProblemKind::NoDevice, NoDeviceMessage(options_.waitSeconds, options_.device));
      return false;
    }
    // Which device the search met last is chance: with several, the user chooses.
    if (const auto attached = ListSupportedDevices(c_.bus); attached.size() > 1) {
      Refuse(ProblemKind::SeveralDevices, SeveralDevicesMessage(attached, options_.device));
      return false;
    }
    reporter_.DeviceFound(found_.device);
    // Held to the end of the command: no other program may act on the
    // device between this one's steps.
    if (!state_.usb.HoldDeviceLock()) {
      const DeviceError error = state_.usb.LastDeviceError();
      if (error.kind == DeviceErrorKind::Busy)
        Refuse(ProblemKind::DeviceBusy, error.text);
      else if (error.kind == DeviceErrorKind::LockFailed)
        Refuse(ProblemKind::LockFailed, error.text);
      else
        Refuse(ProblemKind::CannotOpen, CannotOpenMessage(found_.device, error));
      return false;
    }
    if (!state_.usb.Open()) {
      Refuse(ProblemKind::CannotOpen, CannotOpenMessage(found_.device, state_.usb.LastDeviceError()));
      return false;
    }
    state_.usb.Close();
    return true;
  }

  bool LoadImage() {
    ImageRecord &image = state_.image;
    std::string caption;
    if (options_.file) {
      image.ImageFileName = *options_.file;
      const ProgramFileLoadResult load = LoadProgramFile(image);
      if (!load.loaded) {
        Refuse(ProblemKind::InvalidFile, load.message);
        return false;
      }
      if (found_.device.audioDriver && !OtherModelAccepted())
        return false;
      caption = kUpdateFileLead + FileNameOf(image.ImageFileName) + kUpdateFileReady;
    } else if (found_.device.model.empty() && (recovery_ = RecordedUpdate())) {
      // A device back in update mode after its update was cut short gets
      // that update's file, and no other.
      const UpdateFileLookupResult lookup = LookUpRecordedFile(image, *recovery_);
      if (!lookup.startEnabled) {
        Refuse(ProblemKind::InvalidFile, lookup.refusal + ". Give the file to restore it with --file PATH.");
        return false;
      }
      caption = lookup.statusCaption;
    } else if (!found_.wantsUpdateFile) {
      Refuse(ProblemKind::NoUpdateFile, found_.device.caption +
                                            ": the window offers no update file for this identity. Give the image "
                                            "with --file PATH.");
      return false;
    } else {
      const DeviceTableRow &model = DeviceTable[state_.DeviceRow];
      const UpdateFileLookupResult lookup = LookUpUpdateFile(image, model, c_.workingDirectory);
      if (!lookup.startEnabled) {
        if (!lookup.refusal.empty())
          Refuse(ProblemKind::InvalidFile, lookup.refusal + " Replace it, or give an image with --file PATH.");
        else
          Refuse(ProblemKind::NoUpdateFile,
                 std::string(kNoUpdatedFile) + " " + NoUpdateFileAdvice(model, c_.workingDirectory) + ".");
        return false;
      }
      if (!found_.device.audioDriver && !UnknownModelAccepted())
        return false;
      caption = lookup.statusCaption;
    }
    reporter_.FileLoaded({image.ImageFileName, caption, image.ImageLength,
                          ImageChecksum(image.ImageBuffer, image.ImageLength), recovery_.has_value()});
    return true;
  }

  std::optional<UpdateRecord> RecordedUpdate() const {
    return UpdateRecords(c_.recordsDirectory).Find(found_.device.location, found_.device.serial, SystemUnixSeconds());
  }

  // A device in update mode does not say which model it is; the window
  // gives it the first model's file. Unattended that guess is refused, asked
  // interactively it is said before the question.
  bool UnknownModelAccepted() {
    const std::string file = FileNameOf(state_.image.ImageFileName);
    const std::string unknown =
        found_.device.caption + ": a device in firmware-update mode does not say which model it is";
    if (options_.yes) {
      Refuse(ProblemKind::NoUpdateFile, unknown + ", so --yes does not program it with " + file +
                                            ", the first model's file. Give the image for this device with --file "
                                            "PATH.");
      return false;
    }
    unknownModelWarning_ = "Warning: " + unknown + ". It would get " + file +
                           ", the file of the first model; go on only if that is the firmware for this device.\n";
    return true;
  }

  // A file named for another model than the one found is asked about
  // interactively and refused unattended unless the user allowed it.
  bool OtherModelAccepted() {
    const ModelRow &attached = kModels[state_.DeviceRow];
    const ModelRow *named = OtherModelNamed(state_.image.ImageFileName, attached);
    if (!named || (options_.yes && options_.allowOtherModel))
      return true;
    const std::string warning = OtherModelWarning(*named, attached);
    if (options_.yes) {
      Refuse(ProblemKind::OtherModel,
             warning + ", so --yes does not program it. Give --allow-other-model to program it all the same.");
      return false;
    }
    otherModelWarning_ = "Warning: " + warning + ".\n";
    return true;
  }

  const UpdateCommandOptions &options_;
  UpdateCommandContext &c_;
  UpdateReporter &reporter_;
  ProgramState state_;
  DeviceSearchResult found_;
  std::string unknownModelWarning_;
  std::string otherModelWarning_;
  // The record of the interrupted update whose file this run puts back.
  std::optional<UpdateRecord> recovery_;
};

int RunOnBus(const UpdateCommandOptions &options, UpdateCommandContext &context) {
  UpdateCommand command(options, context);
  switch (options.action) {
  case UpdateCommandOptions::Action::Update:
    return command.Update();
  case UpdateCommandOptions::Action::List:
    return command.List();
  case UpdateCommandOptions::Action::ReadBack:
    return command.ReadBack();
  case UpdateCommandOptions::Action::Help:
  case UpdateCommandOptions::Action::Version:
    break; // answered by the program before any device is looked at
  }
  return kExitSuccess;
}

} // namespace

int RunUpdateCommand(const UpdateCommandOptions &options, UpdateCommandContext &context) {
  if (options.device) {
    // Everything below sees the named device only.
    OneDeviceBus bus(context.bus, *options.device);
    UpdateCommandContext narrowed{bus,
                                  context.clock,
                                  context.workingDirectory,
                                  context.reporter,
                                  context.confirm,
                                  context.critical,
                                  context.lockDirectory,
                                  context.recordsDirectory};
    return RunOnBus(options, narrowed);
  }
  return RunOnBus(options, context);
}

} // namespace orvane
