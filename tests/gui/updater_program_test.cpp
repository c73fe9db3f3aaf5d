#include "app/UpdaterCommandLine.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

// orvane-updater started as a program on a machine without a display:
// what ends it at once needs none.
class UpdaterProgramTest : public QObject {
  Q_OBJECT

  struct Run {
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QString out, err;
  };

  static Run Start(const QStringList &arguments) {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
      environment.remove(name);
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(ORVANE_BIN_DIR "/orvane-updater"), arguments);
    Run run;
    if (!program.waitForFinished(20000)) {
      program.kill();
      program.waitForFinished(5000);
      return run;
    }
    run.exitCode = program.exitCode();
    run.exitStatus = program.exitStatus();
    run.out = QString::fromLocal8Bit(program.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(program.readAllStandardError());
    return run;
  }

private slots:
  void helpNeedsNoDisplay() {
    const Run run = Start({"--help"});
    QCOMPARE(run.exitStatus, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QString::fromStdString(orvane::UpdaterHelp()));
    QCOMPARE(run.err, QString());
  }

  void versionNeedsNoDisplay() {
    const Run run = Start({"--version"});
    QCOMPARE(run.exitStatus, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QString::fromStdString(orvane::UpdaterVersion()) + "\n");
  }

  void aMistakeIsToldWithoutADisplay() {
    const Run run = Start({"--frobnicate"});
    QCOMPARE(run.exitStatus, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.err, QString("orvane-updater: unknown option --frobnicate (see --help)\n"));
    QCOMPARE(run.out, QString());
  }

  void aSecondFileOrFolderIsRefused() {
    const Run run = Start({"a.hex", "b.hex"});
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.err, QString("orvane-updater: one FILE or FOLDER at most (see --help)\n"));
  }
};

QTEST_GUILESS_MAIN(UpdaterProgramTest)
#include "updater_program_test.moc"
