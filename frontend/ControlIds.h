// SPDX-License-Identifier: GPL-3.0-or-later
// The ids of the main window's controls and commands. Tests reach each
// control by its id; the window names each widget "ctl" followed by it.
#pragma once

inline constexpr int kIdStart = 1;  // the default button: Start/Abort
inline constexpr int kIdExit = 2;   // Exit, also Escape and the close box
inline constexpr int kIdSource = 1001;
inline constexpr int kIdDestination = 1002;
inline constexpr int kIdBufferSize = 1003;
inline constexpr int kIdReconnectLimit = 1004;
inline constexpr int kIdCheckAfterCopy = 1005;
inline constexpr int kIdLog = 1006;
inline constexpr int kIdLogUpdate = 1007;  // the hidden log update button
inline constexpr int kIdPause = 1008;
inline constexpr int kIdPassUnreadable = 1009;
inline constexpr int kIdScanFolders = 1010;
inline constexpr int kIdCheckCycles = 1011;
inline constexpr int kIdHeader = 1012;
inline constexpr int kIdPartNumber = 1013;
inline constexpr int kIdPartSize = 1014;
inline constexpr int kIdCopyByParts = 1017;
inline constexpr int kIdReGet = 1018;
inline constexpr int kIdSkipFile = 1019;
inline constexpr int kIdBrowseDestination = 1020;
inline constexpr int kIdSourceDir = 1021;
inline constexpr int kIdSourceFile = 1022;
inline constexpr int kIdTotalBar = 1023;
inline constexpr int kIdFileBar = 1024;
inline constexpr int kIdTotalLabel = 1025;
inline constexpr int kIdFileLabel = 1026;

// Static texts and group boxes have no id of their own.
inline constexpr int kIdNone = -1;
