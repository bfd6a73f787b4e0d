// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as the form view of the exchange and as the host of the
// run commands.
#include <utility>

#include "engine/RunState.h"
#include "frontend/ControlIds.h"
#include "frontend/DetachedThread.h"
#include "frontend/DialogTemplate.h"
#include "frontend/FormExchange.h"
#include "frontend/FormToggles.h"
#include "frontend/LogBoxText.h"
#include "frontend/SourceList.h"
#include "platform/windows/WinPath.h"
#include "win/EditText.h"
#include "win/MainDlg.h"

namespace {

// Returns the whole window text of window, UTF-8.
std::string WindowTextOf(HWND window) {
  if (!window) return std::string();
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return std::string();
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return Utf8FromWide(text);
}

}  // namespace

std::string CMainDlg::FieldText(int id) const {
  if (id == kIdLog) return LogBoxText(m_log.Text());
  return WindowTextOf(GetDlgItem(m_hwnd, id));
}

void CMainDlg::SetFieldText(int id, std::string_view text) {
  SetDlgItemTextW(m_hwnd, id, WideFromUtf8(text).c_str());
}

bool CMainDlg::IsChecked(int id) const { return IsDlgButtonChecked(m_hwnd, id) == BST_CHECKED; }

void CMainDlg::SetChecked(int id, bool checked) {
  CheckDlgButton(m_hwnd, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void CMainDlg::SetEnabled(int id, bool enabled) {
  if (HWND control = GetDlgItem(m_hwnd, id)) EnableWindow(control, enabled ? TRUE : FALSE);
}

bool CMainDlg::IsEnabled(int id) const {
  // The control's own state, whatever the window's (a message box disables
  // the window, not its controls).
  const HWND control = GetDlgItem(m_hwnd, id);
  return control && (GetWindowLongPtrW(control, GWL_STYLE) & WS_DISABLED) == 0;
}

void CMainDlg::RefuseField(int id, const std::string& message) {
  MessageBoxW(m_hwnd, WideFromUtf8(message).c_str(), WideFromUtf8(kMainDialogCaption).c_str(),
              MB_OK | MB_ICONEXCLAMATION);
  const HWND control = GetDlgItem(m_hwnd, id);
  if (!control) return;
  // The dialog's own way to move the focus, which also keeps the default
  // button right; then the whole text is selected.
  SendMessageW(m_hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
  SendMessageW(control, EM_SETSEL, 0, -1);
}

void CMainDlg::OnCopyByPartsClicked() {
  OnCopyByPartsToggle(*this, m_values);
  m_engineValues.Publish(m_values);
}

void CMainDlg::OnCheckAfterCopyClicked() { OnCheckAfterCopyToggle(*this, m_values); }

bool CMainDlg::ReadFormValues() {
  const bool passed = ReadForm(*this, m_values);
  m_engineValues.Publish(m_values);
  return passed;
}

void CMainDlg::WriteFormValues() {
  WriteForm(*this, m_values);
  SendDlgItemMessageW(m_hwnd, kIdLog, EM_LIMITTEXT, kLogBoxCharLimit, 0);
  m_engineValues.Publish(m_values);
}

void CMainDlg::EmptyLogAndWriteForm() {
  m_log.SetText(std::string());
  WriteFormValues();
  RequestRepaint();
}

void CMainDlg::ParseSourceList() { ::ParseSourceList(m_log.Text(), m_values.source, g_RunState.sources); }

void CMainDlg::SetStartText(const char* text) {
  SetDlgItemTextW(m_hwnd, kIdStart, WideFromUtf8(text).c_str());
}

void CMainDlg::SetPauseText(const char* text) {
  SetDlgItemTextW(m_hwnd, kIdPause, WideFromUtf8(text).c_str());
}

void CMainDlg::SetRunButtons(bool pauseEnabled, bool skipFileEnabled) {
  if (!m_hwnd) return;
  for (const auto& [id, enabled] :
       {std::pair{kIdPause, pauseEnabled}, std::pair{kIdSkipFile, skipFileEnabled}}) {
    HWND button = GetDlgItem(m_hwnd, id);
    if (!button || (IsWindowEnabled(button) != FALSE) == enabled) continue;
    // A disabled control cannot keep the focus: the keyboard would reach
    // nothing.
    if (!enabled && GetFocus() == button) SendMessageW(m_hwnd, WM_NEXTDLGCTL, 0, FALSE);
    EnableWindow(button, enabled ? TRUE : FALSE);
  }
}

void CMainDlg::BringToFront() {
  SetForegroundWindow(m_hwnd);
  ShowWindow(m_hwnd, SW_SHOWNORMAL);
}

void CMainDlg::CloseWindow() {
  // The folder browsers have no owner to close with.
  m_destinationPicker.Close();
  m_sourceDirPicker.Close();
  EndDialog(m_hwnd, IDCANCEL);
}

bool CMainDlg::StartWorker(std::function<void()> work, std::string& error) {
  ++m_runGeneration;
  StartRepaintTimer();
  return StartDetachedThread(std::move(work), error);
}
