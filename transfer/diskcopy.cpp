// The copy of one changed file to one disk/network target.
#include "transfer/diskcopy.h"

#include "common/messages.h"
#include "log/errors.h"
#include "log/log.h"
#include "store/scoped.h"
#include "store/store.h"

#include <stdio.h>
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

// The request's abort event and the worker's shutdown event, looked at when
// a copy starts and then at most every DISK_STOP_POLL_MS: each look is a call
// into the system (under Wine a round trip to its server).
class StopPoll {
public:
    StopPoll(HANDLE abortEvent, HANDLE shutdownEvent, bool looked)
        : abort_(abortEvent), shutdown_(shutdownEvent), last_(GetTickCount()), looked_(looked)
    {}
    // The abort event alone, before the first block: the worker has just
    // looked at its shutdown event (and at the abort event too, when told).
    bool Aborted() const { return !looked_ && IsSet(abort_); }
    bool Stopped()
    {
        DWORD tick = GetTickCount();
        if (tick - last_ < DISK_STOP_POLL_MS)
            return false;
        last_ = tick;
        lookedAgain_ = true;
        return IsSet(abort_) || IsSet(shutdown_);
    }
    // True once the events were looked at again after the first block.
    bool Looked() const { return lookedAgain_; }

private:
    HANDLE abort_, shutdown_;
    DWORD last_;
    bool looked_;  // by the worker, right before the copy
    bool lookedAgain_ = false;
};

// What one copy works with once its files are open.
struct Transfer {
    HANDLE source;
    DiskCopy* copy;
    const TransferRequest* request;
    ULONGLONG size;
    StopPoll* poll;
    char* buffer;
    DWORD bufferSize;
    bool inSubfolder;  // the file lies in a subfolder of a folder item
};

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

// Works out where the copy goes; *inSubfolder tells whether the copy may
// need subfolders made below the target folder.
int WorkOutTargetPath(DiskCopy& copy, int storage, char* out, bool* inSubfolder)
{
    const char* path = copy.request->path;
    char nameSource[TK_PATH_SIZE];
    // A name that does not fit never will: no wait mends it.
    copy.systemError = ERROR_FILENAME_EXCED_RANGE;
    if (storage & STORAGE_BACKUP) {
        if (!MakeBackupName(path, nameSource))
            return ERR_DEST_OPEN;
    } else {
        lstrcpynA(nameSource, path, sizeof nameSource);
    }
    if (!MakeDiskTargetPath(path, nameSource, copy.keyName, copy.folder, out, TK_PATH_SIZE))
        return ERR_DEST_OPEN;
    copy.systemError = 0;
    // Only a file in a subfolder of a folder item gets its folders made; a
    // missing target folder itself is reported by the open.
    *inSubfolder = strpbrk(path + strlen(copy.keyName), "\\/") != NULL;
    return ERR_SUCCESS;
}

// A target folder that is empty (a value too long for the store reads as
// absent) or relative would put the copy into the current drive's root or
// folder: nothing is written, and the report names the target path, or the
// item's path when even the folder is unknown.
int RefuseUnusableFolder(DiskCopy* copy)
{
    if (copy->folder[0]) {
        if (!MakeDiskTargetPath(copy->request->path, copy->request->path, copy->keyName,
                                copy->folder, copy->subject, sizeof copy->subject))
            lstrcpynA(copy->subject, copy->folder, sizeof copy->subject);
    } else {
        lstrcpynA(copy->subject, copy->keyName, sizeof copy->subject);
        DecodeKeyName(copy->subject);
    }
    copy->systemError = ERROR_BAD_PATHNAME;  // the user's setting: no wait mends it
    return ERR_FILE_OPERATION;
}

ULONGLONG SizeOf(HANDLE file)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0)
        return 0;
    return static_cast<ULONGLONG>(size.QuadPart);
}

// Keeps the system's error of a failed step for the caller.
CopyEnd Failed(DiskCopy* copy)
{
    copy->systemError = GetLastError();
    return COPY_FAILED;
}

int FailedWith(DiskCopy* copy, int code)
{
    copy->systemError = GetLastError();
    return code;
}

// Times one block of a large copy. Blocks grow from DISK_COPY_BLOCK while a
// block takes no time to speak of (a local disk: fewer, larger calls into the
// system) and shrink again when one is slow (a network share), so that the
// stop events are still looked at about every DISK_STOP_POLL_MS.
class BlockClock {
public:
    BlockClock() { QueryPerformanceCounter(&start_); }
    DWORD NextBlock(DWORD block, DWORD largest) const
    {
        LARGE_INTEGER now, frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        LONGLONG us = (now.QuadPart - start_.QuadPart) * 1000000 / frequency.QuadPart;
        if (us < 2000 && block * 2 <= largest)
            return block * 2;
        if (us > 8000 && block / 2 >= DISK_COPY_BLOCK)
            return block / 2;
        return block;
    }

private:
    LARGE_INTEGER start_;
};

