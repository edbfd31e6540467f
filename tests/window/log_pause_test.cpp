// The session log pane and the event-processing pause.
#include <QElapsedTimer>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTextCursor>

#include "support/window_harness.h"
#include "window/log_pane.h"
#include "window/wrap_button.h"

using regdiag::test::WindowHarness;

class LogPauseTest : public QObject {
  Q_OBJECT

 private slots:
  void entriesEndInCrLfAndCaretGoesToTheEnd();
  void clearLogEmptiesThePane();
  void pauseServesWindowEventsAndEndsOnItsTick();
  void oldElapsedFlagDoesNotEndANewPause();
  void nestedPauseEndsTheOuterOne();
  void closingTheWindowEndsEveryWait();
};

void LogPauseTest::entriesEndInCrLfAndCaretGoesToTheEnd() {
  WindowHarness h;
  auto& w = h.Window();
  w.LogLine("first");
  w.LogLine("");
  w.LogText("two\r\nlines", "\r\n");
  QCOMPARE(w.LogContents(), std::string("first\r\n\r\ntwo\r\nlines\r\n"));
  // The view takes the entries a moment later, from the event loop.
  QTRY_COMPARE(w.txtLog->toPlainText(), QStringLiteral("first\n\ntwo\nlines\n"));
  // The user puts the caret elsewhere and selects; the next append still
  // leaves the caret at the very end.
  QTextCursor cursor = w.txtLog->textCursor();
  cursor.setPosition(2);
  cursor.setPosition(4, QTextCursor::KeepAnchor);
  w.txtLog->setTextCursor(cursor);
  w.LogLine("after");
  QTRY_VERIFY(w.txtLog->toPlainText().endsWith(QStringLiteral("after\n")));
  QCOMPARE(w.txtLog->textCursor().position(), static_cast<int>(w.txtLog->toPlainText().size()));
  QVERIFY(!w.txtLog->textCursor().hasSelection());
}

void LogPauseTest::clearLogEmptiesThePane() {
  WindowHarness h;
  auto& w = h.Window();
  w.LogLine("something");
  QTest::mouseClick(w.cmdClearLog, Qt::LeftButton);
  QCOMPARE(w.LogContents(), std::string());
  QCOMPARE(w.txtLog->toPlainText(), QString());
  w.LogLine("next");
  QCOMPARE(w.LogContents(), std::string("next\r\n"));
}

void LogPauseTest::pauseServesWindowEventsAndEndsOnItsTick() {
  WindowHarness h;
  auto& w = h.Window();
  w.LogLine("to be cleared");
  QTimer::singleShot(0, &w, [&] { w.cmdClearLog->click(); });
  QTimer::singleShot(0, &w, [&] { w.TabStrip1->setCurrentIndex(1); });
  QVERIFY(w.Pause(10));
  QCOMPARE(w.LogContents(), std::string());
  QCOMPARE(w.TabStrip1->currentIndex(), 1);
  QVERIFY(w.PauseElapsed);
  QVERIFY(!w.Timer1.isActive());
}

void LogPauseTest::oldElapsedFlagDoesNotEndANewPause() {
  WindowHarness h;
  auto& w = h.Window();
  w.PauseElapsed = true;
  QElapsedTimer clock;
  clock.start();
  QVERIFY(w.Pause(50));
  QVERIFY(clock.elapsed() >= 45);  // the new pause waited for its own tick
}

void LogPauseTest::nestedPauseEndsTheOuterOne() {
  WindowHarness h;
  auto& w = h.Window();
  bool innerDone = false;
  QTimer::singleShot(5, &w, [&] {
    QVERIFY(w.Pause(10));
    innerDone = true;
  });
  QElapsedTimer clock;
  clock.start();
  QVERIFY(w.Pause(5000));
  QVERIFY(innerDone);
  QVERIFY(clock.elapsed() < 4000);  // ended by the inner pause, not its own tick
}

void LogPauseTest::closingTheWindowEndsEveryWait() {
  WindowHarness h;
  auto& w = h.Window();
  w.show();
  bool innerResult = true;
  QTimer::singleShot(5, &w, [&] {
    QTimer::singleShot(5, &w, [&] { w.cbQuit->click(); });
    innerResult = w.Pause(10000);
  });
  QElapsedTimer clock;
  clock.start();
  const bool outerResult = w.Pause(10000);
  QVERIFY(!outerResult);
  QVERIFY(!innerResult);
  QVERIFY(w.Unloaded());
  QVERIFY(clock.elapsed() < 5000);
  const std::size_t before = w.LogContents().size();
  w.LogLine("after unload");
  QCOMPARE(w.LogContents().size(), before);
}

QTEST_MAIN(LogPauseTest)
#include "log_pause_test.moc"
