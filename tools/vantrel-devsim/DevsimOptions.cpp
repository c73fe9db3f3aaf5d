#include "DevsimOptions.h"

#include "NumberText.h"

#include "options/OptionReader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>

namespace orvane::devsim {

namespace {

const char *const kHelp = R"(vantrel-devsim: one simulated Orvane USB-audio device, published as a virtual
USB device for the updater and its tests.

The device is the bridge chip with its serial flash, its I2C bus (a 24C02-style
EEPROM at 0xA0 and a register device at 0x20) and its firmware (parameter
mailbox, media keys, stream status). It answers vendor control transfers the way
the chip does and follows no host sequence. Device-side times (erase, program,
EEPROM write cycle, mailbox answers) pass in real time, divided by --speed.
After ISP mode has been left and the last connection has closed, the device
restarts: as its model when the flash holds firmware (its first bytes are not
all 0xFF), otherwise in update mode.
%END%

Usage: vantrel-devsim [options]
  or:  vantrel-devsim --write-sample DIR [--model MODEL]
  or:  vantrel-devsim --help | --version

Identity:
  --model MODEL         the model (see Models), by display name ("Orvane-R62"),
                        file prefix ("Orvane_R62") or product id ("f0b8").
                        Default Orvane-R62.
  --update-mode VID     come up in the update-mode identity, product id 6000,
                        vendor id 3b5d or 0c7e, without audio interface. The
                        model is what the device becomes once firmware is in.

Models (display name, file prefix, product id):
%MODELS%

Flash:
  --flash-part PART     the flash part (see Flash parts), by name or identifier
                        (e.g. "C2 22 11"). Default C22012.
  --blank               start with an erased flash
  --flash-file FILE     start with FILE (raw binary, at most the part's size) from address 0
  --generate-firmware   start with the model's sample firmware (the default, but
                        for --update-mode, which starts blank)
  --dump-flash FILE     write the whole flash to FILE when the program ends

Flash parts:
%PARTS%

Device:
  --speed FACTOR        device-side durations are divided by FACTOR (default 1;
                        10 runs a chip erase ten times faster)
  --no-eeprom           no EEPROM on the I2C bus (the option record says so too)
  --stream-status A4,A5,A6
                        stream status registers of bank 0, hexadecimal bytes
                        (e.g. 03,00,01: 96 kHz PCM, connected, playing)
  --fault FAULT         make the device fail as FAULT says (see Faults); may be
                        given more than once
  --replug-after MS     after an unplug, the device comes back MS milliseconds
                        later, restarted from its flash as after a power cycle:
                        as its model when the flash starts with firmware,
                        otherwise in update mode

Faults (counts start at 1; numbers are hexadecimal where marked):
  fail:N                the N-th transfer fails on the way (transport error)
  stall:N               the N-th transfer is stalled by the device
  fail-request:RR[:N]   every (or the N-th) transfer with request code RR (hex) fails
  stall-request:RR[:N]  the same, stalled
  delay:N:MS            the N-th transfer is answered only after MS milliseconds
  unplug-after:N        after N transfers the device is gone
  unplug-request:RR[:N]
                        the device is gone as the N-th (or first) request RR arrives
  flip-read:ADDR:MASK[:stuck]
                        reading flash address ADDR (hex) flips the bits MASK (hex),
                        once, or on every read with "stuck"
  flash-hang            the next program, erase or status write never finishes
  i2c-nak:ADDR[:N]      the I2C slave at ADDR (8-bit, hex) stops acknowledging
                        after N more bytes (default 0)

Publishing:
  --name NAME           device name, 1 to 64 of A-Z a-z 0-9 _ . - (default: the
                        model's file prefix, or update-<vid> in update mode)
  --serial TEXT         USB serial number, 1 to 64 printable characters
                        (default VXUA170203)
  --count N             serve N such devices (1 to 64), named NAME-1 to NAME-N,
                        with serial numbers TEXT-1 to TEXT-N, each with its own
                        flash
  --next                the options after it describe one more device served by
                        this process, with its own model, flash, faults, trace
                        and dump (--dir is shared); e.g.
                        vantrel-devsim --name a --next --name b --fault unplug-after:900
%DIR%  --trace FILE          write one line per control transfer to FILE
  --help                this text
  --version             print the program's version

Samples:
  --write-sample DIR    write the model's sample firmware image into DIR as
                        Intel HEX and binary, named as the model's update file
                        (e.g. Orvane_R62.hex and Orvane_R62.bin), and exit. The
                        image is the same every time and carries the marker
                        "VXUSB_Table01".

Exit status:
  0  done
  1  the device could not be published, or a file not written
  2  bad options
)";

std::string Replace(std::string text, const std::string &key, const std::string &value) {
  const size_t at = text.find(key);
  if (at != std::string::npos)
    text.replace(at, key.size(), value);
  return text;
}

std::optional<std::array<uint8_t, 3>> ParseStreamStatus(const std::string &text) {
  std::array<uint8_t, 3> bytes{};
  std::istringstream in(text);
  std::string field;
  size_t count = 0;
  while (std::getline(in, field, ',')) {
    const auto value = ParseUnsigned(field, 16, 0xFF);
    if (!value || count == bytes.size())
      return std::nullopt;
    bytes[count++] = static_cast<uint8_t>(*value);
  }
  if (count != bytes.size())
    return std::nullopt;
  return bytes;
}

// What the reader tells, in our words.
options::Words OutcomeWords() {
  using Outcome = options::ReadOutcome;
  return {
      .missingLastValue =
          [](const Outcome &outcome) { return "unknown option or missing value: " + outcome.name + " (see --help)"; },
      // An unknown option is told apart by whether a value came with it or after it.
      .unknown =
          [](const Outcome &outcome) {
            if (outcome.valueWith || outcome.moreUnknown || !outcome.endsLine)
              return "unknown option " + outcome.name + " (see --help)";
            return "unknown option or missing value: " + outcome.argument + " (see --help)";
          },
      .flagWithValue = [](const Outcome &outcome) { return outcome.argument + " takes no value"; },
  };
}

} // namespace

// Where devices are published differs: a Unix socket per device on
// Linux, a named pipe with a marker file on Windows.
#ifdef _WIN32
constexpr const char *kDirectoryHelp =
    R"(  --dir DIR             folder of the marker files that name the devices' pipes
                        (default %LOCALAPPDATA%\vantrel-vusb)
)";
constexpr const char *kEndHelp = "Ctrl+C ends the program and removes the marker.";
#else
constexpr const char *kDirectoryHelp =
    R"(  --dir DIR             directory of the socket (default $XDG_RUNTIME_DIR/vantrel-vusb,
                        else /tmp/vantrel-vusb-<uid>)
)";
constexpr const char *kEndHelp = "Ctrl+C or SIGTERM ends the program and removes the socket.";
#endif

