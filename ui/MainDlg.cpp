// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MainDlg.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>

#include "engine/LogPrintf.h"
#include "engine/RunState.h"
#include "frontend/CommandLine.h"
#include "frontend/ControlIds.h"
#include "frontend/DialogTemplate.h"
#include "frontend/FormExchange.h"
#include "frontend/FormToggles.h"
#include "frontend/ProgressDisplay.h"
#include "frontend/WindowHelpText.h"
#include "ui/LogonDlg.h"
#include "ui/ProgramIcon.h"
#include "ui/TemplateWidgets.h"

namespace {

// How long a repaint waits so that the messages meanwhile are shown at once.
constexpr int kRepaintIntervalMs = 30;
// How often the window looks whether a worker has finished.
constexpr int kWorkerWatchMs = 100;

}  // namespace

CMainDlg::CMainDlg(const std::vector<std::string>& arguments, QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
  setWindowTitle(QString::fromUtf8(kMainDialogCaption));
  setAcceptDrops(true);
  CreateControls();
  ConnectCommands();

  m_values.bufferSize = g_RunState.bufferSize;
  const CCommandLineSources intake = TakeCommandLine(arguments);
  m_values.source = intake.sourceText;
  std::vector<std::string> leftOutLines;
  for (const CLeftOutArgument& left : intake.leftOut)
    leftOutLines.push_back("command-line argument left out of Source (" + left.reason +
                           "): " + left.argument);
  m_log.SetText(WindowHelpText());
  m_engineValues.Publish(m_values);
  g_RunState.mainForm = this;
  g_RunState.runFlag = false;
  g_RunState.pauseFlag = false;

  m_repaintTimer.setSingleShot(true);
  m_repaintTimer.setInterval(kRepaintIntervalMs);
  connect(&m_repaintTimer, &QTimer::timeout, this, &CMainDlg::RefreshDisplay);
  m_workerWatch.setInterval(kWorkerWatchMs);
  connect(&m_workerWatch, &QTimer::timeout, this, &CMainDlg::WatchWorker);
  InitDialog(leftOutLines);
}

CMainDlg::~CMainDlg() {
  if (m_logonDialog) {
    m_logonDialog->disconnect(this);
    delete m_logonDialog;
  }
  if (m_logonRequest) m_logonRequest->Refuse();
  CMainForm* self = this;
  g_RunState.mainForm.compare_exchange_strong(self, nullptr);
}

void CMainDlg::CreateControls() {
  const auto controls = MainDialogTemplate();
  const std::vector<QWidget*> widgets = CreateTemplateControls(this, controls);
  PlaceTemplateControls(this, controls, widgets, kMainDialogWidth, kMainDialogHeight, ProgramIcon());
  // The template's size is the smallest; the window grows from there.
  m_templateSize = size();
  setMinimumSize(m_templateSize);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  for (size_t index = 0; index < controls.size() && index < widgets.size(); ++index) {
    const QRect place = widgets[index]->geometry();
    m_anchored.push_back({widgets[index], CPixelRect{place.x(), place.y(), place.width(), place.height()},
                          MainDialogAnchor(controls[index])});
  }
  m_controls = ControlsById(controls, widgets);
  m_logBox = static_cast<QPlainTextEdit*>(m_controls.at(kIdLog));
  m_startButton = static_cast<QPushButton*>(m_controls.at(kIdStart));
  m_pauseButton = static_cast<QPushButton*>(m_controls.at(kIdPause));
  m_logView = std::make_unique<CLogBoxView>(m_logBox);
  for (QWidget* widget : widgets) widget->installEventFilter(this);
  m_logBox->viewport()->installEventFilter(this);
  m_logBox->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(m_logBox, &QWidget::customContextMenuRequested, this, &CMainDlg::ShowLogBoxMenu);
}

void CMainDlg::ConnectCommands() {
  auto onClick = [this](int id, void (CMainDlg::*command)()) {
    connect(static_cast<QAbstractButton*>(m_controls.at(id)), &QAbstractButton::clicked, this, command);
  };
  onClick(kIdStart, &CMainDlg::OnStartButton);
  onClick(kIdExit, &CMainDlg::OnExit);
  onClick(kIdPause, &CMainDlg::OnPause);
  onClick(kIdSkipFile, &CMainDlg::OnSkipFile);
  onClick(kIdScanFolders, &CMainDlg::OnScanFolders);
  onClick(kIdBrowseDestination, &CMainDlg::OnBrowseDestination);
  onClick(kIdSourceDir, &CMainDlg::OnSourceDir);
  onClick(kIdSourceFile, &CMainDlg::OnSourceFile);
  onClick(kIdLogUpdate, &CMainDlg::RefreshDisplay);
  connect(static_cast<QAbstractButton*>(m_controls.at(kIdCopyByParts)), &QAbstractButton::clicked, this,
          [this] {
            OnCopyByPartsToggle(*this, m_values);
            m_engineValues.Publish(m_values);
          });
  connect(static_cast<QAbstractButton*>(m_controls.at(kIdCheckAfterCopy)), &QAbstractButton::clicked, this,
          [this] { OnCheckAfterCopyToggle(*this, m_values); });
  auto* help = new QShortcut(QKeySequence::HelpContents, this);
  connect(help, &QShortcut::activated, this, &CMainDlg::ShowAbout);
}

void CMainDlg::InitDialog(const std::vector<std::string>& leftOutLines) {
  WriteFormValues();
  setWindowIcon(ProgramIcon());
  ParseSourceList();
  for (const std::string& line : leftOutLines) LogPrintf("%s\r\n", line.c_str());
  for (int id : {kIdFileBar, kIdTotalBar})
    static_cast<QProgressBar*>(m_controls.at(id))->setRange(0, kProgressBarRange);
  RefreshDisplay();
  m_controls.at(kIdSource)->setFocus(Qt::OtherFocusReason);
}

QWidget* CMainDlg::Control(int id) const {
  const auto found = m_controls.find(id);
  return found == m_controls.end() ? nullptr : found->second;
}

void CMainDlg::reject() { OnExit(); }

void CMainDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier &&
      (m_destinationPicker.RaiseIfOpen() || m_sourceDirPicker.RaiseIfOpen())) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void CMainDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  const int dx = width() - m_templateSize.width();
  const int dy = height() - m_templateSize.height();
  for (const CAnchoredControl& control : m_anchored) {
    const CPixelRect place = AnchoredPlace(control.place, control.anchor, dx, dy);
    control.widget->setGeometry(place.x, place.y, place.width, place.height);
  }
}
