// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: the dialog of the template with its form values, the
// front end the engine reports to, and the host of the run commands.
//
// Hand-overs from the worker: LogMessage applies a message to the log
// channel at once on the calling thread and UpdateProgress computes the
// progress display under a lock on the calling thread; both then only ask
// for a repaint (one queued call while none is pending), and the window
// thread copies that state into the widgets at most about 33 times a
// second. The worker's closing Start command is the one real call into the
// window thread. A share logon the worker asks for is one queued request:
// the worker waits for the answer (see CLogonRequest), the window shows the
// logon dialog beside itself and answers when the user does. The window
// thread never waits for the worker; while a worker it started may run, it
// looks every 100 ms whether the worker has finished.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "frontend/ControlIds.h"
#include "frontend/DialogAnchors.h"
#include "frontend/FormValues.h"
#include "frontend/FormView.h"
#include "frontend/LogonRequest.h"
#include "frontend/RunHost.h"
#include "frontend/WindowFrontEnd.h"
#include "ui/DialogHooks.h"
#include "ui/DirDialog.h"
#include "ui/LogBoxView.h"

class CLogonDlg;
class QPlainTextEdit;
class QPushButton;

class CMainDlg : public QDialog, public CWindowFrontEnd, private CFormView, private CRunHost {
public:
  // Builds the controls of the template with their defaults, takes
  // arguments (the command line without the program's path) into Source,
  // puts the help text into the log, becomes the run state's main form and
  // clears the run and pause flags; then initialises the dialog: writes the
  // form, lists the command-line sources under the help text (and names
  // the arguments left out), sets both bars to 0..1000.
  explicit CMainDlg(const std::vector<std::string>& arguments, QWidget* parent = nullptr);
  // Stops being the run state's main form; a logon request still open is
  // refused.
  ~CMainDlg() override;

  // Runs Start/Abort on the window thread and returns once it has run.
  void SendStartCommand() override;
  // Called on the worker thread: hands the question to the window thread in
  // one queued call and waits for the answer, looking at the run flag every
  // 50 ms. The window shows the logon dialog for logon.share; OK returns
  // true with the user, domain and password typed (the dialog's password
  // field is cleared), Cancel or its close box returns false, and so does a
  // run flag that is clear, or cleared while waiting (Abort, Exit), which
  // also closes the dialog. On the window thread itself returns false at
  // once.
  bool AskShareLogon(CShareLogon& logon) override;

  // The commands of the buttons; each runs on the window thread.
  // Destination and Source Dir read the form, show their folder picker
  // beside the window and return at once; the folder is applied when the
  // user chooses it. While a picker is open, its button only raises it.
  // Start/Abort and Exit close the logon dialog, refusing its question,
  // whenever they leave the run flag clear. OnStartButton is the Start
  // button and Enter: a second one within half a second of the one that
  // started a run is ignored.
  void OnStartAbort();
  void OnStartButton();
  void OnExit();
  void OnPause();
  // Skip File: ends the copy of the file being copied (see RunButtons.h).
  void OnSkipFile();
  void OnScanFolders();
  void OnBrowseDestination();
  void OnSourceDir();
  void OnSourceFile();
  // Fills Source from dropped paths as Source File does; append adds them.
  void OnDropPaths(const std::vector<std::string>& paths, bool append);
  // Shows the About box modally.
  void ShowAbout();
  // Opens the folder of the run logs in the file manager, making it first
  // when it does not exist yet.
  void OpenLogFolder();

  // Copies the log text, the progress labels and bars and the caption into
  // the widgets now.
  void RefreshDisplay();

  // Returns the logon dialog while it is open, or null.
  QDialog* LogonDialog() const;

  // Returns the control of id, or null.
  QWidget* Control(int id) const;
  const CFormValues& Values() const { return m_values; }
  const CLogChannel& Log() const { return m_log; }
  const std::string& LastSourceFolder() const { return m_lastSourceFolder; }
  CDialogHooks& Hooks() { return m_hooks; }

protected:
  // Escape and the close box: the Exit command.
  void reject() override;
  // Escape while a folder picker is open brings the picker to the front
  // and leaves the window alone: the key was meant for the picker.
  void keyPressEvent(QKeyEvent* event) override;
  // Places the controls for the new size by the template's anchors.
  void resizeEvent(QResizeEvent* event) override;
  // The window's context menu: "&About Ferrox...".
  void contextMenuEvent(QContextMenuEvent* event) override;
  // A drag is taken when its URLs hold a file:// or smb:// one. The drop
  // names in the log each URL left out (other schemes, a password in the
  // address, names the field cannot hold) and fills Source from the rest
  // as OnDropPaths does, Shift held at the drop appending.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  // Takes drops of files meant for the window from the controls that would
  // take them as text.
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  // CFormView over the widgets.
  std::string FieldText(int id) const override;
  void SetFieldText(int id, std::string_view text) override;
  bool IsChecked(int id) const override;
  void SetChecked(int id, bool checked) override;
  void SetEnabled(int id, bool enabled) override;
  bool IsEnabled(int id) const override;
  void RefuseField(int id, const std::string& message) override;

