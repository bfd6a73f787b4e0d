// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's construction, its dialog procedure and initialisation,
// and the pieces every dialog program carries: the About entry of the
// system menu, the icons and the minimised window's painting.
#include "win/MainDlg.h"

#include <commctrl.h>
#include <shellapi.h>

#include "engine/RunState.h"
#include "frontend/ControlIds.h"
#include "frontend/DialogTemplate.h"
#include "frontend/ProgressDisplay.h"
#include "frontend/WindowHelpText.h"
#include "platform/windows/WinPath.h"
#include "win/ResourceIds.h"
#include "win/TemplateFit.h"
#include "win/WindowMessages.h"
#include "win/WindowPlace.h"

namespace {

// Returns the program icon at the system's size for metric (SM_CXICON or
// SM_CXSMICON), or null.
HICON LoadProgramIcon(int metricX, int metricY) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIdProgramIcon),
                                       IMAGE_ICON, GetSystemMetrics(metricX), GetSystemMetrics(metricY),
                                       LR_DEFAULTCOLOR));
}

}  // namespace

CMainDlg::CMainDlg(std::string sourceText) {
  m_values.bufferSize = g_RunState.bufferSize;
  m_values.source = std::move(sourceText);
  m_log.SetText(WindowHelpText());
  m_icon = LoadProgramIcon(SM_CXICON, SM_CYICON);
  m_smallIcon = LoadProgramIcon(SM_CXSMICON, SM_CYSMICON);
  m_engineValues.Publish(m_values);
  g_RunState.mainForm = this;
  g_RunState.runFlag = false;
  g_RunState.pauseFlag = false;
}

CMainDlg::~CMainDlg() {
  CMainForm* self = this;
  g_RunState.mainForm.compare_exchange_strong(self, nullptr);
  if (m_icon) DestroyIcon(m_icon);
  if (m_smallIcon) DestroyIcon(m_smallIcon);
}

INT_PTR CMainDlg::DoModal() {
  m_windowThread = GetCurrentThreadId();
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIdMainDialog), nullptr,
                         &CMainDlg::DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CMainDlg::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<CMainDlg*>(lParam);
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    self->m_hwnd = dialog;
    return self->OnInitDialog();
  }
  auto* self = reinterpret_cast<CMainDlg*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (!self) return FALSE;
  if (message == WM_GETMINMAXINFO) {
    self->OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
    return TRUE;
  }
  const INT_PTR result = self->HandleMessage(message, wParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(dialog, DWLP_USER, 0);
    self->m_hwnd = nullptr;
  }
  return result;
}

INT_PTR CMainDlg::HandleMessage(UINT message, WPARAM wParam) {
  switch (message) {
    case WM_COMMAND:
      // Buttons, and Enter and Escape, which the dialog turns into IDOK
      // and IDCANCEL; the edit boxes' notifications are not commands.
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      return OnCommand(LOWORD(wParam));
    case WM_CLOSE:
      OnExit();
      return TRUE;
    case WM_SYSCOMMAND:
      return OnSysCommand(wParam);
    case WM_PAINT:
      return OnPaintMinimized();
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(m_icon);
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wParam));
      return TRUE;
    case WM_TIMER:
      if (wParam != kRepaintTimerId) return FALSE;
      OnRepaintTimer();
      return TRUE;
    case kMsgRepaint:
      m_wakePosted = false;
      StartRepaintTimer();
      return TRUE;
    case kMsgRunEnded:
      OnRunEnded(wParam);
      return TRUE;
    case WM_SIZE:
      OnSize();
      return FALSE;
    case WM_DESTROY:
      RemoveWindowSubclass(GetDlgItem(m_hwnd, kIdLog), &CMainDlg::LogBoxProc, 0);
      KillTimer(m_hwnd, kRepaintTimerId);
      m_timerRunning = false;
      DragAcceptFiles(m_hwnd, FALSE);
      return FALSE;
    default:
      return FALSE;
  }
}

