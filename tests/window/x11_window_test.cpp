// What an X server of its own (xvfb-run) holds, read as a window manager or
// another program reads it: the titles both programs give their windows, and
// the bytes a copy from the log puts on the clipboard.
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "support/window_harness.h"
#include "window/widgets/log_pane.h"

namespace {

// Replies of the X server are the caller's to free.
template <typename T>
std::unique_ptr<T, decltype(&std::free)> Owned(T* reply) {
  return {reply, &std::free};
}

class XServer {
 public:
  XServer()
      : c_(xcb_connect(nullptr, nullptr)), root_(xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root) {}
  ~XServer() { xcb_disconnect(c_); }

  xcb_atom_t Atom(const char* name) {
    const auto reply =
        Owned(xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, std::strlen(name), name), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  }

  QByteArray Property(xcb_window_t window, const char* name) {
    const auto reply = Owned(xcb_get_property_reply(
        c_, xcb_get_property(c_, 0, window, Atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 16), nullptr));
    if (!reply) return {};
    return {static_cast<const char*>(xcb_get_property_value(reply.get())),
            xcb_get_property_value_length(reply.get())};
  }

  // What a window manager reads: a size it may change (the size hints'
  // minimum and maximum differ), a maximize it may offer (the Motif hints'
  // functions or decorations), a place not wholly on the screen.
  QString Fault(xcb_window_t window) {
    const QByteArray size = Property(window, "WM_NORMAL_HINTS"), motif = Property(window, "_MOTIF_WM_HINTS");
    const auto* s = reinterpret_cast<const qint32*>(size.constData());
    const auto* m = reinterpret_cast<const quint32*>(motif.constData());
    QString fault;
    if (size.size() < 36 || (~s[0] & 0x30) || s[5] != s[7] || s[6] != s[8]) fault += " (resizable)";
    if (motif.size() < 12 || (~m[0] & 3) || (m[1] & 0x11) || (m[2] & 0x41)) fault += " (maximizable)";
    const auto place = Owned(xcb_get_geometry_reply(c_, xcb_get_geometry(c_, window), nullptr));
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
    if (!place || place->x < 0 || place->y < 0 || place->x + place->width > screen->width_in_pixels ||
        place->y + place->height > screen->height_in_pixels)
      fault += " (off the screen)";
    return fault;
  }

  // The _NET_WM_NAME of every shown top-level window of a process, sorted;
  // one that shows no icon, or has a Fault, says so.
  QStringList Titles(qint64 pid) {
    QStringList titles;
    const auto id = static_cast<quint32>(pid);
    const auto tree = Owned(xcb_query_tree_reply(c_, xcb_query_tree(c_, root_), nullptr));
    const xcb_window_t* windows = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
      const auto shown =
          Owned(xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, windows[i]), nullptr));
      if (shown && shown->map_state == XCB_MAP_STATE_VIEWABLE &&
          Property(windows[i], "_NET_WM_PID") == QByteArray(reinterpret_cast<const char*>(&id), sizeof id)) {
        titles << QString::fromUtf8(Property(windows[i], "_NET_WM_NAME")) +
                      (Property(windows[i], "_NET_WM_ICON").isEmpty() ? QStringLiteral(" (no icon)")
                                                                      : QString()) +
                      Fault(windows[i]);
      }
    }
    titles.sort();
    return titles;
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
    const bool answered = QTest::qWaitFor([this] {
      bool notified = false;
      while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
        notified = notified || (event->response_type & 0x7F) == XCB_SELECTION_NOTIFY;
        std::free(event);
      }
      return notified;
    });
    QByteArray bytes = answered ? Property(requestor, "REGDIAG_PASTE") : QByteArray();
    xcb_destroy_window(c_, requestor);
    xcb_flush(c_);
    return bytes;
  }

 private:
  xcb_connection_t* c_;
  xcb_window_t root_;
};

}  // namespace

class X11WindowTest : public QObject {
  Q_OBJECT

 private slots:
  // Without a map the message box comes first, captioned with the
  // application's title. --map names a map of any name, anywhere.
  void programsShowExactlyTheMapTitle() {
    const QString title = QStringLiteral("<b>PMX-7</b> [*] & Tool — ü");
    for (const char* program : {REGDIAG_PROGRAM, REGDIAG_SIM_PROGRAM}) {
      for (const int where : {0, 1, 2}) {  // beside the program, nowhere, named by --map
        const bool withMap = where != 1;
        // The program reads the map beside itself: a copy of it in a folder of its own.
        QTemporaryDir dir;
        const QString copy = dir.filePath(QFileInfo(QString::fromLocal8Bit(program)).fileName());
        QVERIFY(QFile::copy(QString::fromLocal8Bit(program), copy));
        QFile map(dir.filePath(where == 2 ? QStringLiteral("other.csv") : QStringLiteral("tabdefs.csv")));
        if (withMap && map.open(QIODevice::WriteOnly)) map.write(("TITLEBAR," + title + "\r\n").toUtf8());
        map.close();
        QProcess run;
        run.start(copy, where == 2 ? QStringList{"--map", map.fileName()} : QStringList{});
        QStringList expected{withMap ? title : QStringLiteral("regdiag")};
        if (withMap && copy.endsWith(QStringLiteral("-sim"))) expected << QStringLiteral("Simulated bridge");
        QTRY_COMPARE_WITH_TIMEOUT(x_.Titles(run.processId()), expected, 15000);
        run.kill();
        QVERIFY(run.waitForFinished());
      }
    }
  }

  void logCopyPutsTheHeldTextOnTheClipboard() {
    regdiag::test::WindowHarness h;
    auto& w = h.Window();
    const regdiag::test::WindowControls c = h.Controls();
    QVERIFY(h.ShowAndStart());
    for (const bool byMenu : {false, true}) {  // Ctrl+C, then the context menu's Copy
      w.cmdClearLog_Click();
      w.LogText(
          byMenu ? "Reading register 0x00 = 0x05 successful" : "Writing register 0x01 = 0xA5 successful",
          "\r\n\r\ntwo\r\nlines\r\n");
      c.txtLog->Flush();
      c.txtLog->selectAll();
      const std::unique_ptr<QMenu> menu(c.txtLog->createStandardContextMenu());
      auto* copy = menu->findChild<QAction*>(QStringLiteral("edit-copy"));
      QVERIFY(copy != nullptr && copy->isEnabled());
      if (byMenu) copy->trigger();
      if (!byMenu) QTest::keyClick(c.txtLog, Qt::Key_C, Qt::ControlModifier);
      QCOMPARE(x_.Clipboard(), QByteArray::fromStdString(w.LogContents()));
    }
  }

 private:
  XServer x_;
};

QTEST_MAIN(X11WindowTest)
#include "x11_window_test.moc"
