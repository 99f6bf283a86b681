// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The per-user settings store, with the call shape of the Windows registry.
// Everything lives under HKEY_CURRENT_USER and is kept in one file in .reg
// syntax (regformat.h): $XDG_CONFIG_HOME/Tonvero/registry.reg. When that is
// a symbolic link, the file it names is read and replaced; the link stays.
//
// Changes made while handles are open are applied in memory at once and
// written to the file when the last handle is closed (or by RegFlushKey), as
// one atomic replacement of the file (atomicfile.h). Before writing, the file
// is read again under a lock and the changes are replayed on top of it, so two
// instances lose nothing of each other but the keys both of them rewrote (the
// later writer wins).
//
// A file that cannot be read as .reg text is renamed with a ".bad" suffix and
// the user is told once. If this process had read or written the file before,
// what it last knew of it is written back in its place, so a file damaged
// while the program runs costs no settings; otherwise the store starts empty.

#include "platform/registry/regformat.h"
#include "platform/registry/regmodel.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace platform {

using LONG = long;
using REGSAM = DWORD;

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;

inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u));

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_WRITE_FAULT = 29;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_KEY_DELETED = 1018;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_OPTION_VOLATILE = 1; // not supported: every key persists

constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Subkey paths are relative to hKey, components separated by '\'; names
// compare without regard to case. An empty subKey opens hKey again.
LONG RegOpenKeyEx(HKEY hKey, const QString& subKey, DWORD options, REGSAM samDesired, PHKEY result);

// Creates the key and any missing parents; *disposition (optional) tells
// REG_CREATED_NEW_KEY from REG_OPENED_EXISTING_KEY. Only non-volatile keys.
LONG RegCreateKeyEx(HKEY hKey, const QString& subKey, DWORD reserved, const char* keyClass,
                    DWORD options, REGSAM samDesired, const void* security, PHKEY result,
                    DWORD* disposition);

// As RegCreateKeyEx, but a key that has to be made is made in memory only: it
// reaches the file with the first change this process writes after it, and
// until then only this process sees it. Start-up makes the keys a first start
// lacks this way, so that a start with nothing to store writes nothing. If
// another writer changes the file first, the keys made so are dropped and the
// file's own count, as for a process started afresh.
LONG RegCreateKeyDeferred(HKEY hKey, const QString& subKey, REGSAM samDesired, PHKEY result, DWORD* disposition);

// With data null, *cbData receives the size. With a buffer smaller than the
// value, *cbData receives the size and the result is ERROR_MORE_DATA.
// type, data and cbData may each be null (data needs cbData).
LONG RegQueryValueEx(HKEY hKey, const QString& valueName, DWORD* reserved, DWORD* type, BYTE* data,
                     DWORD* cbData);

// Stores cbData bytes as given: a REG_DWORD is 4 bytes in little-endian
// order, a REG_SZ is UTF-8 with its terminating zero.
LONG RegSetValueEx(HKEY hKey, const QString& valueName, DWORD reserved, DWORD type, const BYTE* data,
                   DWORD cbData);

LONG RegDeleteValue(HKEY hKey, const QString& valueName);

// Deletes the subkey with all its values and subkeys. Handles still open on
// any of them fail from then on with ERROR_KEY_DELETED.
LONG RegDeleteKey(HKEY hKey, const QString& subKey);

// Writes pending changes now rather than at the last close.
LONG RegFlushKey(HKEY hKey);

// Closing the last open handle writes pending changes; a failed write is
// reported here.
LONG RegCloseKey(HKEY hKey);

// Where the store lives: $XDG_CONFIG_HOME (or ~/.config)/Tonvero/registry.reg.
QString registryFilePath();

// Receives the one-time notice given when a damaged store file was moved
// aside. Notices raised before a handler is set are kept and handed to it
// when it is set. The handler runs on the thread of the registry call.
void setNoticeHandler(std::function<void(QString)> handler);

// Receives the one notice per settings file that changes cannot be saved,
// with the reason (read-only folder, a folder in the file's place, a write
// that failed). Without this handler it goes to the notice handler above.
// Runs on the thread of the registry call that tried to save.
void setSaveNoticeHandler(std::function<void(QString)> handler);

} // namespace platform
