// Copies to disk targets on real folders: storage types, folders, failures and stops.
#include <gtest/gtest.h>

#include "common/messages.h"
#include "log/errors.h"
#include "store/store.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"
#include "tests/transfer/transferenv.h"
#include "transfer/diskcopy.h"

#include <string>

namespace {

void FixedClock(SYSTEMTIME* now)
{
    *now = SYSTEMTIME{2026, 12, 6, 5, 16, 12, 24, 0};
}

int CountEntries(const std::string& folder)
{
    int n = 0;
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &fd);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &fd))
        n += fd.cFileName[0] != '.';
    FindClose(find);
    return n;
}

class DiskCopy : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        CreateItemKey(item.c_str());
        SetBackupClock(FixedClock);
    }
    void TearDown() override
    {
        SetBackupClock(NULL);
        DeleteProductKey();
    }
    int Copy(const std::string& path, DWORD id, HANDLE abortEvent = NULL, HWND progress = NULL)
    {
        TransferRequest* r = NewRequest(path.c_str());
        r->abortEvent = abortEvent;
        r->progressWindow = progress;
        WorkerStart start = {};
        start.shutdownEvent = shutdown;
        stored[0] = 'X';
        int result = CopyToDiskTarget(r, &start, id, stored);
        FreeRequest(r);
        return result;
    }
    // A fresh target folder holding an old stored copy of a.txt.
    DWORD FreshTarget(BYTE type)
    {
        RemoveTree(dst / "bk");
        MakeDirs(dst / "bk");
        WriteFileBytes(dst / "bk\\a.txt", "old");
        return AddTarget(item, KIND_HD, dst / "bk", type);
    }
    TempDir src{"src"}, dst{"dst"};
    std::string item = src.path() + "\\";
    HANDLE shutdown = NULL;
    char stored[260];
};

TEST_F(DiskCopy, EachStorageTypeOverAnExistingStoredCopy)
{
    struct Case {
        BYTE type;
        const char *storedName, *storedData;
        int files;
    } cases[] = {
        {STORAGE_SYNC, "a.txt", "new", 1},
        {STORAGE_BACKUP, "a 12-5-2026 4 12 24.txt", "new", 2},
        {STORAGE_APPEND, "a.txt", "oldnew", 1},
        {0, "a.txt", "new", 1},  // values the pages never write: a plain overwrite
        {7, "a.txt", "new", 1},
    };
    WriteFileBytes(src / "a.txt", "new");
    for (const Case& c : cases) {
        ASSERT_EQ(1, Copy(src / "a.txt", FreshTarget(c.type))) << int(c.type);
        EXPECT_EQ(dst / "bk\\" + c.storedName, stored);
        EXPECT_EQ(c.storedData, ReadFileBytes(stored));
        EXPECT_EQ(c.files, CountEntries(dst / "bk")) << "temporary file left behind";
    }
}

TEST_F(DiskCopy, SubfoldersAreMadeButAMissingTargetFolderIsAnError)
{
    MakeDirs(src / "sub\\deep");
    WriteFileBytes(src / "sub\\deep\\b.txt", "deep");
    DWORD id = AddTarget(item, KIND_HD, dst / "bk", STORAGE_SYNC);
    ASSERT_EQ(1, Copy(src / "sub\\deep\\b.txt", id));
    EXPECT_EQ("deep", ReadFileBytes(dst / "bk\\sub\\deep\\b.txt"));

    WriteFileBytes(src / "a.txt", "top");
    EXPECT_EQ(ERR_DEST_OPEN, Copy(src / "a.txt", AddTarget(item, KIND_HD, dst / "no", 1)));
    EXPECT_STREQ("", stored);
    EXPECT_FALSE(DirExists(dst / "no"));
}

TEST_F(DiskCopy, SourcesThatCannotOrNeedNotBeCopied)
{
    DWORD id = AddTarget(item, KIND_HD, dst.path(), STORAGE_SYNC);
    EXPECT_EQ(1, Copy(src / "gone.txt", id));
    EXPECT_STREQ("", stored);
    WriteFileBytes(src / "locked.txt", "x");
    HANDLE lock = CreateFileA((src / "locked.txt").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING,
                              0, NULL);
    EXPECT_EQ(ERR_SOURCE_OPEN, Copy(src / "locked.txt", id));
    CloseHandle(lock);
    MakeDirs(src / "folder");
    EXPECT_EQ(1, Copy(src / "folder", id));
    EXPECT_STREQ("", stored);
    EXPECT_EQ(0, CountEntries(dst.path()));
    // appending a file to itself
    EXPECT_EQ(ERR_DEST_OPEN, Copy(src / "locked.txt", AddTarget(item, KIND_HD, src.path(), 4)));
    EXPECT_EQ("x", ReadFileBytes(src / "locked.txt"));
}

