// SPDX-License-Identifier: GPL-3.0-or-later
// libsmbclient's thread setup: contexts used on several threads at once
// need it, made before the library's first use.
#pragma once

// Hands libsmbclient's support library its thread functions over POSIX
// threads, once per process; later calls return the first outcome. Returns
// true when the library took them. Debian's libsmbclient does not export its
// own setup (smbc_thread_posix), so the functions are found at run time in
// the support library it loads; where they are missing, false: libsmbclient
// is then to be used by one thread at a time.
bool SetUpSmbThreads();
