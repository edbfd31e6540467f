// The window's controls, their captions, fonts and places.
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>

#include <utility>

#include "window/widgets/bit_button.h"
#include "window/diag_window.h"
#include "window/widgets/hex_entry_box.h"
#include "window/widgets/log_pane.h"
#include "window/pictures.h"
#include "window/twips.h"
#include "window/widgets/up_down_spinner.h"
#include "window/widgets/wrap_button.h"

namespace regdiag {

namespace {

QFont BoldFont(qreal points) {
  QFont font;
  font.setPointSizeF(points);
  font.setBold(true);
  return font;
}

// The labels show their texts literally, map texts included: no markup is
// interpreted and nothing is loaded because of it.
QLabel* PlainLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  return label;
}

// Every control's accessible name is what a person sees on it. An empty name
// is the one a widget has already; setting it anyway would only make Qt
// build the widget's accessible interface at start-up, to tell no one.
template <typename W>
W* Named(W* widget, const QString& objectName, const QString& accessibleName) {
  widget->setObjectName(objectName);
  if (!accessibleName.isEmpty()) widget->setAccessibleName(accessibleName);
  return widget;
}

}  // namespace

void DiagWindow::BuildControls() {
  setWindowTitle(QStringLiteral("Defined in tabdefs.csv: TITLEBAR"));
  setWindowIcon(WindowIcon());
  setFixedSize(Px(14100), Px(9810));
  // A fixed size shows as fixed: the window manager offers no maximize.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  // Controls without a font of their own use the small default face.
  QFont base = font();
  base.setPointSizeF(8.25);
  setFont(base);

  lblQRVDevice = Named(PlainLabel(QStringLiteral("Defined in tabdefs.csv: TITLE"), this),
                       QStringLiteral("lblQRVDevice"), QString());
  lblQRVDevice->setFont(BoldFont(24));
  lblQRVDevice->setGeometry(TwipsRect(240, 480, 8535, 495));

  Image1 = Named(new QLabel(this), QStringLiteral("Image1"), tr("regdiag logo"));
  Image1->setPixmap(LogoPicture());
  Image1->setScaledContents(true);
  Image1->setGeometry(TwipsRect(9000, 120, 4920, 1200));

  tabPageArea = new QFrame(this);
  tabPageArea->setObjectName(QStringLiteral("tabPageArea"));
  tabPageArea->setFrameShape(QFrame::StyledPanel);
  tabPageArea->setGeometry(TwipsRect(120, 1440, 13815, 6855).adjusted(0, 26, 0, 0));
  TabStrip1 = Named(new QTabBar(this), QStringLiteral("TabStrip1"), tr("Register pages"));
  TabStrip1->setFont(BoldFont(9.75));
  TabStrip1->setExpanding(false);
  TabStrip1->setDrawBase(false);
  TabStrip1->addTab(QString());  // the laid-out tab, without caption
  TabStrip1->setGeometry(TwipsRect(120, 1440, 13815, 400));

  for (int row = 0; row < kRowsPerPage; ++row) BuildRow(row);

  cbReadRegs = Named(new QPushButton(QStringLiteral("Read Group"), this), QStringLiteral("cbReadRegs"),
                     QStringLiteral("Read Group"));
  cbReadRegs->setFont(BoldFont(8.25));
  cbReadRegs->setGeometry(TwipsRect(11880, 7560, 735, 495));
  cbReadRegs->setVisible(false);
  cbWriteRegs = Named(new QPushButton(QStringLiteral("Write Group"), this), QStringLiteral("cbWriteRegs"),
                      QStringLiteral("Write Group"));
  cbWriteRegs->setFont(BoldFont(8.25));
  cbWriteRegs->setGeometry(TwipsRect(12720, 7560, 735, 495));
  cbWriteRegs->setVisible(false);

  BuildBottomBar();

  for (auto [timer, name] : {std::pair{&Timer1, "Timer1"}, std::pair{&Timer2, "Timer2"}}) {
    timer->setParent(this);
    timer->setObjectName(QLatin1String(name));
  }
  // Pauses end on their tick, not up to 5 % early or late.
  Timer1.setTimerType(Qt::PreciseTimer);
  Timer1.setInterval(100);
  Timer1.start();
  Timer2.setInterval(0);
}

