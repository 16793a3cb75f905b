// The main window on Qt 6 Widgets: the face (TMainView) of the window's
// rules (TFrmMain, ui/UMain.h), which it owns.
//
// It builds and lays out the controls, wires their signals to the rules'
// handlers, drops the user's input while the rules hold it, and shows the
// dialogs and boxes the rules ask for. It decides nothing.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <string>

#include "UMain.h"
#include "UMainView.h"

class QButtonGroup;
class QCheckBox;
class QCloseEvent;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QVBoxLayout;

namespace korvane {

class TStatusPanel;

class TMainWindow : public QWidget, public TMainView {
 public:
  // Ports is where the poll gets its list of ports to scan.
  explicit TMainWindow(TPortListSource Ports, QWidget* Parent = nullptr);
  ~TMainWindow() override;

  // The rules behind the window: its handlers, its programmer.
  TFrmMain& Rules() { return FRules; }
  const TFrmMain& Rules() const { return FRules; }

  // --- The face ---------------------------------------------------------------
  void SetChipLabel(const std::string& Name, const std::string& ToolTip) override;
  void ShowMemSizeChoice(bool Visible) override;
  int MemSizeItemIndex() const override;
  bool LockTicked() const override;
  bool FastVerifyTicked() const override;
  void EnableControl(TMainControl Control, bool Enabled) override;
  void HoldInput() override;
  void ReleaseInput() override;
  void SetStatusLine(const std::string& Text) override;
  void SetPortNote(const std::string& Text) override;
  void SetProgressRange(int Min, int Max) override;
  void SetProgressPosition(int Position) override;
  void ProcessPendingEvents() override;
  std::string AskOpenFileName(const std::string& StartFolder) override;
  std::string AskSaveFileName(const std::string& StartFolder) override;
  void ShowError(const std::string& Text) override;
  void ShowMessage(const std::string& Text) override;
  void ShowWaitCursor() override;
  void RestoreCursor() override;
  void StartPollTimer() override;
  void StopPollTimer() override;

 protected:
  // Refused while an operation runs (the rules say so on the status line).
  void closeEvent(QCloseEvent* Event) override;
  // Enter presses the focused button, or else the default button (Send).
  void keyPressEvent(QKeyEvent* Event) override;

 private:
  void CreateComponents();
  // Sizes the window from the fonts in use so that no text is clipped, and
  // fixes its size.
  void ArrangeComponents();

  TFrmMain FRules;

  // Components, named as the window's design names them.
  QGroupBox* GroupBox1 = nullptr;
  QLabel* LblTargetChip = nullptr;
  QGroupBox* rdoMemSize = nullptr;
  QButtonGroup* FMemSizeItems = nullptr;
  TStatusPanel* pnlVerbose = nullptr;
  QLabel* LblPortNote = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QCheckBox* chkLock = nullptr;
  QCheckBox* chkFastVerify = nullptr;
  QPushButton* btnSend = nullptr;
  QPushButton* BtnRead = nullptr;
  QProgressBar* pbLoading = nullptr;
  QTimer* Timer1 = nullptr;
  QVBoxLayout* FChipLayout = nullptr;

  // Installed on the application while the input is held.
  std::unique_ptr<QObject> FInputFilter;
  bool FInputHeld = false;
  QPointer<QWidget> FFocusBeforeHold;
};

}  // namespace korvane
