// The intake on the real registry: every filter with its log lines, and what an accepted change queues.
#include <gtest/gtest.h>

#include <process.h>

#include "monitor/intake.h"
#include "monitor/watcher.h"
#include "store/store.h"
#include "tests/monitor/monitor_support.h"
#include "tests/support/testenv.h"

#include <string>
#include <vector>

namespace {

typedef std::vector<std::pair<int, std::string>> Requests;

class Intake : public ::testing::Test {
protected:
    TempDir base{"tkintake"};
    std::string install;
    std::string work;
    RequestQueue* queue = NULL;
    HANDLE workEvent = NULL;
    HANDLE liveStop = NULL;
    IntakeContext context = {};
    HWND fakeWindow = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x1234));

    void SetUp() override
    {
        ResetProductKey();
        install = base / "Tandemkeep";
        work = base / "Work";
        MakeDirs(install);
        MakeDirs(work);
        SetGlobalText("installdir", install.c_str());
        SetGlobalDword("logging", 1);
        SetGlobalRaw("enabled", REG_BINARY, "", 0);
        ASSERT_EQ(1, CreateItemKey((work + "\\").c_str()));
        queue = NewRequestQueue();
        workEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
        liveStop = CreateEventA(NULL, TRUE, FALSE, NULL);
        context.device = INVALID_HANDLE_VALUE;
        context.workEvent = workEvent;
        context.liveStopEvent = liveStop;
        context.mainWindow = fakeWindow;
        context.queue = queue;
    }
    void TearDown() override
    {
        FreeRequestQueue(queue);
        CloseHandle(workEvent);
        CloseHandle(liveStop);
        DeleteProductKey();
    }

    // Runs the intake for path (a file that is written first unless told not to).
    int Change(const std::string& path, bool create = true)
    {
        if (create) {
            MakeDirs(path.substr(0, path.find_last_of('\\')));
            EXPECT_TRUE(WriteFileBytes(path, "data"));
        }
        char buffer[260];
        lstrcpynA(buffer, path.c_str(), sizeof buffer);
        context.path = buffer;
        return HandleChange(&context);
    }
    std::vector<std::string> Backup() { return LogTexts(install, 0); }
    std::vector<std::string> Errors() { return LogTexts(install, 1); }
    Requests Queued() { return QueuedRequests(queue); }
    static std::string Received(const std::string& p) { return "Received request to back up file " + p; }
    Requests Both(const std::string& p) { return Requests{{KIND_HD, p}, {KIND_FTP, p}}; }
};

struct Wakes {
    HANDLE event;
    RequestQueue* queue;
    std::vector<int> queueSizes;  // requests present at each wake
};

unsigned __stdcall CountWakes(void* arg)
{
    Wakes* w = static_cast<Wakes*>(arg);
    while (WaitForSingleObject(w->event, 1500) == WAIT_OBJECT_0)
        w->queueSizes.push_back(static_cast<int>(QueuedRequests(w->queue).size()));
    return 0;
}

TEST_F(Intake, AcceptedChangeQueuesDiskThenFtpAndWakesTheWorkerOnce)
{
    std::string file = work + "\\report.doc";
    Wakes wakes = {workEvent, queue, {}};
    HANDLE counter = reinterpret_cast<HANDLE>(_beginthreadex(NULL, 0, CountWakes, &wakes, 0, NULL));
    EXPECT_EQ(1, Change(file));
    WaitForSingleObject(counter, INFINITE);
    CloseHandle(counter);
    // Set once, and only after both requests were in the queue.
    EXPECT_EQ(std::vector<int>{2}, wakes.queueSizes);

    EXPECT_EQ(Both(file), Queued());
    for (TransferRequest* r = queue->first; r; r = r->next) {
        EXPECT_EQ(fakeWindow, r->mainWindow);
        EXPECT_EQ(NULL, r->progressWindow);
        EXPECT_EQ(liveStop, r->abortEvent);
    }
    EXPECT_EQ(std::vector<std::string>{Received(file)}, Backup());
    EXPECT_TRUE(Errors().empty());
}

TEST_F(Intake, ShortUpperCaseReportReachesTheQueueInLongStoredForm)
{
    std::string file = work + "\\Long Named Folder\\Mixed Case Notes.txt";
    MakeDirs(work + "\\Long Named Folder");
    ASSERT_TRUE(WriteFileBytes(file, "x"));
    char shortForm[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(file.c_str(), shortForm, sizeof shortForm), 0u);
    std::string reported = UpperText(shortForm);
    EXPECT_EQ(1, Change(reported, false));
    EXPECT_EQ(Both(file), Queued());
    // The log shows the report as it came.
    EXPECT_EQ(std::vector<std::string>{Received(reported)}, Backup());
}

