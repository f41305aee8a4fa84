// A file's bytes read whole and compared, and what tells one state of a file from another: the
// reading half of a save, and of the load and the watch.
#pragma once

#include <windows.h>

// Units, terminator included, of a path in the extended-length form ("\\?\") the file functions
// take for folders of any depth.
constexpr int LONG_PATH_CAPACITY = 32768;
constexpr wchar_t EXTENDED_PREFIX[] = L"\\\\?\\";

// What tells one state of a file from another; an absent file is all zero.
struct FileStamp {
    bool exists;
    ULONGLONG size;
    FILETIME written;
};
inline bool SameStamp(const FileStamp& left, const FileStamp& right)
{
    return left.exists == right.exists && left.size == right.size && CompareFileTime(&left.written, &right.written) == 0;
}

inline FileStamp StampOf(const BY_HANDLE_FILE_INFORMATION& information)
{
    return {true, (static_cast<ULONGLONG>(information.nFileSizeHigh) << 32) | information.nFileSizeLow,
            information.ftLastWriteTime};
}

// The file's bytes followed by two zero bytes, in a block of the process heap, and its stamp when
// asked. Another program holding the file is waited for, about a second in all. Null when there is
// no such file or it cannot be read, GetLastError telling which: ERROR_FILE_TOO_LARGE for more
// than MAX_SETTINGS_BYTES (settings.h), ERROR_HANDLE_EOF for a file cut short while it was read.
BYTE* ReadWholeFile(const wchar_t* path, DWORD* size, FileStamp* stamp = nullptr);

// A file as one reading found it.
struct FoundFile {
    BYTE* bytes;  // ReadWholeFile's block; null when there is no file or it could not be read
    DWORD size;
    FileStamp stamp;
    DWORD error;  // why bytes is null
};
// The file at path read whole; the caller releases found.bytes.
inline FoundFile ReadFoundFile(const wchar_t* path)
{
    FoundFile found = {};
    found.bytes = ReadWholeFile(path, &found.size, &found.stamp);
    found.error = found.bytes == nullptr ? GetLastError() : ERROR_SUCCESS;
    return found;
}

// The file opened for reading as any other program may still write or delete it; an invalid
// handle, with the reason in GetLastError, when it cannot be opened now.
HANDLE OpenSharedForReading(const wchar_t* path);
// Whether the file, read from its position on, holds exactly these bytes: one byte more than them
// is asked for, so a longer file differs. Unreadable, with the reason in error, when memory ran
// short or the read failed.
enum class HeldBytes { Same, Different, Unreadable };
HeldBytes CompareFileBytes(HANDLE file, const BYTE* bytes, DWORD size, DWORD* error);
// A file the user marked read-only is not to be replaced: the rename would go over it and drop
// the mark.
bool IsMarkedReadOnly(const wchar_t* path);

// The errors of a file that another program holds, or that is being deleted; anything else is
// not waited for.
inline bool IsPassing(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

// A program that holds the file for a moment (a backup or sync tool, an editor, a virus scanner)
// is waited for this often, this far apart.
constexpr int PASSING_ATTEMPTS = 10;
constexpr DWORD PASSING_RETRY_MS = 100;
