// What the X server holds, read by a client of its own as a window manager
// reads it: the titles both programs give their windows. Runs under a server
// of its own (xvfb-run).
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "support/window_harness.h"

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

QTEST_MAIN(X11WindowTest)
#include "x11_window_test.moc"
