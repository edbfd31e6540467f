// The main window: owns every control and all state of a run, and serves the
// control events under their handler names. The work itself is done by the
// plain C++ core (map, hex rules, and the engine that talks to the bridge);
// the handlers here are the thin layer that reads and sets controls.
//
// Threads: everything runs on the window thread. The USB library's
// notifications reach the engine through queued calls on this object, so
// they are handled whenever the thread processes events.
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <vector>

#include "core/usb/usb_lib.h"
#include "core/map/register_map.h"
#include "core/transactions/register_engine.h"
#include "window/widgets/bit_button.h"
#include "window/window_waiter.h"

class QAction;
class QLabel;
class QFrame;
class QPushButton;
class QTabBar;
class QSpinBox;

namespace regdiag {

class ExactWake;
class HexEntryBox;
class LogPane;
class WrapButton;

class DiagWindow : public QWidget {
  Q_OBJECT

 public:
  // The window talks to the bridge through `library`, which must outlive it,
  // and reads tabdefs.csv from `appFolder`.
  DiagWindow(usb::UsbLibrary& library, const std::filesystem::path& appFolder, QWidget* parent = nullptr);
  // The same with the map read from a file named on the command line
  // (--map FILE); its messages name that file.
  struct MapFile {
    std::filesystem::path path;
  };
  DiagWindow(usb::UsbLibrary& library, MapFile mapFile, QWidget* parent = nullptr);
  ~DiagWindow() override;

  // --- What the window holds, for the other classes and the tests -----------
  // The cached value of a register.
  [[nodiscard]] std::int16_t CachedValue(std::uint8_t address) const { return Cache[address]; }
  // The map read at load (empty when none was), for a simulated chip to
  // follow the same rules.
  [[nodiscard]] const RegisterMap& LoadedMap() const { return Map; }
  // True while the window sets a row itself, which the spinner's Change
  // handler then ignores.
  [[nodiscard]] bool IgnoringSpinnerChange() const { return IgnoreSpinnerChange; }
  // True from the tick that ended the last pause until the next one starts.
  [[nodiscard]] bool PauseHasElapsed() const { return PauseElapsed; }

  // --- Start-up and end (window) ----------------------------------------
  void Form_Initialize();
  void Form_Load();
  [[nodiscard]] bool LoadRegisterMap();
  // Runs once, at the first activation: the driver start-up.
  void Form_Activate();
  void Form_Unload();
  void cbQuit_Click();
  // True once the window has been unloaded: nothing may run against it then.
  [[nodiscard]] bool Unloaded() const { return unloaded_; }

  // --- Pages and pause ----------------------------------------------------
  void TabStrip1_Click();
  // Waits msec milliseconds while the window serves its events. Returns
  // false when the wait ended because the window was unloaded; the caller
  // must then stop.
  bool Pause(std::int16_t msec);
  void Timer1_Timer();
  // Page index of the selected tab, or -1 when there is no tab.
  [[nodiscard]] int PageIndex() const;
  // The register address of a row of the page shown; kNoRegister for an
  // empty row or when there is no page.
  [[nodiscard]] std::int16_t ShownAddress(int row) const { return Map.AddressAt(PageIndex(), row); }

  // --- Session log --------------------------------------------------------
  static void AppendToTextBox(LogPane& box, std::string_view text, std::string_view suffix);
  void LogText(std::string_view text, std::string_view suffix);
  void LogLine(std::string_view text);
  void cmdClearLog_Click();
  // The log as one text, lines ending CR LF.
  [[nodiscard]] const std::string& LogContents() const;

  // --- The engine: driver session, pipes, transactions ---------------------
  [[nodiscard]] RegisterEngine& Engine() { return engine_; }

  // --- Register transactions and sequences ---------------------------------
  void cbRead_Click(std::int16_t Index);
  void cbWrite_Click(std::int16_t Index);
  void cbReadRegs_Click();
  void cbWriteRegs_Click();
  void cbReadAllRegs_Click();
  void cbWriteAllRegs_Click();

  // --- Value editing --------------------------------------------------------
  void UpdateBitsFromText(std::int16_t row);
  void UpdateCacheFromText(std::int16_t row);
  void UpdateSpinnerFromText(std::int16_t row);
  void UpdateTextFromBits(std::int16_t index);
  void tbRegdata_KeyPress(std::int16_t Index, int& KeyAscii);
  // Text that arrives by paste goes through the key rules character by
  // character, so it can never leave more than two hex digits.
  void tbRegdata_Paste(std::int16_t Index, const QString& text);
  void updnRegData_Change(std::int16_t Index);
  void cbRegToggleBit_Click(std::int16_t Index);

