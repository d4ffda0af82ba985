// Copies to disk targets on real folders: storage types, folders, failures and stops.
#include <gtest/gtest.h>

#include "app/messages.h"
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
    SYSTEMTIME t = {2026, 12, 6, 5, 16, 12, 24, 0};
    *now = t;
}

int CountEntries(const std::string& folder)
{
    int n = 0;
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do
        n += fd.cFileName[0] != '.';
    while (FindNextFileA(find, &fd));
    FindClose(find);
    return n;
}

class DiskCopy : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        item = src.path() + "\\";
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
        r->kind = KIND_HD;
        r->abortEvent = abortEvent;
        r->progressWindow = progress;
        WorkerStart start = {};
        start.shutdownEvent = shutdown;
        stored[0] = 'X';
        int result = CopyToDiskTarget(r, &start, id, stored);
        FreeRequest(r);
        return result;
    }
    TempDir src{"src"}, dst{"dst"};
    std::string item;
    HANDLE shutdown = NULL;
    char stored[260];
};

TEST_F(DiskCopy, EachStorageTypeOverAnExistingStoredCopy)
{
    struct Case {
        BYTE type;
        const char* storedName;
        const char* storedData;
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
        RemoveTree(dst / "bk");
        MakeDirs(dst / "bk");
        WriteFileBytes(dst / "bk\\a.txt", "old");
        DWORD id = AddDiskTarget(item, dst / "bk", c.type);
        ASSERT_EQ(1, Copy(src / "a.txt", id)) << int(c.type);
        EXPECT_EQ(dst / ("bk\\" + std::string(c.storedName)), stored);
        EXPECT_TRUE(c.storedData == ReadFileBytes(stored)) << int(c.type);
        EXPECT_EQ(c.files, CountEntries(dst / "bk")) << "temporary file left behind";
        if (c.type == STORAGE_BACKUP) {
            EXPECT_EQ("old", ReadFileBytes(dst / "bk\\a.txt"));
        }
    }
}

TEST_F(DiskCopy, SubfoldersAreMadeButAMissingTargetFolderIsAnError)
{
    MakeDirs(src / "sub\\deep");
    WriteFileBytes(src / "sub\\deep\\b.txt", "deep");
    WriteFileBytes(src / "a.txt", "top");
    DWORD id = AddDiskTarget(item, dst / "bk", STORAGE_APPEND);
    ASSERT_EQ(1, Copy(src / "sub\\deep\\b.txt", id));
    EXPECT_EQ(dst / "bk\\sub\\deep\\b.txt", stored);
    EXPECT_EQ("deep", ReadFileBytes(stored));

    DWORD missing = AddDiskTarget(item, dst / "none", STORAGE_SYNC);
    EXPECT_EQ(ERR_DEST_OPEN, Copy(src / "a.txt", missing));
    EXPECT_STREQ("", stored);
    EXPECT_FALSE(DirExists(dst / "none"));
}

TEST_F(DiskCopy, SingleFileItemWithBackupStorage)
{
    std::string file = src / "todo.txt";
    WriteFileBytes(file, "list");
    CreateItemKey(file.c_str());
    DWORD id = AddDiskTarget(file, dst.path(), STORAGE_BACKUP);
    ASSERT_EQ(1, Copy(file, id));
    EXPECT_EQ(dst / "todo 12-5-2026 4 12 24.txt", stored);
}