  // CRunHost over the window.
  bool ReadFormValues() override;
  void EmptyLogAndWriteForm() override;
  void ParseSourceList() override;
  const CFormValues& FormValues() const override { return m_values; }
  void SetStartText(const char* text) override;
  void SetPauseText(const char* text) override;
  void SetRunButtons(bool pauseEnabled, bool skipFileEnabled) override;
  void BringToFront() override;
  void CloseWindow() override;
  bool StartWorker(std::function<void()> work, std::string& error) override;
  void ResetProgress() override { ResetDisplayedProgress(); }
  bool OpenRunLog(std::string& error) override { return OpenLogFile(error); }
  void CloseRunLog() override { CloseLogFile(); }
  void SetScanFoldersEnabled(bool enabled) override { SetEnabled(kIdScanFolders, enabled); }

  // Returns the steady clock's milliseconds (or the test hook's).
  int64_t NowMs() const;
  // One look of the worker watch: once the worker has finished, shows
  // what it left and hands its end to the run commands.
  void WatchWorker();

  void CreateControls();
  void ConnectCommands();
  void InitDialog(const std::vector<std::string>& leftOutLines);
  // Asks for one repaint (one queued call while none is pending); from any
  // thread, never waits.
  void RequestRepaint() override;
  // Returns whether Shift is held at this moment.
  bool ShiftHeld() const;
  // Shows picker without blocking the window and hands a chosen folder to
  // apply when the user chooses it; with the test hook set, runs the hook in
  // its place and hands its folder over at once.
  void PickFolder(CDirDialog& picker, std::function<void(const std::string& path)> apply);
  // Puts path into the Destination field and its value, leaving every other
  // field as it stands.
  void ApplyDestinationFolder(const std::string& path);
  // Remembers path as the last source folder and puts it, quoted, into the
  // Source field and its value: after what the field holds now when append
  // is set, in its place otherwise; leaves every other field as it stands.
  void ApplySourceFolder(const std::string& path, bool append);
  // Writes the form values into the controls and hands the engine's share
  // of them over.
  void WriteFormValues();
  void ShowLogBoxMenu(const QPoint& position);
  // Shows the logon dialog for request beside the window, unless request is
  // settled already; refuses it at once when the run flag is clear.
  void OpenLogonDialog(const std::shared_ptr<CLogonRequest>& request);
  // Answers the request of dialog when it closes: its logon when accepted,
  // a refusal otherwise; then lets the dialog go.
  void OnLogonFinished(CLogonDlg* dialog, bool accepted);
  // Closes the logon dialog, refusing its request: any open one when which
  // is null, otherwise only the one that asks which.
  void CloseLogonDialog(const CLogonRequest* which = nullptr);

  CFormValues m_values;
  std::string m_lastSourceFolder;
  CDialogHooks m_hooks;
  CDirDialog m_destinationPicker;
  CDirDialog m_sourceDirPicker;

  // The logon question being asked and its dialog; window thread only.
  std::shared_ptr<CLogonRequest> m_logonRequest;
  QPointer<CLogonDlg> m_logonDialog;
  std::string m_lastLogonUser;  // offered when the engine names no user
  std::string m_lastLogonDomain;

  std::map<int, QWidget*> m_controls;
  QPlainTextEdit* m_logBox = nullptr;
  QPushButton* m_startButton = nullptr;
  QPushButton* m_pauseButton = nullptr;
  std::unique_ptr<CLogBoxView> m_logView;

  // Each control with its place at the template's size and its anchor.
  struct CAnchoredControl {
    QWidget* widget;
    CPixelRect place;
    CControlAnchor anchor;
  };
  std::vector<CAnchoredControl> m_anchored;
  QSize m_templateSize;

  std::atomic<bool> m_repaintRequested{false};
  QTimer m_repaintTimer;
  QTimer m_workerWatch;  // runs while a worker started here may run
  uint64_t m_shownLogRevision = ~uint64_t{0};
};
