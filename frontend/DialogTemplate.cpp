// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/DialogTemplate.h"

#include "frontend/AboutText.h"
#include "frontend/ControlIds.h"

namespace {

using enum ControlKind;

constexpr CControlTemplate kMainControls[] = {
    {kIdNone, kStatic, "Source file/directory :", 5, 5, 68, 8},
    {kIdSource, kEdit, "", 5, 15, 120, 14},
    {kIdNone, kStatic, "Destination directory :", 5, 30, 69, 8},
    {kIdDestination, kEdit, "", 5, 40, 120, 14},
    {kIdSourceDir, kButton, "Source Dir", 5, 60, 40, 15},
    {kIdSourceFile, kButton, "Source File", 45, 60, 40, 15},
    {kIdBrowseDestination, kButton, "&Destination", 85, 60, 40, 15},
    {kIdLog, kLog, "", 5, 80, 320, 120},
    {kIdStart, kDefaultButton, "&Start", 5, 230, 50, 14},
    // Pause and Skip File start disabled: the window enables them while a
    // copy can use them (see RunButtons.h).
    {kIdPause, kButton, "&Pause", 60, 230, 50, 14, true},
    {kIdSkipFile, kButton, "S&kip File", 115, 230, 50, 14, true},
    {kIdScanFolders, kButton, "Scan &Folders", 220, 230, 50, 14},
    {kIdExit, kButton, "&Exit", 275, 230, 50, 14},
    {kIdNone, kGroupBox, "Copy part", 5, 250, 325, 25},
    {kIdCopyByParts, kCheckBox, "Copy by parts", 10, 260, 59, 10},
    {kIdReGet, kCheckBox, "ReGet", 75, 260, 37, 10, true},
    {kIdNone, kStatic, "Header :", 115, 260, 28, 8},
    {kIdHeader, kEdit, "", 150, 260, 40, 12, true},
    {kIdNone, kStatic, "Part N :", 195, 260, 25, 8},
    {kIdPartNumber, kEdit, "", 225, 260, 20, 12, true},
    {kIdNone, kStatic, "Part size :", 250, 260, 32, 8},
    {kIdPartSize, kEdit, "", 285, 260, 40, 12, true},
    {kIdNone, kGroupBox, "Options", 130, 10, 195, 60},
    {kIdNone, kStatic, "Buffer size, bytes :", 135, 20, 58, 8},
    {kIdBufferSize, kEdit, "", 205, 20, 35, 14},
    {kIdNone, kStatic, "Reconnect limit, sec :", 135, 35, 69, 8},
    {kIdReconnectLimit, kEdit, "", 205, 35, 35, 14},
    {kIdNone, kStatic, "Check cycles :", 135, 50, 48, 8},
    {kIdCheckCycles, kEdit, "", 205, 50, 35, 14},
    {kIdCheckAfterCopy, kCheckBox, "Check after copy", 250, 20, 70, 10},
    {kIdPassUnreadable, kCheckBox, "Pass unreadable", 250, 35, 69, 10},
    {kIdFileLabel, kStatic, "File :", 5, 205, 100, 8},
    {kIdFileBar, kProgressBar, "", 105, 205, 220, 10},
    {kIdTotalLabel, kStatic, "Total :", 5, 215, 100, 8},
    {kIdTotalBar, kProgressBar, "", 105, 215, 220, 10},
    {kIdLogUpdate, kHiddenButton, "u", 325, 240, 6, 6},
};

constexpr CControlTemplate kAboutControls[] = {
    {kIdNone, kIcon, "", 11, 17, 20, 20},
    {kIdNone, kStatic, kAboutVersionLine, 40, 10, 119, 8},
    {kIdNone, kStatic, kAboutSecondLine, 40, 25, 119, 8},
    {kIdNone, kStatic, kAboutLicenceLine, 40, 40, 170, 8},
    {kIdStart, kDefaultButton, "OK", 178, 7, 32, 14},
};

}  // namespace

std::span<const CControlTemplate> MainDialogTemplate() { return kMainControls; }

std::span<const CControlTemplate> AboutDialogTemplate() { return kAboutControls; }
