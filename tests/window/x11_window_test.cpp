// What the X server holds, read by a client of its own as a window manager or
// another program reads it: the titles both programs give their windows, and
// the bytes a copy from the log puts on the clipboard. Runs under a server of
// its own (xvfb-run).
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "support/window_harness.h"
#include "window/log_pane.h"

namespace {

struct Free {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, Free>;

class XServer {
 public:
  XServer() : c_(xcb_connect(nullptr, nullptr)) {
    root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
  }
  ~XServer() { xcb_disconnect(c_); }

  xcb_atom_t Atom(const char* name) {
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, std::strlen(name), name), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  }

  QByteArray Property(xcb_window_t window, const char* name) {
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c_, xcb_get_property(c_, 0, window, Atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 16), nullptr));
    if (!reply) return {};
    return {static_cast<const char*>(xcb_get_property_value(reply.get())),
            xcb_get_property_value_length(reply.get())};
  }

  // The shown top-level windows of a process, by their _NET_WM_NAME.
  QMap<QString, xcb_window_t> Windows(qint64 pid) {
    QMap<QString, xcb_window_t> shown;
    const auto id = static_cast<quint32>(pid);
    const Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c_, xcb_query_tree(c_, root_), nullptr));
    const xcb_window_t* windows = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
      const Reply<xcb_get_window_attributes_reply_t> attributes(
          xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, windows[i]), nullptr));
      const QByteArray owner = Property(windows[i], "_NET_WM_PID");
      if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
          owner == QByteArray::fromRawData(reinterpret_cast<const char*>(&id), sizeof id)) {
        shown[QString::fromUtf8(Property(windows[i], "_NET_WM_NAME"))] = windows[i];
      }
    }
    return shown;
  }

  // What the window manager sends when the user closes a window.
  void Close(xcb_window_t window) {
    xcb_client_message_event_t message{XCB_CLIENT_MESSAGE, 32, 0, window, Atom("WM_PROTOCOLS"), {}};
    message.data.data32[0] = Atom("WM_DELETE_WINDOW");
    xcb_send_event(c_, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
    xcb_flush(c_);
  }

  // The clipboard's text as UTF-8 bytes, asked of its owner as any program
  // asks; this process's event loop runs meanwhile, for the window to answer.
  QByteArray Clipboard() {
    const xcb_window_t requestor = xcb_generate_id(c_);
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, requestor, root_, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_convert_selection(c_, requestor, Atom("CLIPBOARD"), Atom("UTF8_STRING"), Atom("REGDIAG_PASTE"),
                          XCB_CURRENT_TIME);
    xcb_flush(c_);
    bool answered = false;
    for (int i = 0; i < 1000 && !answered; ++i) {
      QTest::qWait(10);
      while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
        answered = answered || (event->response_type & 0x7F) == XCB_SELECTION_NOTIFY;
        std::free(event);
      }
    }
    QByteArray bytes = answered ? Property(requestor, "REGDIAG_PASTE") : QByteArray();
    xcb_destroy_window(c_, requestor);
    xcb_flush(c_);
    return bytes;
  }

 private:
  xcb_connection_t* c_;
  xcb_window_t root_ = 0;
};

const QString kTitle = QStringLiteral("<b>PMX-7</b> [*] & Tool — ü");

}  // namespace

class X11WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void programsShowExactlyTheMapTitle_data();
  void programsShowExactlyTheMapTitle();
  void logCopyPutsTheHeldTextOnTheClipboard();

 private:
  XServer x_;
};

void X11WindowTest::programsShowExactlyTheMapTitle_data() {
  QTest::addColumn<QString>("program");
  QTest::addColumn<bool>("withMap");
  for (const char* program : {REGDIAG_PROGRAM, REGDIAG_SIM_PROGRAM}) {
    const QString name = QFileInfo(QString::fromLocal8Bit(program)).fileName();
    QTest::newRow(qPrintable(name)) << QString::fromLocal8Bit(program) << true;
    QTest::newRow(qPrintable(name + " without a map")) << QString::fromLocal8Bit(program) << false;
  }
}

void X11WindowTest::programsShowExactlyTheMapTitle() {
  QFETCH(QString, program);
  QFETCH(bool, withMap);
  // The program reads the map beside itself: a copy of it in a folder of its own.
  QTemporaryDir dir;
  const QString copy = dir.filePath(QFileInfo(program).fileName());
  QVERIFY(QFile::copy(program, copy));
  if (withMap) {
    QFile map(dir.filePath(QStringLiteral("tabdefs.csv")));
    QVERIFY(map.open(QIODevice::WriteOnly));
    map.write(
        regdiag::test::CrLfLines({"TITLEBAR," + kTitle.toStdString(), "TABNAME,Main", "REG,0,R0"}).c_str());
  }

  QProcess run;
  run.start(copy, {});
  QVERIFY(run.waitForStarted());
  QStringList expected{withMap ? kTitle : QStringLiteral("Defined in tabdefs.csv: TITLEBAR")};
  if (copy.endsWith(QStringLiteral("-sim"))) expected << QStringLiteral("Simulated bridge");
  if (!withMap) {
    // First the message box, captioned with the application's title.
    QTRY_COMPARE_WITH_TIMEOUT(x_.Windows(run.processId()).keys(), QStringList{QStringLiteral("regdiag")},
                              15000);
    x_.Close(x_.Windows(run.processId()).first());
  }
  QTRY_COMPARE_WITH_TIMEOUT(x_.Windows(run.processId()).keys(), expected, 15000);
  run.terminate();
  QVERIFY(run.waitForFinished());
}

void X11WindowTest::logCopyPutsTheHeldTextOnTheClipboard() {
  regdiag::test::WindowHarness h;
  auto& w = h.Window();
  QVERIFY(h.ShowAndStart());
  for (const bool byMenu : {false, true}) {  // Ctrl+C, then the context menu's Copy
    w.cmdClearLog_Click();
    w.LogLine(byMenu ? "Reading register 0x00 = 0x05 successful" : "Writing register 0x01 = 0xA5 successful");
    w.LogLine("");
    w.LogText("two\r\nlines", "\r\n");
    w.txtLog->Flush();
    w.txtLog->selectAll();
    const std::unique_ptr<QMenu> menu(w.txtLog->createStandardContextMenu());
    auto* copy = menu->findChild<QAction*>(QStringLiteral("edit-copy"));
    QVERIFY(copy != nullptr && copy->isEnabled());
    if (byMenu) copy->trigger();
    if (!byMenu) QTest::keyClick(w.txtLog, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(x_.Clipboard(), QByteArray::fromStdString(w.LogContents()));
  }
}

QTEST_MAIN(X11WindowTest)
#include "x11_window_test.moc"
