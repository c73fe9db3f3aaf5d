#include "app/Dialogs.h"
#include "app/Unit1.h"
#include "program/ProgramState.h"
#include "usb/Clock.h"
#include "usb/DeviceLock.h"
#include "usb/SystemBus.h"
#include "version/ProgramVersion.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

#include <exception>
#include <memory>

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
  // Program-wide state first: the device object, then the texts. It outlives
  // the window and the application object, as the declaration order ensures.
  // Real hardware and virtual devices, listed together.
  const std::unique_ptr<orvane::DeviceBus> bus = orvane::CreateSystemBus();
  orvane::SystemClock clock;
  const auto state = std::make_unique<orvane::ProgramState>(*bus, clock);
  // One action per device across every program of the tool.
  state->usb.UseDeviceLocks(orvane::DeviceLock::DefaultDirectory());

  QApplication app(argc, argv);
  // Lets the desktop match the window to the installed menu entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("orvane-updater"));
  QApplication::setApplicationName("orvane-updater");
  QApplication::setApplicationVersion(orvane::kProgramVersion);
  // Qt's own options (-platform ...) are taken out by QApplication first.
  QCommandLineParser parser;
  parser.setApplicationDescription("Updates the firmware of Orvane USB audio devices.");
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument("FILE or FOLDER",
                               "The update file (.hex or .bin) for the device found, or the folder to look in for "
                               "the model's update file instead of the working directory.",
                               "[FILE or FOLDER]");
  parser.process(app);
  const QStringList given = parser.positionalArguments();
  if (given.size() > 1) {
    std::fprintf(stderr, "orvane-updater: one FILE or FOLDER at most (see --help)\n");
    return 2;
  }

  orvane::QtDialogs dialogs;
  try {
    orvane::TForm1 form(*state, dialogs);
    form.show();
    if (!given.isEmpty()) {
      const QString refusal = form.UseUpdateSource(given.front());
      if (!refusal.isEmpty()) {
        std::fprintf(stderr, "orvane-updater: %s\n", qPrintable(refusal));
        dialogs.Message(&form, "Dialog", refusal);
      }
    }
    QApplication::exec();
  } catch (...) {
    ReportEscaped(dialogs, std::current_exception());
  }
  return 0;
}
