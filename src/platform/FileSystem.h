// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/KvTypes.h"

#include <string>

// The separator between a folder and a name in the paths this system gives and takes.
#ifdef _WIN32
inline constexpr char16_t PathSeparator = u'\\';
#else
inline constexpr char16_t PathSeparator = u'/';
#endif

enum class FileAccess { Normal, OwnerOnly };

// Replaces the file at path with bytes so that a crash or a failure never leaves it half-written:
// the bytes go to a temporary file in the same folder, which is flushed to disk and renamed over
// the target; then the folder is flushed. On POSIX a path that is a symbolic link (or a chain of
// them) is followed: the file it leads to is replaced that way in its own folder and the link
// stays; a link that leads nowhere gets its file created. The temporary file is named as this
// program's alone (RemoveStrayTemporaryFiles finds it). On failure the old file is left whole, no
// temporary file remains, and EKvError is raised: "Cannot create file \"<path>\". <the system's
// text>" when the file cannot be created or put in place, "Stream write error" (the system's text
// as its detail) when the bytes cannot be written. The file is readable by its owner alone,
// whatever the folder allows, as the user's sites, logins and settings must be; a Normal file gets
// what the user's umask allows (on Windows the per-user data folder's own access rules see to
// both). While the file is open nobody else may open it; a target that another program holds open
// for a moment (a virus scanner, an indexer) is waited for briefly.
void ReplaceFileAtomically(const std::u16string &path, const ByteArray &bytes,
                           FileAccess access = FileAccess::OwnerOnly);

// Deletes the temporary files that a write of ReplaceFileAtomically cut short (by a crash or a
// kill) left in folder, and nothing else: only regular files named as its temporaries are.
// Silent: a folder that cannot be read, or a file that stays, is left as it is.
void RemoveStrayTemporaryFiles(const std::u16string &folder);

// The whole content of the file at path. Raises EKvError "Cannot open file \"<path>\". <the
// system's text>" when it cannot be opened or is no regular file (a FIFO or a device of that name
// is refused at once, never waited on), "Stream read error" (the system's text as its detail) when
// it cannot be read to the end.
// Other programs may read the file meanwhile; on Windows a file that another program holds open
// without sharing it (a virus scanner, a backup tool) is waited for briefly, as a replacement does.
ByteArray ReadWholeFile(const std::u16string &path);

// Writes bytes to a new file at path, readable by its owner alone, and flushes it to the disk;
// false, with nothing changed, when something of that name exists already. A file is never
// replaced: this is how a copy of the user's data is kept aside. Raises "Cannot create file
// \"<path>\". <the system's text>" or "Stream write error" (the system's text as its detail); no
// file of that name is left then.
bool CreateNewFile(const std::u16string &path, const ByteArray &bytes);

// Whether path names an existing regular file (a folder is not one).
bool FileExists(const std::u16string &path);

// Whether the system says that nothing at all has that name (neither a file nor a folder, nor
// its folder). False when something is there, or when the system cannot tell (a folder that may
// not be searched): a reader must then try the file and report why it cannot be read.
bool NothingAt(const std::u16string &path);

// Deletes the file at path; false when there was none (a folder is none). A file that stays
// raises EKvError "Cannot delete file \"<path>\". <the system's text>".
bool RemoveFile(const std::u16string &path);

// Gives the file at from the name to, replacing a file of that name. On failure both stay as they
// were and EKvError says "Cannot create file \"<to>\". <the system's text>".
void RenameFile(const std::u16string &from, const std::u16string &to);

// The system's text for an error number (Windows: a last-error code; POSIX: an errno value), as
// the messages above show it: without trailing blanks, control characters and full stops.
std::u16string SystemErrorText(int error);
