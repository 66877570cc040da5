#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/log.h"
#include "platform/text.h"

// The Windows layer's file toolbox for a program that runs elevated: what it creates is kept
// out of a standard user's reach (protected DACLs, names nobody can guess, its own run folder),
// and what it finds is checked before it is trusted (owners, plain files, names removed as
// names); writing in full, deletion on close and the move by handle serve the files, the log,
// the transfer and the shell alike.

namespace vexa {

// Every file and folder it creates gets this DACL at creation: Administrators and SYSTEM full
// control, Users read and execute, nothing inherited ("P"). Without it, a file in C:\ would
// inherit "Authenticated Users: Modify" from the drive's root, and any user could write into
// the installer between its check and its start.
inline constexpr wchar_t kProtectedSddl[] = L"D:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;FRFX;;;BU)";

// A file that is still being written has only the administrators' part of it: until it has
// its final name no standard user can open it, and so none can hold it open to make its
// reopening or its move fail (GrantUsersRead gives them their part then).
inline constexpr wchar_t kPrivateSddl[] = L"D:P(A;;FA;;;BA)(A;;FA;;;SY)";

// The security attributes of kProtectedSddl and of kPrivateSddl, built on first use and kept
// for the run (no handle inherits). Throw PlatformError when the system can't build the
// descriptor.
SECURITY_ATTRIBUTES* ProtectedAttributes();
SECURITY_ATTRIBUTES* PrivateAttributes();

// Gives the open file (WRITE_DAC access) the DACL of kProtectedSddl; the system's error code,
// ERROR_SUCCESS when done.
DWORD GrantUsersRead(HANDLE file);

// 32 hexadecimal digits from the system's random number generator (RtlGenRandom, in
// advapi32, which the program loads anyway; CNG's bcrypt.dll would cost every start a library
// load for a name): a name nobody can guess and so plant in advance. Throws PlatformError.
std::wstring RandomName();

// The run's own working folder, "%SystemRoot%\Temp\vexa-<random>\" with a trailing separator:
// created with the protected DACL on first use (from any thread), a fresh name whenever one
// exists already. Standard users can create files in %SystemRoot%\Temp but not in it. Throws
// PlatformError when it can't be created.
std::wstring RunFolder();
// The installer's temporary folder (its TEMP and TMP), "<run folder>installer" without a
// trailing separator: created with the protected DACL on first use, so that nothing a standard
// user writes lies where the elevated installer unpacks and loads its files. Throws
// PlatformError when it can't be created.
std::wstring InstallerTemporaryFolder();
// Removes the run folder if one was created (its files are opened delete-on-close and go when
// they are closed); one that is not empty yet goes when Windows next starts. Once the
// installer's temporary folder was made, the run folder stays: the installer is not waited for
// and may still be using it (RemoveOldRunFolders takes it a day later). Called where the
// program ends.
void RemoveRunFolder() noexcept;
// Removes, with all they hold, the run folders of earlier runs ("vexa-" and 32 hexadecimal
// digits in %SystemRoot%\Temp) that nothing has changed for a day and that are the program's
// own (TrustedOwner), never this run's; what lies in them is deleted as names, no link
// followed. Each removal, or why one failed, goes to the log.
void RemoveOldRunFolders(Log& log) noexcept;

// Removes the name `path` itself, through a handle to it: a file, an empty folder, a link or
// junction (never what it points at), its read-only attribute cleared for it (another hard
// link of the file keeps it). With
// `foldersAndLinks`, a plain file is left as it is. ERROR_SUCCESS when it goes or nothing is
// there, else the system's error code (ERROR_DIR_NOT_EMPTY for a folder with content).
DWORD RemoveName(const std::wstring& path, bool foldersAndLinks = false);

// Whether the open file or folder (READ_CONTROL access) is the program's kind of own, its
// owner Administrators, SYSTEM, or whoever owns `folder`, the folder it lies in (who could
// replace anything in it anyway; under Wine, which gives every file the user's SID as its
// owner, that is the user). What a standard user makes in %SystemRoot%\Temp has that user as
// its owner. `owner` gets the owner's SID as text, for the log ("" when unknown).
bool TrustedOwner(HANDLE object, const std::wstring& folder, Text& owner);

// Whether the open file (FILE_READ_ATTRIBUTES access) is a plain file with one name: not a
// folder, not a reparse point (a link or junction opened with FILE_FLAG_OPEN_REPARSE_POINT),
// no second hard link through which a user could point at a file of their choice.
bool IsPlainFile(HANDLE file);

// Writes all `count` bytes to `file`: ERROR_SUCCESS, or the system's error code.
DWORD WriteFully(HANDLE file, const std::uint8_t* bytes, std::size_t count);

// Marks the open file (DELETE access) to be deleted when its last handle closes, or no longer;
// false when the system refuses.
bool SetDeleteOnClose(HANDLE file, bool deleteOnClose);

// Gives the open file (DELETE access) the new name `to` in the same volume, replacing a file
// of that name; the system's error code, ERROR_SUCCESS when done.
DWORD RenameByHandle(HANDLE file, const std::wstring& to);

}  // namespace vexa
