// The log and register snapshots through the window's context menus and its
// file dialogs, as a person saves and loads them, and the same snapshot files
// taken the other way by regdiag-cli.
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "support/window_harness.h"
#include "window/hex_entry_box.h"
#include "window/log_pane.h"

using regdiag::test::SmallMap;
using regdiag::test::WindowHarness;

namespace {

// Right-clicks `widget`, chooses `action` in its menu, and answers the file
// dialog that follows with `path`.
void ChooseFile(QWidget* widget, const QString& action, const QString& path) {
  QTimer::singleShot(0, widget, [action, path] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu != nullptr);
    QTimer::singleShot(0, menu, [path] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog != nullptr);
      dialog->selectFile(path);
      static_cast<QDialog*>(dialog)->accept();  // as the Save or Open button does
    });
    for (QAction* item : menu->actions()) {
      if (item->text() == action) item->trigger();
    }
    menu->close();
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), widget->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(widget, &event);
}

QByteArray Bytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// regdiag-cli on its own simulated bridge with the test's map; its exit status.
int Cli(const QTemporaryDir& dir, QStringList arguments) {
  QProcess cli;
  cli.start(QStringLiteral(REGDIAG_CLI), QStringList{QStringLiteral("--sim"), QStringLiteral("--map"),
                                                     dir.filePath(QStringLiteral("map.csv"))} +
                                             arguments);
  return cli.waitForFinished(10000) && cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
}

}  // namespace

class FilesTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void logIsSavedAsHeld();
  void valuesSavedByTheWindowLoadInTheCommandLine();
  void valuesSavedByTheCommandLineLoadInTheWindow();
  void refusedSnapshotChangesNothing();

 private:
  QTemporaryDir dir_;
};

void FilesTest::init() {
  QFile map(dir_.filePath(QStringLiteral("map.csv")));
  QVERIFY(map.open(QIODevice::WriteOnly));
  map.write(QByteArray::fromStdString(SmallMap()));
}

void FilesTest::logIsSavedAsHeld() {
  WindowHarness h;
  QVERIFY(h.ShowAndStart());
  h.Window().cbRead_Click(0);
  const QString path = dir_.filePath(QStringLiteral("session.log"));
  ChooseFile(h.Window().txtLog->viewport(), QStringLiteral("Save Log As..."), path);
  QCOMPARE(Bytes(path).toStdString(), h.Window().LogContents());
  QVERIFY(Bytes(path).contains("\r\nReading register 0x00 = 0x00 successful\r\n"));
}

void FilesTest::valuesSavedByTheWindowLoadInTheCommandLine() {
  WindowHarness h;
  QVERIFY(h.ShowAndStart());
  h.Window().tbRegdata[1]->selectAll();
  QTest::keyClicks(h.Window().tbRegdata[1], QStringLiteral("7e"));
  const QString path = dir_.filePath(QStringLiteral("window.csv"));
  ChooseFile(h.Window().fmRegCtrls[0], QStringLiteral("Save Register Values..."), path);
  QCOMPARE(Bytes(path),
           QByteArray("address,name,value\n0x00,CONFIG,0x00\n0x01,LIMITS,0x7E\n0x10,STATUS,0x00\n"
                      "0x20,R20,0x00\n0x21,R21,0x00\n0x23,R23,0x00\n0x24,R24,0x00\n"));
  QCOMPARE(Cli(dir_, {QStringLiteral("load"), path, QStringLiteral("--verify")}), 0);
}

void FilesTest::valuesSavedByTheCommandLineLoadInTheWindow() {
  const QString path = dir_.filePath(QStringLiteral("cli.csv"));
  QCOMPARE(Cli(dir_, {QStringLiteral("save"), path}), 0);
  WindowHarness h;
  QVERIFY(h.ShowAndStart());
  const auto sent = h.Library().TransferCount();
  const std::size_t mark = h.Window().LogContents().size();
  ChooseFile(h.Window().tabPageArea, QStringLiteral("Load Register Values..."), path);
  // The demonstration chip's values, in the cache and on the page, and
  // nothing sent.
  QCOMPARE(h.Window().tbRegdata[0]->text(), QStringLiteral("A7"));
  QCOMPARE(h.Window().tbRegdata[1]->text(), QStringLiteral("12"));
  QCOMPARE(h.Window().Cache[0x10], 0x64);
  QCOMPARE(h.LogSince(mark),
           std::string("Loaded 7 register values from cli.csv (not yet written to the chip)\r\n"));
  QCOMPARE(h.Library().TransferCount(), sent);
}

void FilesTest::refusedSnapshotChangesNothing() {
  const QString path = dir_.filePath(QStringLiteral("bad.csv"));
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("address,name,value\r\n0x00,CONFIG,0x11\r\n0x00,CONFIG,0x22\r\n");
  file.close();
  WindowHarness h;
  QVERIFY(h.ShowAndStart());
  const std::string log = h.Window().LogContents();
  ChooseFile(h.Window().tabPageArea, QStringLiteral("Load Register Values..."), path);
  QCOMPARE(h.Messages().Texts().size(), 1);
  QVERIFY2(h.Messages().Texts().front().contains(QStringLiteral("line 3:")),
           qPrintable(h.Messages().Texts().front()));
  QCOMPARE(h.Window().Cache[0x00], 0);
  QCOMPARE(h.Window().LogContents(), log);
}

QTEST_MAIN(FilesTest)
#include "files_test.moc"