void DiagWindow::BuildRow(int row) {
  const QString n = QString::number(row);
  QFrame* frame = Named(new QFrame(this), QStringLiteral("fmRegCtrls_") + n, tr("Register row %1").arg(row));
  frame->setFrameShape(QFrame::Box);
  frame->setFrameShadow(QFrame::Sunken);
  frame->setGeometry(TwipsRect(360, 2400 + 840 * row, 13335, 855));
  fmRegCtrls[row] = frame;

  lblRegName[row] =
      Named(PlainLabel(QStringLiteral("REGNAME"), frame), QStringLiteral("lblRegName_") + n, {});
  lblRegName[row]->setFont(BoldFont(9.75));
  lblRegName[row]->setGeometry(TwipsRect(120, 240, 1335, 255));
  lblRegAddr[row] =
      Named(PlainLabel(QStringLiteral("@ reg addr 0xXX"), frame), QStringLiteral("lblRegAddr_") + n, {});
  lblRegAddr[row]->setGeometry(TwipsRect(120, 480, 1335, 255));
  // The address must show whole in its narrow column.
  QFont small = font();
  small.setPointSizeF(7.5);
  lblRegAddr[row]->setFont(small);

  // Controls are made in reading order, which is also the keyboard order:
  // bit 7 at the left first, then the value box, spinner, Read and Write.
  for (int bit = 7; bit >= 0; --bit) {
    const int index = row * 8 + bit;
    const QString i = QString::number(index);
    const int left = 1680 + 1080 * (7 - bit);
    QLabel* name = Named(PlainLabel(QStringLiteral("BITNAME"), frame), QStringLiteral("lblBitName_") + i, {});
    name->setAlignment(Qt::AlignCenter);
    name->setGeometry(TwipsRect(left, 120, 975, 255));
    lblBitName[index] = name;
    BitButton* button = Named(new BitButton(frame), QStringLiteral("cbRegToggleBit_") + i, {});
    button->setFont(BoldFont(12));
    button->setGeometry(TwipsRect(left, 360, 1005, 375));
    cbRegToggleBit[index] = button;
  }

  tbRegdata[row] = Named(new HexEntryBox(frame), QStringLiteral("tbRegdata_") + n, tr("Value of row %1").arg(row));
  tbRegdata[row]->setFont(BoldFont(12));
  tbRegdata[row]->setText(QStringLiteral("00"));
  tbRegdata[row]->setGeometry(TwipsRect(10440, 360, 615, 405));
  updnRegData[row] =
      Named(new UpDownSpinner(frame), QStringLiteral("updnRegData_") + n, tr("Step value of row %1").arg(row));
  updnRegData[row]->setGeometry(TwipsRect(11040, 360, 240, 375));
  cbRead[row] = Named(new QPushButton(QStringLiteral("Read"), frame), QStringLiteral("cbRead_") + n,
                      QStringLiteral("Read"));
  cbRead[row]->setGeometry(TwipsRect(11520, 360, 735, 375));
  cbWrite[row] = Named(new QPushButton(QStringLiteral("Write"), frame), QStringLiteral("cbWrite_") + n,
                       QStringLiteral("Write"));
  cbWrite[row]->setGeometry(TwipsRect(12360, 360, 735, 375));
  NameBitButtons(row);
}

void DiagWindow::BuildBottomBar() {
  lblLog = Named(PlainLabel(QStringLiteral("Log:"), this), QStringLiteral("lblLog"), QStringLiteral("Log:"));
  // The second sans-serif face; Debian's fonts-dejavu-extra brings it, and
  // the package depends on that.
  QFont logFont(QStringLiteral("DejaVu Sans Condensed"));
  logFont.setPointSizeF(12);
  logFont.setBold(true);
  lblLog->setFont(logFont);
  lblLog->move(Px(120), Px(8400));
  lblLog->adjustSize();

  txtLog = Named(new LogPane(this), QStringLiteral("txtLog"), tr("Log"));
  txtLog->setGeometry(TwipsRect(840, 8400, 6855, 1215));

  const auto bottomButton = [this](const QString& caption, const QString& name, int left, int width) {
    auto* button = Named(new WrapButton(caption, this), name, caption);
    button->setFont(BoldFont(9.75));
    button->setGeometry(TwipsRect(left, 8400, width, 1215));
    return button;
  };
  cmdClearLog = bottomButton(QStringLiteral("Clear Log"), QStringLiteral("cmdClearLog"), 7920, 1455);
  cbReadAllRegs = bottomButton(QStringLiteral("Read All Registers"), QStringLiteral("cbReadAllRegs"), 9600, 1335);
  cbWriteAllRegs =
      bottomButton(QStringLiteral("Write All Registers"), QStringLiteral("cbWriteAllRegs"), 11040, 1335);
  cbQuit = bottomButton(QStringLiteral("Quit"), QStringLiteral("cbQuit"), 12600, 1335);
}

}  // namespace regdiag
