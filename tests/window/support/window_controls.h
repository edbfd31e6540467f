// The window's controls as a person, a screen reader or an automated UI check
// finds them: by their names, not through the window's members.
#pragma once

#include <QtWidgets>

#include <array>

#include "window/widgets/bit_button.h"
#include "window/widgets/hex_entry_box.h"
#include "window/widgets/log_pane.h"
#include "window/widgets/wrap_button.h"

namespace regdiag::test {

template <typename T, std::size_t N>
using Named = std::array<T*, N>;

struct WindowControls {
  QLabel *lblQRVDevice, *Image1, *lblLog;
  QTabBar* TabStrip1;
  QFrame* tabPageArea;
  Named<QFrame, 6> fmRegCtrls;
  Named<QLabel, 6> lblRegName, lblRegAddr;
  Named<QLabel, 48> lblBitName;
  Named<BitButton, 48> cbRegToggleBit;
  Named<HexEntryBox, 6> tbRegdata;
  Named<QSpinBox, 6> updnRegData;
  Named<QPushButton, 6> cbRead, cbWrite;
  QPushButton *cbReadRegs, *cbWriteRegs;
  LogPane* txtLog;
  WrapButton *cmdClearLog, *cbReadAllRegs, *cbWriteAllRegs, *cbQuit;
  QTimer *Timer1, *Timer2;
};

// The one child of that name (NAME, or NAME_INDEX for a control array); a
// missing control ends the test run.
template <typename T>
void Find(const QObject& window, T*& slot, const char* name, int index = -1) {
  const QString full = QLatin1String(name) + (index < 0 ? QString() : QStringLiteral("_%1").arg(index));
  slot = window.findChild<T*>(full);
  if (slot == nullptr) qFatal("the window has no control named %s", qPrintable(full));
}

template <typename T, std::size_t N>
void Find(const QObject& window, Named<T, N>& all, const char* name) {
  for (std::size_t i = 0; i < N; ++i) Find(window, all[i], name, static_cast<int>(i));
}

inline WindowControls FindControls(const QObject& w) {
  WindowControls c{};
#define REGDIAG_FIND(control) Find(w, c.control, #control)
  REGDIAG_FIND(lblQRVDevice), REGDIAG_FIND(Image1), REGDIAG_FIND(lblLog), REGDIAG_FIND(TabStrip1);
  REGDIAG_FIND(tabPageArea), REGDIAG_FIND(fmRegCtrls), REGDIAG_FIND(lblRegName), REGDIAG_FIND(lblRegAddr);
  REGDIAG_FIND(lblBitName), REGDIAG_FIND(cbRegToggleBit), REGDIAG_FIND(tbRegdata), REGDIAG_FIND(updnRegData);
  REGDIAG_FIND(cbRead), REGDIAG_FIND(cbWrite), REGDIAG_FIND(cbReadRegs), REGDIAG_FIND(cbWriteRegs);
  REGDIAG_FIND(txtLog), REGDIAG_FIND(cmdClearLog), REGDIAG_FIND(cbReadAllRegs), REGDIAG_FIND(cbWriteAllRegs);
  REGDIAG_FIND(cbQuit), REGDIAG_FIND(Timer1), REGDIAG_FIND(Timer2);
#undef REGDIAG_FIND
  return c;
}

}  // namespace regdiag::test