// A source that breaks off: a pipe whose writer sends two blocks, setting the
// event (if any) after the first, and then goes away.
struct PipeSource {
    HANDLE pipe, event;
};

DWORD WINAPI FeedPipe(void* param)
{
    PipeSource* source = static_cast<PipeSource*>(param);
    ConnectNamedPipe(source->pipe, NULL);
    std::string block(DISK_COPY_BLOCK, 'n');
    DWORD put;
    WriteFile(source->pipe, block.data(), DISK_COPY_BLOCK, &put, NULL);
    if (source->event)
        SetEvent(source->event);
    WriteFile(source->pipe, block.data(), DISK_COPY_BLOCK, &put, NULL);
    FlushFileBuffers(source->pipe);
    CloseHandle(source->pipe);
    return 0;
}

// A stop by the user or at shutdown, or a failed read, leaves the stored copy as it was.
TEST_F(DiskCopy, UnfinishedCopiesLeaveTheStoredCopyAlone)
{
    const std::string pipeItem = "\\\\.\\pipe\\", name = "a.txt";
    CreateItemKey(pipeItem.c_str());
    WriteFileBytes(src / name, std::string(3 * DISK_COPY_BLOCK, 'n'));
    HANDLE abortEvent = CreateEventA(NULL, TRUE, TRUE, NULL);
    shutdown = CreateEventA(NULL, TRUE, FALSE, NULL);
    for (BYTE type : {STORAGE_SYNC, STORAGE_APPEND}) {
        EXPECT_EQ(1, Copy(src / name, FreshTarget(type), abortEvent));
        EXPECT_STREQ("", stored);
        DWORD pipeTarget = AddTarget(pipeItem, KIND_HD, dst / "bk", type);
        for (HANDLE event : {shutdown, HANDLE(NULL)}) {
            ResetEvent(shutdown);
            PipeSource source = {CreateNamedPipeA((pipeItem + name).c_str(), PIPE_ACCESS_OUTBOUND,
                                                  PIPE_TYPE_BYTE, 1, 4096, 4096, 0, NULL),
                                 event};
            HANDLE feeder = CreateThread(NULL, 0, FeedPipe, &source, 0, NULL);
            EXPECT_EQ(event ? ERR_SUCCESS : ERR_FILE_OPERATION, Copy(pipeItem + name, pipeTarget));
            EXPECT_STREQ("", stored);
            WaitForSingleObject(feeder, 10000);
            CloseHandle(feeder);
        }
        EXPECT_TRUE(ReadFileBytes(dst / "bk\\a.txt") == "old") << int(type);
        EXPECT_EQ(1, CountEntries(dst / "bk")) << "temporary file left behind";
    }
    CloseHandle(abortEvent);
    CloseHandle(shutdown);
}

TEST_F(DiskCopy, ProgressIsPostedPerBlock)
{
    HWND progress = CreateRecordingWindow();
    DWORD id = AddTarget(item, KIND_HD, dst.path(), STORAGE_SYNC);
    WriteFileBytes(src / "a.txt", std::string(3 * DISK_COPY_BLOCK + 100, 'p'));
    WriteFileBytes(src / "empty.txt", "");
    ASSERT_EQ(1, Copy(src / "empty.txt", id, NULL, progress));
    EXPECT_EQ("", ReadFileBytes(stored));
    ASSERT_EQ(1, Copy(src / "a.txt", id, NULL, progress));
    PumpMessages(50);
    std::vector<WPARAM> percents;
    for (const SeenMessage& m : SeenBy(progress, UM_DISKPERCENT))
        percents.push_back(m.wParam);
    EXPECT_EQ((std::vector<WPARAM>{33, 66, 99, 100}), percents);
    DestroyWindow(progress);
}

} // namespace
