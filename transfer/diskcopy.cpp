// The copy of one changed file to one disk/network target, in 64 KiB blocks.
#include "transfer/diskcopy.h"

#include "common/messages.h"
#include "log/errors.h"
#include "store/store.h"

#include <stdlib.h>
#include <string.h>

namespace {

enum CopyEnd { COPY_DONE, COPY_STOPPED, COPY_FAILED };

bool IsSet(HANDLE event)
{
    return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

// The property pages only offer 1, 2 and 4. Any other value (a hand-edited
// or damaged registry value) is served as a plain overwrite: it can neither
// mix backup naming with appending nor leave the target unopened.
int StorageOf(BYTE value)
{
    if (value == STORAGE_SYNC || value == STORAGE_BACKUP || value == STORAGE_APPEND)
        return value;
    return STORAGE_SYNC;
}

// Creates the folders of a target path, outermost first. Failures are left
// to the open of the target, which then reports the missing folder.
void CreateFolderChain(const char* targetPath)
{
    int ends[TK_PATH_SIZE / 2];
    int n = FolderChainPrefixes(targetPath, ends, TK_PATH_SIZE / 2);
    for (int i = 0; i < n; ++i) {
        char folder[TK_PATH_SIZE];
        lstrcpynA(folder, targetPath, ends[i] + 1);
        CreateDirectoryA(folder, NULL);
    }
}

// Works out where the copy goes and creates the subfolders it needs.
int WorkOutTargetPath(const char* path, const char* folder, int storage, char* out)
{
    char nameSource[TK_PATH_SIZE];
    if (storage & STORAGE_BACKUP) {
        if (!MakeBackupName(path, nameSource))
            return ERR_DEST_OPEN;
    } else {
        lstrcpynA(nameSource, path, sizeof nameSource);
    }
    char keyName[TK_PATH_SIZE];
    int keyLen = OpenItemKey(path, keyName, NULL);
    if (!keyLen)
        return ERR_NO_SETTINGS;
    if (!MakeDiskTargetPath(path, nameSource, keyName, folder, out, TK_PATH_SIZE))
        return ERR_DEST_OPEN;
    // Only a file in a subfolder of a folder item gets its folders made; a
    // missing target folder itself is reported by the open.
    if (strpbrk(path + keyLen, "\\/"))
        CreateFolderChain(out);
    return ERR_SUCCESS;
}

ULONGLONG SizeOf(HANDLE file)
{
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return 0;
    return (static_cast<ULONGLONG>(high) << 32) | low;
}

// The block loop. Both events are polled once per block; the progress window
// gets the percentage posted, so the copy never waits for it.
CopyEnd CopyBlocks(HANDLE source, HANDLE target, char* buffer, const TransferRequest* request,
                   HANDLE shutdownEvent)
{
    ULONGLONG size = SizeOf(source);
    ULONGLONG total = 0;
    if (IsSet(request->abortEvent))
        return COPY_STOPPED;
    for (;;) {
        if (IsSet(shutdownEvent))
            return COPY_STOPPED;
        DWORD got = 0;
        if (!ReadFile(source, buffer, DISK_COPY_BLOCK, &got, NULL))
            return COPY_FAILED;
        if (got == 0)
            return COPY_DONE;
        DWORD put = 0;
        if (!WriteFile(target, buffer, got, &put, NULL) || put != got)
            return COPY_FAILED;
        total += put;
        if (request->progressWindow && size) {
            ULONGLONG percent = total >= size ? 100 : total * 100 / size;
            PostMessageA(request->progressWindow, UM_DISKPERCENT, static_cast<WPARAM>(percent), 0);
        }
        if (IsSet(request->abortEvent))
            return COPY_STOPPED;
    }
}

// Puts a finished temporary file in the place of the stored copy.
bool ReplaceStoredCopy(const char* temp, const char* target)
{
    if (MoveFileExA(temp, target, MOVEFILE_REPLACE_EXISTING))
        return true;
    // The Windows 9x family has no MoveFileEx; there the old copy has to go
    // first, and goes only now that the new one is complete.
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return false;
    DeleteFileA(target);
    return MoveFileA(temp, target) != FALSE;
}

// Storage types 1 and 2: the bytes go into a temporary file beside the stored
// copy, which is replaced only when the whole file arrived.
int ReplaceCopy(HANDLE source, const char* target, char* buffer, const TransferRequest* request,
                HANDLE shutdownEvent, bool* finished)
{
    char folder[TK_PATH_SIZE];
    lstrcpynA(folder, target, static_cast<int>(FileNamePart(target) - target) + 1);
    char temp[MAX_PATH];
    if (!GetTempFileNameA(folder, "tk", 0, temp))
        return ERR_DEST_OPEN;
    HANDLE file = CreateFileA(temp, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        DeleteFileA(temp);
        return ERR_DEST_OPEN;
    }
    CopyEnd end = CopyBlocks(source, file, buffer, request, shutdownEvent);
    // A network share may report a failed write only when the file closes.
    if (!CloseHandle(file) && end == COPY_DONE)
        end = COPY_FAILED;
    if (end != COPY_DONE) {
        DeleteFileA(temp);
        return end == COPY_STOPPED ? ERR_SUCCESS : ERR_FILE_OPERATION;
    }
    if (!ReplaceStoredCopy(temp, target)) {
        DeleteFileA(temp);
        return ERR_DEST_OPEN;
    }
    *finished = true;
    return ERR_SUCCESS;
}

bool IsSameFile(HANDLE a, HANDLE b)
{
    BY_HANDLE_FILE_INFORMATION ia, ib;
    return GetFileInformationByHandle(a, &ia) && GetFileInformationByHandle(b, &ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

// Storage type 4: appends to the stored copy and cuts it back to its old
// length when the append does not finish.
int AppendCopy(HANDLE source, const char* target, char* buffer, const TransferRequest* request,
               HANDLE shutdownEvent, bool* finished)
{
    HANDLE file = CreateFileA(target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return ERR_DEST_OPEN;
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    // Appending a file to itself would read what it writes until the disk
    // is full (a target folder that is the item's own folder).
    if (existed && IsSameFile(source, file)) {
        CloseHandle(file);
        return ERR_DEST_OPEN;
    }
    ULONGLONG before = SizeOf(file);
    LONG high = 0;
    SetFilePointer(file, 0, &high, FILE_END);
    CopyEnd end = CopyBlocks(source, file, buffer, request, shutdownEvent);
    if (end != COPY_DONE) {
        high = static_cast<LONG>(before >> 32);
        SetFilePointer(file, static_cast<LONG>(before & 0xFFFFFFFFu), &high, FILE_BEGIN);
        SetEndOfFile(file);
        CloseHandle(file);
        if (!existed)
            DeleteFileA(target);
        return end == COPY_STOPPED ? ERR_SUCCESS : ERR_FILE_OPERATION;
    }
    if (!CloseHandle(file))
        return ERR_FILE_OPERATION;
    *finished = true;
    return ERR_SUCCESS;
}

} // namespace

int CopyToDiskTarget(const TransferRequest* request, const WorkerStart* start, DWORD targetId,
                     char* targetPath)
{
    if (!request || !request->path || !targetPath)
        return STORE_MISSING_ARGUMENT;
    targetPath[0] = '\0';

    ItemSettings* settings = NewItemSettings(request->path);
    if (!settings)
        return ERR_NO_MEMORY;
    if (LoadItemSettings(request->path, settings) != 1) {
        FreeItemSettings(settings);
        return ERR_NO_SETTINGS;
    }
    DiskTarget* disk = FindDiskTargetById(settings, targetId);
    if (!disk) {
        FreeItemSettings(settings);
        return ERR_NO_SETTINGS;
    }
    char folder[TK_PATH_SIZE];
    lstrcpynA(folder, disk->folder, sizeof folder);
    int storage = StorageOf(disk->storageType);
    FreeItemSettings(settings);

    // A folder has no bytes to copy (its files come as changes of their own).
    DWORD attributes = GetFileAttributesA(request->path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ERR_SUCCESS;
    HANDLE source = CreateFileA(request->path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (source == INVALID_HANDLE_VALUE) {
        // A file that has gone since its change was seen needs no copy.
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return ERR_SUCCESS;
        return ERR_SOURCE_OPEN;
    }
    char* buffer = static_cast<char*>(malloc(DISK_COPY_BLOCK));
    if (!buffer) {
        CloseHandle(source);
        return ERR_NO_MEMORY;
    }

    char target[TK_PATH_SIZE];
    int result = WorkOutTargetPath(request->path, folder, storage, target);
    bool finished = false;
    if (result == ERR_SUCCESS) {
        HANDLE shutdownEvent = start ? start->shutdownEvent : NULL;
        if (storage == STORAGE_APPEND)
            result = AppendCopy(source, target, buffer, request, shutdownEvent, &finished);
        else
            result = ReplaceCopy(source, target, buffer, request, shutdownEvent, &finished);
    }
    CloseHandle(source);
    free(buffer);
    if (result == ERR_SUCCESS && finished)
        lstrcpynA(targetPath, target, TK_PATH_SIZE);
    return result;
}