TEST_F(Intake, TemporaryFileFilterFollowsTheItemOption)
{
    const char* names[] = {"Templates\\letter.doc", "attempt.txt", "~wrd0001.tmp"};
    for (const char* name : names) {
        std::string file = work + "\\" + name;
        SetItemOption(work + "\\", "advanced_excludetemp", 1);
        EXPECT_EQ(2, Change(file)) << name;
        EXPECT_TRUE(Queued().empty()) << name;
        EXPECT_EQ(Backup().back(), "Filtered out suspected temporary file " + file);

        SetItemOption(work + "\\", "advanced_excludetemp", 0);
        EXPECT_EQ(1, Change(file)) << name;
        EXPECT_EQ(Both(file), Queued()) << name;
        EXPECT_EQ(Backup().back(), Received(file));
        ClearRequests(queue);
    }
}

TEST_F(Intake, OwnFolderIsRefusedWithAnErrorLine)
{
    // An item that covers the installation folder.
    ASSERT_EQ(1, CreateItemKey((base.path() + "\\").c_str()));
    std::string inside = install + "\\sub\\notes.txt";
    EXPECT_EQ(2, Change(inside));
    EXPECT_TRUE(Queued().empty());
    EXPECT_EQ(std::vector<std::string>{"Cannot transfer file " + inside +
                                       ", it's in the Tandemkeep directory"},
              Errors());
    EXPECT_EQ(std::vector<std::string>{Received(inside)}, Backup());

    // The temporary-file filter comes first.
    std::string temp = install + "\\backup.tmp";
    EXPECT_EQ(2, Change(temp));
    EXPECT_EQ("Filtered out suspected temporary file " + temp, Backup().back());
    EXPECT_EQ(1u, Errors().size());

    // A sibling whose name begins like the installation folder is not ours.
    std::string sibling = base / "Tandemkeep Data\\notes.txt";
    EXPECT_EQ(1, Change(sibling));
    EXPECT_EQ(Both(sibling), Queued());
}

TEST_F(Intake, WithoutInstallFolderNothingIsRefused)
{
    ASSERT_EQ(1, CreateItemKey((base.path() + "\\").c_str()));
    DeleteGlobalValue("installdir");
    std::string inside = install + "\\notes.txt";
    EXPECT_EQ(1, Change(inside));
    EXPECT_EQ(Both(inside), Queued());
    SetGlobalText("installdir", "");
    ClearRequests(queue);
    EXPECT_EQ(1, Change(inside));
    EXPECT_EQ(Both(inside), Queued());
}

TEST_F(Intake, SubfolderChangesFollowIncludeSubfolders)
{
    SetItemOption(work + "\\", "advanced_includesubs", 0);
    std::string top = work + "\\a.txt";
    std::string deep = work + "\\Sub\\a.txt";
    EXPECT_EQ(1, Change(top));
    EXPECT_EQ(Both(top), Queued());
    ClearRequests(queue);
    EXPECT_EQ(2, Change(deep));
    EXPECT_TRUE(Queued().empty());
    EXPECT_EQ(Received(deep), Backup().back());  // dropped silently

    // A file item is at its own depth, whatever its options.
    std::string fileItem = work + "\\Sub\\b.txt";
    ASSERT_EQ(1, CreateItemKey(fileItem.c_str()));
    SetItemOption(fileItem, "advanced_includesubs", 0);
    EXPECT_EQ(1, Change(fileItem));
    EXPECT_EQ(Both(fileItem), Queued());
    ClearRequests(queue);

    SetItemOption(work + "\\", "advanced_includesubs", 1);
    EXPECT_EQ(1, Change(deep));
    EXPECT_EQ(Both(deep), Queued());
}

TEST_F(Intake, DroppedChangesLeaveOnlyTheReceivedLine)
{
    std::string uncovered = base / "Elsewhere\\x.txt";
    EXPECT_EQ(2, Change(uncovered));

    DeleteGlobalValue("enabled");
    std::string covered = work + "\\x.txt";
    EXPECT_EQ(2, Change(covered));

    EXPECT_TRUE(Queued().empty());
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(workEvent, 0));
    EXPECT_EQ((std::vector<std::string>{Received(uncovered), Received(covered)}), Backup());
    EXPECT_TRUE(Errors().empty());

    context.path = NULL;
    EXPECT_EQ(0, HandleChange(&context));
    EXPECT_EQ(2u, Backup().size());
}

TEST_F(Intake, VanishedFileGoesOnWithItsFullPath)
{
    std::string gone = work + "\\Gone\\..\\vanished.txt";
    EXPECT_EQ(1, Change(gone, false));
    EXPECT_EQ(Both(work + "\\vanished.txt"), Queued());
}

TEST_F(Intake, LoggingOffKeepsTheDecisionsWithoutLines)
{
    SetGlobalDword("logging", 0);
    EXPECT_EQ(2, Change(work + "\\tmpfile.txt"));
    EXPECT_EQ(1, Change(work + "\\kept.txt"));
    EXPECT_EQ(Both(work + "\\kept.txt"), Queued());
    EXPECT_FALSE(FileExists(install + "\\backuplog.txt"));
}

}  // namespace
