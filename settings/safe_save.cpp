#include "settings/safe_save.h"

#include <cstring>

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "settings/kept_copies.h"
#include "settings/private_copy.h"
#include "settings/settings.h"
#include "settings/work_files.h"

namespace {

constexpr wchar_t BACKUP_SUFFIX[] = L".bak";

// The suffix of a file beside path, or "" for one elsewhere.
const wchar_t* SuffixBeside(const wchar_t* path, const wchar_t* file)
{
    const int length = TextLength(path);
    return std::wcsncmp(file, path, static_cast<size_t>(length)) == 0 ? file + length : L"";
}

// The file's content replaced through the handle by the bytes, flushed to the disk and read back:
// a disk that fills up cuts a file short without every platform saying so.
bool WriteFlushedAndRead(HANDLE file, const BYTE* bytes, DWORD size)
{
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER || !WriteAllBytes(file, bytes, size) ||
        SetEndOfFile(file) == FALSE || FlushFileBuffers(file) == FALSE ||
        SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
        return false;
    }
    DWORD error = ERROR_SUCCESS;
    if (CompareFileBytes(file, bytes, size, &error) == HeldBytes::Different) {
        error = ERROR_WRITE_FAULT;
    }
    SetLastError(error);
    return error == ERROR_SUCCESS;
}

void CloseHeld(SafeSave* save)
{
    ReleaseWorkCopy(save);
    if (save->swapHeld != INVALID_HANDLE_VALUE) {
        CloseHandle(save->swapHeld);
        save->swapHeld = INVALID_HANDLE_VALUE;
    }
}

enum class FileState { AsFound, Changed, Unreadable };

// Whether the file is still what the save found: the same bytes, or still none. A file that went
// away is no change: the save writes it again. Unreadable, with the reason in error, while it
// cannot be looked at (another program holding it, or a failing disk): that is no change either.
FileState StateOfFile(const SafeSave& save, DWORD* error)
{
    const HANDLE file = OpenSharedForReading(save.path);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return *error == ERROR_FILE_NOT_FOUND || *error == ERROR_PATH_NOT_FOUND ? FileState::AsFound
                                                                                 : FileState::Unreadable;
    }
    if (save.before == nullptr) {
        CloseHandle(file);
        return FileState::Changed;  // a file where the save found none
    }
    FileState state = FileState::Changed;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(file, &information) == FALSE) {
        *error = GetLastError();
        state = FileState::Unreadable;
    } else if (StampOf(information).size == save.beforeSize) {
        const HeldBytes held = CompareFileBytes(file, save.before, save.beforeSize, error);
        state = held == HeldBytes::Same ? FileState::AsFound
                : held == HeldBytes::Unreadable ? FileState::Unreadable
                                                : FileState::Changed;
    }
    CloseHandle(file);
    return state;
}

