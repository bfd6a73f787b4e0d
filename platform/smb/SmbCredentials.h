// SPDX-License-Identifier: GPL-3.0-or-later
// The identity SMB connections present to servers.
//
// Until one is set, connections go as guest (or anonymously, where a server
// takes no guest), with whatever libsmbclient finds by itself: a Kerberos
// ticket in the user's credential cache, the settings of ~/.smb/smb.conf.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct CSmbCredentials {
  std::string user;      // empty: no user of our own, guest access
  std::string domain;    // workgroup or domain; empty: the configured one
  std::string password;  // held in this process's memory only
};

// Makes credentials the identity of every SMB connection made from now on.
// The password is kept only in memory (the copy it replaces is overwritten)
// and reaches nothing but libsmbclient, when a connection asks for it. While
// a user is set, a server that refuses it is not asked for anonymous access
// instead, so refused credentials show as such (errno EACCES from Open and
// FindFirst, see SmbFileSystem.h). An empty user returns to guest access.
// Connections that are open keep the identity they were made with; idle ones
// are dropped at the next SMB call, which then connects anew.
void SetSmbCredentials(const CSmbCredentials& credentials);

// Returns how many times the credentials have been set, so that a holder of
// connections can tell that they changed.
uint64_t SmbCredentialsGeneration();

// Returns true when credentials with a user are set.
bool SmbCredentialsHaveUser();

// Returns true when credentials with a password (not an empty one) are set.
bool SmbCredentialsHavePassword();

// Calls use with the credentials in force, while no other thread may set
// them, and returns what it returns (so that the password is handed on
// without a copy that outlives the call: the SMB helper processes receive
// it this way).
bool WithSmbCredentials(bool (*use)(const CSmbCredentials& credentials, void* context), void* context);

// Fills libsmbclient's buffers for a connection about to log on. On entry
// user holds the user the connection would go as: the one its URL names, or
// defaultUser when the URL names none. When credentials are set and user is
// defaultUser or the user of the credentials, the three buffers receive the
// credentials (the domain only when one is set); otherwise they are left as
// they are. Texts longer than a buffer are cut to fit, always terminated.
void FillSmbAuthData(std::string_view defaultUser, char* workgroup, int workgroupSize, char* user,
                     int userSize, char* password, int passwordSize);