TEST_F(DiskCopy, GoneLockedOrUnknown)
{
    DWORD id = AddDiskTarget(item, dst.path(), STORAGE_SYNC);
    EXPECT_EQ(1, Copy(src / "gone.txt", id));
    EXPECT_STREQ("", stored);

    WriteFileBytes(src / "locked.txt", "x");
    HANDLE lock = CreateFileA((src / "locked.txt").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING,
                              0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    EXPECT_EQ(ERR_SOURCE_OPEN, Copy(src / "locked.txt", id));
    CloseHandle(lock);

    EXPECT_EQ(ERR_NO_SETTINGS, Copy(src / "locked.txt", id + 7));
    EXPECT_EQ(ERR_NO_SETTINGS, Copy(dst / "elsewhere.txt", id));
    EXPECT_EQ(0, CountEntries(dst.path()));
}

// A source that breaks off: a pipe whose writer sends two blocks, setting the
// event (if any) after the first, and then goes away.
struct PipeSource {
    HANDLE pipe;
    HANDLE event;
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

// Stops and failed reads must leave the stored copy exactly as it was.
TEST_F(DiskCopy, UnfinishedCopiesLeaveTheStoredCopyAlone)
{
    const std::string pipeItem = "\\\\.\\pipe\\";
    const std::string pipePath = pipeItem + "tk-copy-" + std::to_string(GetCurrentProcessId());
    CreateItemKey(pipeItem.c_str());
    WriteFileBytes(src / "a.txt", std::string(3 * DISK_COPY_BLOCK, 'n'));
    HANDLE abortEvent = CreateEventA(NULL, TRUE, TRUE, NULL);
    shutdown = CreateEventA(NULL, TRUE, FALSE, NULL);
    for (BYTE type : {STORAGE_SYNC, STORAGE_APPEND}) {
        RemoveTree(dst / "bk");
        MakeDirs(dst / "bk");
        WriteFileBytes(dst / "bk\\a.txt", "old");
        WriteFileBytes(dst / ("bk\\" + pipePath.substr(pipeItem.size())), "old");
        DWORD id = AddDiskTarget(item, dst / "bk", type);
        EXPECT_EQ(1, Copy(src / "a.txt", id, abortEvent)) << "stopped by the user";
        EXPECT_STREQ("", stored);

        DWORD pipeTarget = AddDiskTarget(pipeItem, dst / "bk", type);
        for (HANDLE event : {shutdown, HANDLE(NULL)}) {
            ResetEvent(shutdown);
            PipeSource source = {CreateNamedPipeA(pipePath.c_str(), PIPE_ACCESS_OUTBOUND,
                                                  PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0,
                                                  NULL),
                                 event};
            ASSERT_NE(INVALID_HANDLE_VALUE, source.pipe);
            HANDLE feeder = CreateThread(NULL, 0, FeedPipe, &source, 0, NULL);
            int expected = event ? ERR_SUCCESS : ERR_FILE_OPERATION;
            EXPECT_EQ(expected, Copy(pipePath, pipeTarget)) << int(type);
            EXPECT_STREQ("", stored);
            WaitForSingleObject(feeder, 10000);
            CloseHandle(feeder);
        }
        for (const std::string& name : {std::string("a.txt"), pipePath.substr(pipeItem.size())})
            EXPECT_TRUE(ReadFileBytes(dst / ("bk\\" + name)) == "old") << name << int(type);
        EXPECT_EQ(2, CountEntries(dst / "bk")) << "temporary file left behind";
    }
    CloseHandle(abortEvent);
    CloseHandle(shutdown);
}

TEST_F(DiskCopy, ProgressIsPostedPerBlock)
{
    HWND progress = CreateRecordingWindow();
    DWORD id = AddDiskTarget(item, dst.path(), STORAGE_SYNC);
    WriteFileBytes(src / "a.txt", std::string(3 * DISK_COPY_BLOCK + 100, 'p'));
    WriteFileBytes(src / "empty.txt", "");
    ASSERT_EQ(1, Copy(src / "empty.txt", id, NULL, progress));
    EXPECT_EQ("", ReadFileBytes(stored));
    ASSERT_EQ(1, Copy(src / "a.txt", id, NULL, progress));
    PumpMessages(50);
    std::vector<int> percents;
    for (const SeenMessage& m : SeenBy(progress, UM_DISKPERCENT))
        percents.push_back(static_cast<int>(m.wParam));
    EXPECT_EQ((std::vector<int>{33, 66, 99, 100}), percents);
    DestroyWindow(progress);
}

} // namespace