// The block loop. The progress window gets the percentage posted, so the copy
// never waits for it, and only when it changes what the window shows.
CopyEnd CopyBlocks(const Transfer& t, HANDLE target)
{
    const ULONGLONG size = t.size;
    ULONGLONG total = 0;
    int& shown = t.copy->shownPercent;
    HWND progress = t.request->progressWindow;
    if (t.poll->Aborted())
        return COPY_STOPPED;
    DWORD block = t.bufferSize < DISK_COPY_BLOCK ? t.bufferSize : DWORD(DISK_COPY_BLOCK);
    for (;;) {
        BlockClock clock;
        DWORD got = 0;
        if (!ReadFile(t.source, t.buffer, block, &got, NULL))
            return Failed(t.copy);
        if (got == 0)
            return COPY_DONE;
        DWORD put = 0;
        if (!WriteFile(target, t.buffer, got, &put, NULL) || put != got)
            return Failed(t.copy);
        total += put;
        block = clock.NextBlock(block, t.bufferSize);
        int percent = CopyPercent(total, size);
        if (progress && size && percent != shown) {
            PostFilesDone(t.copy->done);
            PostMessageA(progress, UM_DISKPERCENT, static_cast<WPARAM>(percent), 0);
            shown = percent;
        }
        if (t.poll->Stopped())
            return COPY_STOPPED;
        if (t.copy->showPath && t.poll->Looked()) {
            PostFilesDone(t.copy->done);
            SendMessageA(progress, UM_DISKFILESTART, 0, reinterpret_cast<LPARAM>(t.request->path));
            t.copy->showPath = false;
        }
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

// A new temporary file beside the stored copy: "tkXXXX.tmp", the first free
// number from a varying start. The name is built here, bounded, rather than
// by GetTempFileName, which may write past a MAX_PATH buffer when the folder
// is long, and which makes the file only for it to be opened a second time.
HANDLE CreateTempCopy(const char* target, char* temp)
{
    unsigned start = GetTickCount() ^ (GetCurrentThreadId() * 40503u);
    for (unsigned i = 0; i < 0x10000; ++i) {
        if (!MakeTempCopyName(target, start + i, temp, TK_PATH_SIZE)) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return INVALID_HANDLE_VALUE;
        }
        HANDLE file = CreateFileA(temp, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return INVALID_HANDLE_VALUE;
    }
    return INVALID_HANDLE_VALUE;
}

// Storage types 1 and 2: the bytes go into a temporary file beside the stored
// copy, which is replaced only when the whole file arrived.
int ReplaceCopy(const Transfer& t, const char* target, bool* finished)
{
    char temp[TK_PATH_SIZE];
    HANDLE file = CreateTempCopy(target, temp);
    // The subfolders are made when the copy cannot be made without them, not
    // before every copy: in a folder transfer most files find their folders
    // there, and each folder asked for is a call into the system.
    if (file == INVALID_HANDLE_VALUE && t.inSubfolder) {
        CreateFolderChain(target);
        file = CreateTempCopy(target, temp);
    }
    if (file == INVALID_HANDLE_VALUE)
        return FailedWith(t.copy, ERR_DEST_OPEN);
    CopyEnd end = CopyBlocks(t, file);
    // A network share may report a failed write only when the file closes.
    if (!CloseHandle(file) && end == COPY_DONE)
        end = Failed(t.copy);
    if (end != COPY_DONE) {
        DeleteFileA(temp);
        return end == COPY_STOPPED ? ERR_SUCCESS : ERR_FILE_OPERATION;
    }
    if (!ReplaceStoredCopy(temp, target)) {
        t.copy->systemError = GetLastError();
        DeleteFileA(temp);
        return ERR_DEST_OPEN;
    }
    *finished = true;
    return ERR_SUCCESS;
}

// The stored copy for appending, made when it does not exist.
HANDLE OpenStoredCopy(const char* target)
{
    return CreateFileA(target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, NULL);
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
int AppendCopy(const Transfer& t, const char* target, bool* finished)
{
    HANDLE file = OpenStoredCopy(target);
    if (file == INVALID_HANDLE_VALUE && t.inSubfolder) {
        CreateFolderChain(target);
        file = OpenStoredCopy(target);
    }
    if (file == INVALID_HANDLE_VALUE)
        return FailedWith(t.copy, ERR_DEST_OPEN);
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    // Appending a file to itself would read what it writes until the disk
    // is full (a target folder that is the item's own folder).
    if (existed && IsSameFile(t.source, file)) {
        CloseHandle(file);
        t.copy->systemError = ERROR_INVALID_NAME;  // the user's setting: no wait mends it
        return ERR_DEST_OPEN;
    }
    LARGE_INTEGER before = {};
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(file, zero, &before, FILE_END)) {
        t.copy->systemError = GetLastError();
        CloseHandle(file);
        return ERR_DEST_OPEN;
    }
    CopyEnd end = CopyBlocks(t, file);
    if (end != COPY_DONE) {
        SetFilePointerEx(file, before, NULL, FILE_BEGIN);
        SetEndOfFile(file);
        CloseHandle(file);
        if (!existed)
            DeleteFileA(target);
        return end == COPY_STOPPED ? ERR_SUCCESS : ERR_FILE_OPERATION;
    }
    if (!CloseHandle(file))
        return FailedWith(t.copy, ERR_FILE_OPERATION);
    *finished = true;
    return ERR_SUCCESS;
}

// Opens the source; result ERR_SUCCESS with INVALID_HANDLE_VALUE when there
// is nothing to copy.
int OpenSource(DiskCopy* copy, HANDLE* source)
{
    const char* path = copy->request->path;
    *source = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (*source != INVALID_HANDLE_VALUE)
        return ERR_SUCCESS;
    copy->systemError = GetLastError();
    if (NoteVanishedSource(path, copy->systemError)) {
        copy->gone = true;
        copy->systemError = 0;
        return ERR_SUCCESS;
    }
    // A folder has no bytes to copy (its files come as changes of their own).
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ERR_SUCCESS;
    return ERR_SOURCE_OPEN;
}

// The buffer is no larger than the file needs: most changed files are small.
// A file of DISK_COPY_LARGEST_BLOCK or more gets room for blocks that large.
DWORD BufferSizeFor(ULONGLONG size)
{
    if (size >= DISK_COPY_LARGEST_BLOCK)
        return DISK_COPY_LARGEST_BLOCK;
    if (size >= DISK_COPY_BLOCK)
        return DISK_COPY_BLOCK;
    return size < 4096 ? 4096 : static_cast<DWORD>(size);
}

}  // namespace

bool NoteVanishedSource(const char* path, DWORD error)
{
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
        return false;
    char line[TK_PATH_SIZE + 64];
    snprintf(line, sizeof line, "File %s no longer exists, nothing to transfer", path);
    WriteLog(line, 0, LOG_BACKUP);
    return true;
}

void PostFilesDone(DoneCount* done)
{
    if (!done || !done->files)
        return;
    PostMessageA(done->window, UM_DISKFILEDONE, done->files, 0);
    done->files = 0;
    done->postedAt = GetTickCount();
}

void CountFileDone(DoneCount* done, HWND window)
{
    if (done->window != window)
        PostFilesDone(done);
    done->window = window;
    ++done->files;
    if (GetTickCount() - done->postedAt >= DISK_DONE_POST_MS)
        PostFilesDone(done);
}

int CopyToDiskFolder(DiskCopy* copy)
{
    if (!copy || !copy->request || !copy->request->path || !copy->keyName || !copy->folder)
        return STORE_MISSING_ARGUMENT;
    copy->targetPath[0] = '\0';
    copy->systemError = 0;
    copy->gone = false;
    lstrcpynA(copy->subject, copy->keyName, sizeof copy->subject);
    const int storage = StorageOf(copy->storageType);

    HANDLE source;
    int result = OpenSource(copy, &source);
    if (source == INVALID_HANDLE_VALUE)
        return result;
    if (!IsFullFolderPath(copy->folder)) {
        CloseHandle(source);
        return RefuseUnusableFolder(copy);
    }
    Transfer t = {source, copy, copy->request, SizeOf(source), NULL, NULL, 0, false};
    t.bufferSize = BufferSizeFor(t.size);
    t.buffer = static_cast<char*>(malloc(t.bufferSize));
    if (!t.buffer) {
        CloseHandle(source);
        return FailedWith(copy, ERR_NO_MEMORY);
    }
    StopPoll poll(copy->request->abortEvent, copy->shutdownEvent, copy->stopsLooked);
    t.poll = &poll;

    char target[TK_PATH_SIZE];
    result = WorkOutTargetPath(*copy, storage, target, &t.inSubfolder);
    bool finished = false;
    if (result == ERR_SUCCESS) {
        if (storage == STORAGE_APPEND)
            result = AppendCopy(t, target, &finished);
        else
            result = ReplaceCopy(t, target, &finished);
    }
    CloseHandle(source);
    free(t.buffer);
    if (result == ERR_SUCCESS && finished)
        lstrcpynA(copy->targetPath, target, sizeof copy->targetPath);
    return result;
}

int CopyToDiskTarget(const TransferRequest* request, const WorkerStart* start, DWORD targetId,
                     char* targetPath)
{
    if (!request || !request->path || !targetPath)
        return STORE_MISSING_ARGUMENT;
    targetPath[0] = '\0';
    ScopedItemSettings settings(request->path);
    if (!settings.loaded())
        return settings.result();
    DiskTarget* disk = FindDiskTargetById(settings.get(), targetId);
    char keyName[TK_PATH_SIZE];
    if (!disk || !OpenItemKey(request->path, keyName, NULL))
        return ERR_NO_SETTINGS;
    DiskCopy copy = {};
    copy.request = request;
    copy.shutdownEvent = start ? start->shutdownEvent : NULL;
    copy.keyName = keyName;
    copy.folder = disk->folder;
    copy.storageType = disk->storageType;
    copy.shownPercent = -1;
    int result = CopyToDiskFolder(&copy);
    lstrcpynA(targetPath, copy.targetPath, TK_PATH_SIZE);
    return result;
}