BOOL CMainDlg::OnInitDialog() {
  // The progress labels are fitted to the widest text they show.
  for (int id : {kIdFileLabel, kIdTotalLabel})
    SetDlgItemTextW(m_hwnd, id, WideFromUtf8(kWidestProgressLabel).c_str());
  FitTemplateTexts(m_hwnd);
  SetDlgItemTextW(m_hwnd, kIdFileLabel, L"File :");
  SetDlgItemTextW(m_hwnd, kIdTotalLabel, L"Total :");
  RecordTemplatePlaces();
  CenterWindow(m_hwnd);
  m_logEdit.Attach(GetDlgItem(m_hwnd, kIdLog));
  SetWindowSubclass(GetDlgItem(m_hwnd, kIdLog), &CMainDlg::LogBoxProc, 0, reinterpret_cast<DWORD_PTR>(this));
  WriteFormValues();

  if (HMENU menu = GetSystemMenu(m_hwnd, FALSE)) {
    const wchar_t* text = nullptr;
    const int length =
        LoadStringW(GetModuleHandleW(nullptr), kIdAboutMenuString, reinterpret_cast<LPWSTR>(&text), 0);
    if (length > 0 && text) {
      const std::wstring entry(text, static_cast<size_t>(length));
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(menu, MF_STRING, kIdAboutCommand, entry.c_str());
    }
  }
  SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
  SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon));

  ParseSourceList();
  for (int id : {kIdFileBar, kIdTotalBar})
    SendDlgItemMessageW(m_hwnd, id, PBM_SETRANGE, 0, MAKELPARAM(0, kProgressBarRange));
  DragAcceptFiles(m_hwnd, TRUE);
  RefreshDisplay();
  return TRUE;
}

bool CMainDlg::OnCommand(int id) {
  switch (id) {
    case kIdStart:
      OnStartButton();
      return true;
    case kIdExit:
      // Escape was meant for the open browser, not for this window.
      if ((static_cast<unsigned short>(GetKeyState(VK_ESCAPE)) & 0x8000u) != 0 &&
          (m_destinationPicker.RaiseIfOpen() || m_sourceDirPicker.RaiseIfOpen()))
        return true;
      OnExit();
      return true;
    case kIdLogUpdate:
      RefreshDisplay();
      return true;
    case kIdPause:
      OnPause();
      return true;
    case kIdSkipFile:
      OnSkipFile();
      return true;
    case kIdScanFolders:
      OnScanFolders();
      return true;
    case kIdBrowseDestination:
      OnBrowseDestination();
      return true;
    case kIdSourceDir:
      OnSourceDir();
      return true;
    case kIdSourceFile:
      OnSourceFile();
      return true;
    case kIdCopyByParts:
      OnCopyByPartsClicked();
      return true;
    case kIdCheckAfterCopy:
      OnCheckAfterCopyClicked();
      return true;
    default:
      return false;
  }
}

bool CMainDlg::OnSysCommand(WPARAM command) {
  if ((command & 0xFFF0) != kIdAboutCommand) return false;
  ShowAbout();
  return true;
}

bool CMainDlg::OnPaintMinimized() {
  if (!IsIconic(m_hwnd)) return false;
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(m_hwnd, &paint);
  SendMessageW(m_hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client{};
  GetClientRect(m_hwnd, &client);
  const int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, m_icon);
  EndPaint(m_hwnd, &paint);
  return true;
}

void CMainDlg::RecordTemplatePlaces() {
  const auto controls = MainDialogTemplate();
  size_t index = 0;
  // The children in the order the template made them.
  for (HWND child = GetWindow(m_hwnd, GW_CHILD); child && index < controls.size();
       child = GetWindow(child, GW_HWNDNEXT), ++index) {
    RECT place{};
    GetWindowRect(child, &place);
    MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&place), 2);
    m_anchored.push_back(
        {child, CPixelRect{place.left, place.top, place.right - place.left, place.bottom - place.top},
         MainDialogAnchor(controls[index])});
  }
  RECT client{};
  GetClientRect(m_hwnd, &client);
  m_templateClient = SIZE{client.right, client.bottom};
  RECT frame{};
  GetWindowRect(m_hwnd, &frame);
  m_templateWindow = SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

void CMainDlg::OnSize() {
  if (m_anchored.empty() || IsIconic(m_hwnd)) return;
  RECT client{};
  GetClientRect(m_hwnd, &client);
  const int dx = client.right - m_templateClient.cx;
  const int dy = client.bottom - m_templateClient.cy;
  HDWP moves = BeginDeferWindowPos(static_cast<int>(m_anchored.size()));
  for (const CAnchoredControl& anchored : m_anchored) {
    const CPixelRect place = AnchoredPlace(anchored.place, anchored.anchor, dx, dy);
    if (moves)
      moves = DeferWindowPos(moves, anchored.control, nullptr, place.x, place.y, place.width, place.height,
                             SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (moves) EndDeferWindowPos(moves);
  InvalidateRect(m_hwnd, nullptr, TRUE);
}

void CMainDlg::OnGetMinMaxInfo(MINMAXINFO* limits) const {
  if (m_templateWindow.cx <= 0) return;
  limits->ptMinTrackSize.x = m_templateWindow.cx;
  limits->ptMinTrackSize.y = m_templateWindow.cy;
}

bool CMainDlg::OnWindowThread() const { return GetCurrentThreadId() == m_windowThread; }