// The old content becomes the backup only once the new file is in place, through a file of its
// own, written and flushed, renamed over the old backup: a full disk, or a folder or a reader in
// the backup's place, leaves the old backup as it was and the save done, and a crash never leaves
// a backup of the new name without its bytes. A second name for the old file would spare the
// write, but a reader of the old file then keeps that name from being renamed or deleted.
void ReplaceBackup(const SafeSave& save)
{
    auto* names = static_cast<wchar_t*>(AllocateBlock(static_cast<SIZE_T>(2) * LONG_PATH_CAPACITY * sizeof(wchar_t)));
    if (names == nullptr) {
        return;
    }
    wchar_t* work = names;
    wchar_t* backup = names + LONG_PATH_CAPACITY;
    FormatText(backup, LONG_PATH_CAPACITY, L"%ls%ls", save.path, BACKUP_SUFFIX);
    HANDLE written = INVALID_HANDLE_VALUE;
    if (WriteNewWorkFile(save.path, save.before, save.beforeSize, work, LONG_PATH_CAPACITY, nullptr, &written)) {
        const bool flushed = FlushFileBuffers(written) != FALSE;
        CloseHandle(written);
        if (!flushed || MoveFileExW(work, backup, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == FALSE) {
            DeleteFileW(work);
        }
    }
    ReleaseBlock(names);
}

// Puts the swap file in the file's place, provided the file is still what the save started from.
SwapResult RenameOverFile(SafeSave* save, bool keepReplaced)
{
    // The swap file's stamp is what the rename puts in place, whatever comes after it.
    WIN32_FILE_ATTRIBUTE_DATA swapData = {};
    const bool stamped = !save->unchanged && GetFileAttributesExW(save->swapFile, GetFileExInfoStandard, &swapData) != FALSE;
    const DWORD replacing = save->before != nullptr ? MOVEFILE_REPLACE_EXISTING : 0;
    // A save that writes nothing leaves the file, and the edit in it, where it is.
    bool kept = !keepReplaced || save->before == nullptr || save->unchanged;
    for (int attempt = 1;; ++attempt) {
        DWORD error = ERROR_SUCCESS;
        const FileState state = StateOfFile(*save, &error);
        if (state == FileState::Changed) {
            return SwapResult::ChangedOutside;
        }
        if (state == FileState::AsFound) {
            if (!kept && !KeepSettingsCopy(save->path, save->before, save->beforeSize, save->outcome->keptCopy)) {
                FailSave(save->outcome, GetLastError(), save->outcome->keptCopy);
                return SwapResult::Failed;
            }
            kept = true;
            if (save->unchanged) {
                save->savedStamp = save->beforeStamp;
                return SwapResult::Saved;
            }
            if (MoveFileExW(save->swapFile, save->path, replacing | MOVEFILE_WRITE_THROUGH) != FALSE) {
                break;
            }
            error = GetLastError();
        }
        if (!IsPassing(error) || attempt == PASSING_ATTEMPTS) {
            FailSave(save->outcome, error, L"");
            return SwapResult::Failed;
        }
        Sleep(PASSING_RETRY_MS);
    }
    save->swapFile[0] = L'\0';
    save->savedStamp = {stamped, (static_cast<ULONGLONG>(swapData.nFileSizeHigh) << 32) | swapData.nFileSizeLow,
                        swapData.ftLastWriteTime};
    return SwapResult::Saved;
}

// Whether the file at name is the one with the identity.
bool IsFile(const wchar_t* name, const FileIdentity& identity)
{
    const HANDLE now = CreateFileW(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool same = now != INVALID_HANDLE_VALUE && SameIdentity(IdentityOf(now), identity);
    if (now != INVALID_HANDLE_VALUE) {
        CloseHandle(now);
    }
    return same;
}

}  // namespace






bool ProfileFunctionsTake(const wchar_t* path)
{
    return TextLength(path) + WORK_SUFFIX_LENGTH < MAX_PATH && std::wcsncmp(path, EXTENDED_PREFIX, 4) != 0;
}

bool BeginSafeSave(SafeSave* save, SaveOutcome* outcome, const wchar_t* path, const BYTE* before, DWORD beforeSize,
                   const FileStamp& stamp, const BYTE* bytes, DWORD size)
{
    *save = {path,  before, beforeSize, stamp, outcome, nullptr, nullptr, nullptr, {}, INVALID_HANDLE_VALUE,
             INVALID_HANDLE_VALUE, false, false, false, {}};
    auto* names = static_cast<wchar_t*>(AllocateBlock((static_cast<SIZE_T>(2) * MAX_PATH + LONG_PATH_CAPACITY) * sizeof(wchar_t)));
    if (names == nullptr) {
        FailSave(outcome, ERROR_NOT_ENOUGH_MEMORY, L"");
        return false;
    }
    save->work = names;
    save->readable = names + MAX_PATH;
    save->swapFile = save->readable + MAX_PATH;
    bool written = false;
    if (ProfileFunctionsTake(path)) {
        written = WriteNewWorkFile(path, bytes, size, save->work, MAX_PATH, &save->swapIdentity, &save->workHeld);
        CopyText(save->swapFile, MAX_PATH, save->work);
    } else {
        save->privateWork = WritePrivateCopy(bytes, size, save->work);
        written = save->privateWork &&
                  WriteNewWorkFile(path, nullptr, 0, save->swapFile, LONG_PATH_CAPACITY, &save->swapIdentity, nullptr);
    }
    if (!written) {
        // A name that could not be claimed may be another save's.
        FailSave(outcome, GetLastError(), SuffixBeside(path, save->privateWork ? save->swapFile : save->work));
        save->swapFile[0] = L'\0';
        if (!save->privateWork) {
            save->work[0] = L'\0';
        }
    }
    return written;
}

bool ReleaseWorkCopy(SafeSave* save)
{
    if (save->workHeld == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(save->workHeld);
    save->workHeld = INVALID_HANDLE_VALUE;
    return true;
}

bool IsSaveOwnWorkCopy(const SafeSave& save)
{
    // A private copy in the temporary folder has a name no start takes for a stray.
    return save.privateWork || IsFile(save.work, save.swapIdentity);
}

bool WriteSwapFile(SafeSave* save, const BYTE* bytes, DWORD size)
{
    if (save->before != nullptr && size == save->beforeSize && std::memcmp(bytes, save->before, size) == 0) {
        save->unchanged = true;
        return true;
    }
    if (size > MAX_SETTINGS_BYTES) {
        FailSave(save->outcome, ERROR_FILE_TOO_LARGE, L"");
        return false;
    }
    ReleaseWorkCopy(save);  // the same file, held now for reading only by others
    save->swapHeld = CreateFileW(save->swapFile, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    bool written = save->swapHeld != INVALID_HANDLE_VALUE;
    if (written && !SameIdentity(IdentityOf(save->swapHeld), save->swapIdentity)) {
        written = false;
        SetLastError(ERROR_FILE_NOT_FOUND);  // another file under the save's name: its own is gone
    }
    written = written && WriteFlushedAndRead(save->swapHeld, bytes, size);
    if (written && ProfileFunctionsTake(save->path)) {
        CopyText(save->readable, MAX_PATH, save->swapFile);
    } else if (written) {
        save->privateReadable = WritePrivateCopy(bytes, size, save->readable);
        written = save->privateReadable;
    }
    if (!written) {
        FailSave(save->outcome, GetLastError(), SuffixBeside(save->path, save->swapFile));
    }
    return written;
}

SwapResult SwapIn(SafeSave* save, bool keepReplaced)
{
    CloseHeld(save);
    const SwapResult result = RenameOverFile(save, keepReplaced);
    if (result == SwapResult::Saved && save->before != nullptr && !save->unchanged) {
        ReplaceBackup(*save);
    }
    return result;
}

void EndSafeSave(SafeSave* save)
{
    if (save->work == nullptr) {
        return;  // never begun, or no memory to begin with
    }
    CloseHeld(save);
    if (save->privateWork || std::wcscmp(save->work, save->swapFile) != 0) {
        DeleteFileW(save->work);
    }
    if (save->privateReadable) {
        DeleteFileW(save->readable);
    }
    if (save->swapFile[0] != L'\0') {
        DeleteFileW(save->swapFile);
    }
    ReleaseBlock(save->work);
    save->work = nullptr;
}

void FailSave(SaveOutcome* outcome, DWORD reason, const wchar_t* suffix)
{
    outcome->saved = false;
    outcome->reason = reason != ERROR_SUCCESS ? reason : ERROR_WRITE_FAULT;
    CopyText(outcome->refused, SUFFIX_CAPACITY, suffix);
}
