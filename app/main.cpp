#include "app/Dialogs.h"
#include "app/ProgramIcon.h"
#include "app/Unit1.h"
#include "app/UpdaterCommandLine.h"
#include "app/WhenExposed.h"
#include "program/ProgramState.h"
#include "usb/Clock.h"
#include "usb/DeviceLock.h"
#include "usb/SystemBus.h"
#include "version/ProgramVersion.h"

#include <QApplication>
#include <QFile>

#include <cstdio>

#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace {

// Shows an exception that escaped start-up or the message loop the way the
// toolkit does: its message in the standard box, an empty one for anything
// that is not a standard exception.
void ReportEscaped(orvane::Dialogs &dialogs, std::exception_ptr escaped) {
  QString text;
  try {
    std::rethrow_exception(escaped);
  } catch (const std::exception &e) {
    text = QString::fromStdString(e.what());
  } catch (...) {
  }
  dialogs.Exception(nullptr, text);
}

} // namespace

int main(int argc, char *argv[]) {
  // The command line first: help, version and mistakes need no display.
  const orvane::UpdaterCommandLine line = orvane::ReadUpdaterCommandLine({argv + 1, argv + argc});
  switch (line.action) {
  case orvane::UpdaterCommandLine::Action::Help:
    std::fputs(orvane::UpdaterHelp().c_str(), stdout);
    return 0;
  case orvane::UpdaterCommandLine::Action::Version:
    std::printf("%s\n", orvane::UpdaterVersion().c_str());
    return 0;
  case orvane::UpdaterCommandLine::Action::Usage:
    std::fprintf(stderr, "orvane-updater: %s (see --help)\n", line.error.c_str());
    return 2;
  case orvane::UpdaterCommandLine::Action::Window:
    break;
  }

  // Program-wide state first: the device object, then the texts. It outlives
  // the window and the application object, as the declaration order ensures.
  // Real hardware and virtual devices, listed together.
  const std::unique_ptr<orvane::DeviceBus> bus = orvane::CreateSystemBus();
  orvane::SystemClock clock;
  const auto state = std::make_unique<orvane::ProgramState>(*bus, clock);
  // One action per device across every program of the tool.
  state->usb.UseDeviceLocks(orvane::DeviceLock::DefaultDirectory());
  // Updates cut short are remembered per user, for putting the firmware back.
  state->records = orvane::UpdateRecords(orvane::UpdateRecords::DefaultDirectory());

  // The toolkit gets the program's name and its own options, nothing else;
  // the strings outlive the application object.
  std::vector<std::string> toolkitArgs{argv[0]};
  toolkitArgs.insert(toolkitArgs.end(), line.toolkit.begin(), line.toolkit.end());
  std::vector<char *> toolkitArgv;
  for (std::string &arg : toolkitArgs)
    toolkitArgv.push_back(arg.data());
  toolkitArgv.push_back(nullptr);
  int toolkitArgc = static_cast<int>(toolkitArgs.size());
  QApplication app(toolkitArgc, toolkitArgv.data());
  // Lets the desktop match the window to the installed menu entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("orvane-updater"));
  QApplication::setApplicationName("orvane-updater");
  // Every window of the program, its message boxes included.
  QApplication::setWindowIcon(orvane::ProgramIcon());

  orvane::QtDialogs dialogs;
  try {
    orvane::TForm1 form(*state, dialogs);
    form.show();
    if (line.path) {
      const QString refusal = form.UseUpdateSource(QFile::decodeName(line.path->c_str()));
      if (!refusal.isEmpty()) {
        std::fprintf(stderr, "orvane-updater: %s\n", qPrintable(refusal));
        // Over the window, once the window manager has placed it.
        orvane::WhenExposed(form, [&dialogs, &form, refusal] { dialogs.Message(&form, "Dialog", refusal); });
      }
    }
    QApplication::exec();
  } catch (...) {
    ReportEscaped(dialogs, std::current_exception());
  }
  return 0;
}