std::string DevsimHelp() {
  // One line each, the name in the column the options' names use.
  auto line = [](const std::string &name, const std::string &text) {
    return "  " + name + std::string(name.size() < 22 ? 22 - name.size() : 1, ' ') + text + "\n";
  };
  std::string models;
  for (const auto &model : sim::SimModels()) {
    char pid[8];
    std::snprintf(pid, sizeof pid, "%04x", model.productId);
    models += line(model.displayName, model.filePrefix + ", " + pid);
  }
  std::string parts;
  for (const auto &part : sim::FlashPartProfiles())
    parts += line(part.name, part.description);
  const std::string help = Replace(Replace(kHelp, "%MODELS%\n", models), "%PARTS%\n", parts);
  return Replace(Replace(help, "%DIR%", kDirectoryHelp), "%END%", kEndHelp);
}

std::string DefaultDeviceName(const DevsimOptions &options) {
  if (options.updateVendorId) {
    char text[16];
    std::snprintf(text, sizeof text, "update-%04x", *options.updateVendorId);
    return text;
  }
  std::string name = options.model.filePrefix;
  for (char &c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.' && c != '-')
      c = '_';
  return name;
}

std::optional<DevsimOptions> ParseDevsimOptions(const std::vector<std::string> &args, std::string *error) {
  DevsimOptions options;
  using Refusal = std::optional<std::string>;
  auto setInitial = [&options](InitialFlash kind) -> Refusal {
    if (options.initialFlash != InitialFlash::Default && options.initialFlash != kind)
      return "give only one of --blank, --flash-file and --generate-firmware";
    options.initialFlash = kind;
    return std::nullopt;
  };
  auto text = [](std::string &field) {
    return [&field](const std::string &value) -> Refusal {
      field = value;
      return std::nullopt;
    };
  };
  options::OptionReader reader(options::Spelling::Strict);
  reader.Flag("-h,--help", options.help);
  reader.Flag("--version", options.version);
  reader.Flag("--blank", [&] { return setInitial(InitialFlash::Blank); });
  reader.Flag("--generate-firmware", [&] { return setInitial(InitialFlash::Generated); });
  reader.Flag("--no-eeprom", [&]() -> Refusal {
    options.eepromPresent = false;
    return std::nullopt;
  });
  reader.Value("--model", [&](const std::string &value) -> Refusal {
    const auto model = sim::FindSimModel(value);
    if (!model)
      return "unknown model \"" + value + "\" (see --help for the models)";
    options.model = *model;
    options.modelGiven = true;
    return std::nullopt;
  });
  reader.Value("--update-mode", [&](const std::string &value) -> Refusal {
    const auto vid = ParseUnsigned(value, 16, 0xFFFF);
    if (!vid || (*vid != sim::kModelVendorId && *vid != sim::kAlternateUpdateVendorId))
      return "--update-mode takes 3b5d or 0c7e, not \"" + value + "\"";
    options.updateVendorId = static_cast<uint16_t>(*vid);
    return std::nullopt;
  });
  reader.Value("--flash-part", [&](const std::string &value) -> Refusal {
    const auto part = sim::FindFlashPart(value);
    if (!part)
      return "unknown flash part \"" + value + "\" (see --help for the parts)";
    options.flashPart = *part;
    return std::nullopt;
  });
  reader.Value("--flash-file", [&](const std::string &value) -> Refusal {
    if (auto refusal = setInitial(InitialFlash::File))
      return refusal;
    options.flashFile = value;
    return std::nullopt;
  });
  reader.Value("--speed", [&](const std::string &value) -> Refusal {
    char *end = nullptr;
    const double speed = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !std::isfinite(speed) || speed < 0.001 || speed > 1e6)
      return "--speed takes a number from 0.001 to 1000000, not \"" + value + "\"";
    options.speed = speed;
    return std::nullopt;
  });
  reader.Value("--stream-status", [&](const std::string &value) -> Refusal {
    options.streamStatus = ParseStreamStatus(value);
    if (!options.streamStatus)
      return "--stream-status takes three hexadecimal bytes A4,A5,A6, not \"" + value + "\"";
    return std::nullopt;
  });
  reader.Value("--fault", [&](const std::string &value) -> Refusal {
    options.faults.push_back(value);
    return std::nullopt;
  });
  reader.Value("--replug-after", [&](const std::string &value) -> Refusal {
    const auto ms = ParseUnsigned(value, 10, 3'600'000);
    if (!ms)
      return "--replug-after takes milliseconds from 0 to 3600000, not \"" + value + "\"";
    options.replugAfterMs = static_cast<uint32_t>(*ms);
    return std::nullopt;
  });
  reader.Value("--trace", text(options.traceFile));
  reader.Value("--dump-flash", text(options.dumpFlashFile));
  reader.Value("--name", text(options.name));
  reader.Value("--serial", [&](const std::string &value) -> Refusal {
    const bool printable = std::all_of(value.begin(), value.end(), [](char c) { return c > ' ' && c < 0x7F; });
    if (value.size() > 64 || !printable)
      return "--serial takes 1 to 64 printable characters, not \"" + value + "\"";
    options.serial = value;
    return std::nullopt;
  });
  reader.Value("--count", [&](const std::string &value) -> Refusal {
    const auto count = ParseUnsigned(value, 10, 64);
    if (!count || *count == 0)
      return "--count takes a number from 1 to 64, not \"" + value + "\"";
    options.count = static_cast<int>(*count);
    return std::nullopt;
  });
  reader.Value("--dir", text(options.directory));
  reader.Value("--write-sample", text(options.writeSampleDirectory));
  const options::ReadOutcome outcome = reader.Read(args);
  // What is wrong before a last option that misses its value is told first.
  if (outcome.kind == options::ReadOutcome::Kind::MissingLastValue &&
      !ParseDevsimOptions({args.begin(), args.end() - 1}, error))
    return std::nullopt;
  if (auto refusal = options::Tell(outcome, OutcomeWords())) {
    *error = *refusal;
    return std::nullopt;
  }
  if (options.name.empty())
    options.name = DefaultDeviceName(options);
  return options;
}

