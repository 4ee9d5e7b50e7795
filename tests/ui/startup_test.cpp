// The program shell from start to exit code, run as a separate process on the offscreen platform.

#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

namespace {

QProcess* startProbe(const QString& mode, QObject* parent) {
  auto* probe = new QProcess(parent);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  probe->setProcessEnvironment(env);
  probe->start(QStringLiteral(TSMERGE_STARTUP_PROBE), {mode});
  return probe;
}

struct Finished {
  int exitCode;
  QStringList lines;
};

Finished finish(QProcess* probe) {
  if (!probe->waitForFinished(30000)) {
    probe->kill();
    probe->waitForFinished();
    return {-1000, {}};
  }
  const QString out = QString::fromUtf8(probe->readAllStandardOutput());
  return {probe->exitStatus() == QProcess::NormalExit ? probe->exitCode() : -2000,
          out.split('\n', Qt::SkipEmptyParts)};
}

}  // namespace

class StartUpTest : public QObject {
  Q_OBJECT

 private slots:
  void endsWithItsExitCode_data();
  void endsWithItsExitCode();
  void twoInstancesRunSideBySide();
};

void StartUpTest::endsWithItsExitCode_data() {
  QTest::addColumn<QString>("mode");
  QTest::addColumn<int>("exitCode");
  QTest::addColumn<QStringList>("lines");
  const QStringList shownAndClosed{
      "created: hidden=1 buckets=99 state=present icon=1",
      "shown: visible=1 focus=按钮1",
      "exit: state=released",
  };
  QTest::newRow("Escape") << "escape" << 0 << shownAndClosed;
  QTest::newRow("close box") << "close" << 0 << shownAndClosed;
  // The error box, exit code -1 as the shell reads it, and no exit step.
  QTest::newRow("window cannot be created") << "fail" << 255 << QStringList{"box: 载入启动窗口失败"};
}

void StartUpTest::endsWithItsExitCode() {
  QFETCH(QString, mode);
  QFETCH(int, exitCode);
  QFETCH(QStringList, lines);
  const Finished result = finish(startProbe(mode, this));
  QCOMPARE(result.lines, lines);
  QCOMPARE(result.exitCode, exitCode);
}

void StartUpTest::twoInstancesRunSideBySide() {
  QProcess* first = startProbe("escape", this);
  QProcess* second = startProbe("close", this);
  const Finished a = finish(first);
  const Finished b = finish(second);
  QCOMPARE(a.exitCode, 0);
  QCOMPARE(b.exitCode, 0);
  QCOMPARE(a.lines.last(), QStringLiteral("exit: state=released"));
  QCOMPARE(b.lines.last(), QStringLiteral("exit: state=released"));
}

QTEST_GUILESS_MAIN(StartUpTest)
#include "startup_test.moc"
