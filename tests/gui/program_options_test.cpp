#include "version/ProgramVersion.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

// The window program as a user or a script starts it: its own options
// answer on the terminal without opening a window.
class ProgramOptionsTest : public QObject {
  Q_OBJECT

  struct Run {
    int status = -1;
    QString out;
    QString err;
  };

  static Run Start(const QStringList &arguments) {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    // A runtime folder of its own, as a desktop session gives: without one
    // Qt says on stderr that it makes one up.
    QTemporaryDir runtime;
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    program.setProcessEnvironment(environment);
    program.start(ORVANE_BIN_DIR "/orvane-updater", arguments);
    Run run;
    if (!program.waitForFinished(30'000)) {
      program.kill();
      program.waitForFinished(5'000);
      return run;
    }
    run.status = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    run.out = QString::fromUtf8(program.readAllStandardOutput());
    run.err = QString::fromUtf8(program.readAllStandardError());
    return run;
  }

private slots:
  void versionNamesTheProgramAndItsVersion() {
    const Run run = Start({"--version"});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QString("orvane-updater %1\n").arg(orvane::kProgramVersion));
    QCOMPARE(run.err, QString());
  }

  void helpNamesTheArgumentAndTheOptions() {
    const Run run = Start({"--help"});
    QCOMPARE(run.status, 0);
    QVERIFY2(run.out.startsWith("Usage: "), qPrintable(run.out));
    for (const char *text : {"[FILE or FOLDER]", "--version", "--help"})
      QVERIFY2(run.out.contains(text), text);
  }

  void anUnknownOptionIsRefused() {
    const Run run = Start({"--frobnicate"});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.out, QString());
    QVERIFY2(run.err.contains("frobnicate"), qPrintable(run.err));
  }

  void aSecondArgumentIsRefused() {
    const Run run = Start({"a.hex", "b.hex"});
    QCOMPARE(run.status, 2);
    QCOMPARE(run.err, QString("orvane-updater: one FILE or FOLDER at most (see --help)\n"));
  }
};

QTEST_GUILESS_MAIN(ProgramOptionsTest)
#include "program_options_test.moc"
