// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: dialog template 102 with its form values, the front end
// the engine reports to, and the host of the run commands.
//
// Hand-overs from the worker: LogMessage applies a message to the log
// channel at once on the calling thread and UpdateProgress computes the
// progress display under a short lock on the calling thread; neither sends
// anything to the window. While a worker runs, a window timer copies that
// state into the controls about 33 times a second; the timer starts with
// the worker and stops once the worker has finished and everything it
// wrote is shown. The worker's closing Start command is the one message it
// posts. The window thread never waits for the worker.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/ControlIds.h"
#include "frontend/DialogAnchors.h"
#include "frontend/FormValues.h"
#include "frontend/FormView.h"
#include "frontend/ProgressDisplay.h"
#include "frontend/RunHost.h"
#include "frontend/WindowFrontEnd.h"
#include "platform/windows/WindowsApi.h"
#include "win/DirDialog.h"
#include "win/LogEdit.h"

#include <shellapi.h>

class CMainDlg : public CWindowFrontEnd, private CFormView, private CRunHost {
public:
  // Sets the defaults of the form, takes sourceText (what followed the
  // program's path on the command line, UTF-8) into Source, puts the help
  // text into the log, loads the program icon, becomes the run state's main
  // form and clears the run and pause flags.
  explicit CMainDlg(std::string sourceText);
  // Stops being the run state's main form; releases the icons.
  ~CMainDlg() override;
  CMainDlg(const CMainDlg&) = delete;
  CMainDlg& operator=(const CMainDlg&) = delete;

  // Runs the dialog modally and returns its result once it has closed
  // (IDCANCEL from Exit; -1 when the template could not be loaded).
  INT_PTR DoModal();

  // On the window thread: runs Start/Abort. From the worker: posts the
  // command for this run and returns at once; the window runs Start/Abort
  // when it takes the message, unless the run it belongs to is over.
  void SendStartCommand() override;

private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  // Returns the dialog procedure's result for message (none of the
  // messages handled here needs its lParam).
  INT_PTR HandleMessage(UINT message, WPARAM wParam);

  // Dialog initialisation: writes the form, adds the About entry to the
  // system menu, sets the icons, lists the command-line sources under the
  // help text, sets both bars to 0..1000, takes dropped files and shows the
  // log. Returns TRUE, so the focus goes to the first tab stop.
  BOOL OnInitDialog();
  // Routes the click of button id (also Enter and Escape for IDOK and
  // IDCANCEL). Returns whether id is a command of the window. Escape
  // while a folder browser is open brings the browser to the front.
  bool OnCommand(int id);
  // Records each control's place and anchor and the window's size at the
  // template's size, the smallest the window takes.
  void RecordTemplatePlaces();
  // Places the controls for the client area's new size by their anchors.
  void OnSize();
  // Keeps the window at least as large as the template.
  void OnGetMinMaxInfo(MINMAXINFO* limits) const;
  // Shows the About box for system command 16 to 31 and returns true;
  // returns false for any other.
  bool OnSysCommand(WPARAM command);
  // Draws the icon centred in the client area while the window is
  // minimised and returns true; returns false otherwise.
  bool OnPaintMinimized();

  // The commands of the buttons; each runs on the window thread.
  void OnStartAbort();
  // The Start button and Enter: a second one within half a second of the
  // one that started a run is ignored.
  void OnStartButton();
  void OnExit();
  void OnPause();
  // Skip File: ends the copy of the file being copied (see RunButtons.h).
  void OnSkipFile();
  void OnScanFolders();
  void OnBrowseDestination();
  void OnSourceDir();
  void OnSourceFile();
  // The two check boxes, after they have toggled themselves: Copy by parts
  // enables the part controls, Check after copy disables and sets the
  // buffer size.
  void OnCopyByPartsClicked();
  void OnCheckAfterCopyClicked();
  // Fills Source from the files of a drop as Source File does; Shift held
  // at the drop appends. Releases drop.
  void OnDropFiles(HDROP drop);
  // Fills Source from paths; append adds them to what it holds.
  void OnDropPaths(const std::vector<std::string>& paths, bool append);
  void ShowAbout();
  // Opens the folder of the run logs in the shell, making it first when it
  // does not exist yet.
  void OpenLogFolder();
  // The log box's context menu at screen point at (-1, -1 from the
  // keyboard: beside the box): Copy, Select All, Open Log Folder, About.
  void ShowLogMenu(POINT at);
  static LRESULT CALLBACK LogBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR self);
  // The worker's closing Start command for run generation.
  void OnRunEnded(WPARAM generation);

  // CFormView over the controls.
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
  // Enables or disables Pause and Skip File; a button that loses its
  // enabling while it has the focus hands the focus to the next control.
  void SetRunButtons(bool pauseEnabled, bool skipFileEnabled) override;
  void BringToFront() override;
  void CloseWindow() override;
  bool StartWorker(std::function<void()> work, std::string& error) override;
  void ResetProgress() override { ResetDisplayedProgress(); }
  bool OpenRunLog(std::string& error) override { return OpenLogFile(error); }
  void CloseRunLog() override { CloseLogFile(); }
  void SetScanFoldersEnabled(bool enabled) override { SetEnabled(kIdScanFolders, enabled); }

  // Writes the form values into the controls and hands the engine's share
  // of them over.
  void WriteFormValues();
  // Puts path into the Destination field and its value.
  void ApplyDestinationFolder(const std::string& path);
  // Remembers path as the last source folder and puts it, quoted, into the
  // Source field and its value: after what the field holds when append is
  // set, in its place otherwise.
  void ApplySourceFolder(const std::string& path, bool append);
  // Returns whether Shift is held at this moment.
  static bool ShiftHeld();
  // Returns whether the caller runs on the window thread.
  bool OnWindowThread() const;

  // Makes sure the display is brought up to date soon: on the window thread
  // by starting the repaint timer; from another thread nothing while the
  // timer runs, otherwise one posted wake-up while none is pending.
  void RequestRepaint() override;
  void StartRepaintTimer();
  // One tick: shows the state; stops the timer once the worker has finished
  // and nothing is left to show.
  void OnRepaintTimer();
  // Copies the log text, the progress labels and bars and the caption into
  // the controls.
  void RefreshDisplay();
  // Returns whether the log or the progress changed since they were shown.
  bool DisplayOutOfDate();

  std::atomic<HWND> m_hwnd{nullptr};  // the worker posts to it
  DWORD m_windowThread = 0;
  HICON m_icon = nullptr;       // 32 by 32 (the system's large icon size)
  HICON m_smallIcon = nullptr;  // 16 by 16 (the small icon size)

  CFormValues m_values;
  CLogEdit m_logEdit;
  std::string m_lastSourceFolder;
  CDirDialog m_destinationPicker;
  CDirDialog m_sourceDirPicker;

  // Each control with its place at the template's size and its anchor.
  struct CAnchoredControl {
    HWND control;
    CPixelRect place;
    CControlAnchor anchor;
  };
  std::vector<CAnchoredControl> m_anchored;
  SIZE m_templateClient{};  // the client area at the template's size
  SIZE m_templateWindow{};  // the window at the template's size

  CProgressDisplay m_shownProgress;
  uint64_t m_shownLogRevision = ~uint64_t{0};

  std::atomic<bool> m_timerRunning{false};
  std::atomic<bool> m_wakePosted{false};
  std::atomic<WPARAM> m_runGeneration{0};  // counts the workers started
};