std::optional<std::vector<DevsimOptions>> ParseDevsimDevices(const std::vector<std::string> &args, std::string *error) {
  std::vector<std::vector<std::string>> parts(1);
  for (const std::string &arg : args) {
    if (arg == kNextDeviceOption)
      parts.emplace_back();
    else
      parts.back().push_back(arg);
  }
  std::vector<DevsimOptions> devices;
  std::set<std::string> names;
  for (size_t part = 0; part < parts.size(); ++part) {
    auto options = ParseDevsimOptions(parts[part], error);
    if (!options)
      return std::nullopt;
    if (part > 0) {
      if (options->help || !options->writeSampleDirectory.empty() || !options->directory.empty()) {
        *error = "--help, --write-sample and --dir go before the first --next";
        return std::nullopt;
      }
      options->directory = devices.front().directory;
    }
    for (int copy = 1; copy <= options->count; ++copy) {
      DevsimOptions device = *options;
      device.count = 1;
      if (options->count > 1) {
        device.name += "-" + std::to_string(copy);
        device.serial = device.serial.value_or(sim::SimConfig{}.serial) + "-" + std::to_string(copy);
        for (std::string *path : {&device.traceFile, &device.dumpFlashFile})
          if (!path->empty())
            *path += "." + std::to_string(copy);
      }
      if (!names.insert(device.name).second) {
        *error = "two devices named \"" + device.name + "\": give each its own --name";
        return std::nullopt;
      }
      devices.push_back(std::move(device));
    }
  }
  if (devices.size() > 1 && (devices.front().help || !devices.front().writeSampleDirectory.empty())) {
    *error = "--help and --write-sample take no other device";
    return std::nullopt;
  }
  return devices;
}

} // namespace orvane::devsim