  // --- Files: the log and register snapshots (context menus) ---------------
  // Each asks for a file name, then does its work; a file that cannot be
  // written or read, or a snapshot that is refused, is told in a message box.
  void SaveLogAs_Click();
  void SaveRegisterValues_Click();
  void LoadRegisterValues_Click();
  // Puts the map's reset values into the cache and the page shown, and logs
  // one line; nothing goes to the chip.
  void LoadResetValues_Click();
  // The log exactly as held, CR LF line ends and all. True when written.
  bool SaveLogAs(const QString& path);
  // The cached value of every named register. True when written.
  bool SaveRegisterValues(const QString& path);
  // Puts a snapshot into the cache and the page shown, and logs one line;
  // nothing goes to the chip until Write or Write All Registers. A file
  // refused anywhere changes nothing. True when loaded.
  bool LoadRegisterValues(const QString& path);

  // Shows a modal message box with an OK button, captioned with the
  // application's title.
  void ShowMessage(const QString& text);

  // --- Context menus and what waits for the bridge's work -------------------
  // Offers `action` in the context menu of the register pages, after the
  // window's own. The window does not take ownership.
  void AddPageAction(QAction* action);
  // Keeps `action` disabled while a sequence or a transfer runs: a load or a
  // save then would mix with the values and lines the work is bringing.
  void DisableWhileBusy(QAction* action);
  // True while a sequence or a transfer runs.
  [[nodiscard]] bool Busy() const { return busy_ > 0; }
  // Holds the window busy while it lives; what runs a sequence or waits for
  // a transfer holds one.
  class BusyScope {
   public:
    explicit BusyScope(DiagWindow& window);
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

   private:
    QPointer<DiagWindow> window_;
  };

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // The window's own parts that wait for it and write its log.
  friend class InputGate;
  friend class WindowLogSink;

  static constexpr std::size_t kBitButtons = std::size_t{kRowsPerPage} * kBitsPerRegister;

  DiagWindow(usb::UsbLibrary& library, std::filesystem::path mapPath, bool mapNamed, QWidget* parent);

  // --- Controls, under the names of the layout -------------------------
  QLabel* lblQRVDevice = nullptr;
  QLabel* Image1 = nullptr;
  QTabBar* TabStrip1 = nullptr;
  QFrame* tabPageArea = nullptr;
  std::array<QFrame*, kRowsPerPage> fmRegCtrls{};
  std::array<QLabel*, kRowsPerPage> lblRegName{};
  std::array<QLabel*, kRowsPerPage> lblRegAddr{};
  std::array<QLabel*, kBitButtons> lblBitName{};
  std::array<BitButton*, kBitButtons> cbRegToggleBit{};
  std::array<HexEntryBox*, kRowsPerPage> tbRegdata{};
  std::array<QSpinBox*, kRowsPerPage> updnRegData{};
  std::array<QPushButton*, kRowsPerPage> cbRead{};
  std::array<QPushButton*, kRowsPerPage> cbWrite{};
  QPushButton* cbReadRegs = nullptr;
  QPushButton* cbWriteRegs = nullptr;
  QLabel* lblLog = nullptr;
  LogPane* txtLog = nullptr;
  WrapButton* cmdClearLog = nullptr;
  WrapButton* cbReadAllRegs = nullptr;
  WrapButton* cbWriteAllRegs = nullptr;
  WrapButton* cbQuit = nullptr;
  // Children of the window (found by their names like every control); as
  // members they go before the window does.
  QTimer Timer1;
  QTimer Timer2;  // laid out disabled; nothing uses it

  // --- State of the run -----------------------------------------------
  RegisterMap Map;
  RegisterValueCache Cache{};
  bool IgnoreSpinnerChange = false;
  bool PauseElapsed = false;

  void BuildControls();
  void BuildRow(int row);
  void BuildBottomBar();
  void ConnectEvents();
  void AddPageMenu();
  // Writes bytes to a file whole (or not at all); false after telling why.
  bool WriteWholeFile(const QString& path, std::string_view bytes, const QString& what);
  void ApplyMapTexts();
  void BuildTabs();
  void SetBitButton(int index, bool set);
  // Shows a value that a read brought back in a row.
  void ShowReadValue(std::int16_t row, std::uint8_t value);
  // What the map's rules show in a row: Read and Write enabled as the
  // register's access allows, and its fields.
  void ShowRowRules(int row);
  // The value box's tooltip and accessible description: each field of the
  // row's register with its value in the box, one line each.
  void UpdateFieldTip(int row);
  // Write, or in Write Group (`knownOnly`) nothing for a register whose value
  // is not known.
  void WriteRow(std::int16_t row, bool knownOnly);
  // Names each bit button of a row by what its row and column show.
  void NameBitButtons(int row);
  void UpdateBusyActions();

  std::filesystem::path appFolder_;
  // Wakes the event loop when Timer1 is due (handlers/pause.cpp).
  ExactWake* exactWake_ = nullptr;
  QAction* loadResetValues_ = nullptr;  // in the page's context menu
  std::filesystem::path mapPath_;
  bool mapNamed_;  // named on the command line, not tabdefs.csv beside the program
  bool activated_ = false;
  bool unloaded_ = false;
  int busy_ = 0;
  std::vector<QPointer<QAction>> busyDisabled_;
  WindowLogSink logSink_{*this};
  WindowWaiter waiter_{*this};
  RegisterEngine engine_;
};

}  // namespace regdiag
