// Walking, counting and clearing folders: what a folder transfer queues, on real files.
#include <gtest/gtest.h>

#include "store/layout.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"
#include "transfer/folder.h"

#include <set>
#include <string>
#include <vector>

namespace {

struct Queued {
    BYTE kind;
    std::string path;
    HANDLE abortEvent;
    HWND mainWindow;
    HWND progressWindow;
};

class FolderWalk : public ::testing::Test {
protected:
    void SetUp() override
    {
        owner_ = CreateTestOwner(10, 10, 200, 100);
        progress_ = CreateTestOwner(20, 20, 200, 100);
        queue_ = NewRequestQueue();
    }
    void TearDown() override
    {
        FreeRequestQueue(queue_);
        HANDLE event = reinterpret_cast<HANDLE>(GetWindowLongPtrA(progress_, GWLP_USERDATA));
        if (event)
            CloseHandle(event);
        DestroyWindow(progress_);
        DestroyWindow(owner_);
    }

    std::string Folder() const { return src_.path() + "\\"; }

    // a.txt b.txt c.txt sub\d.txt sub\e.txt
    void MakeThreeAndSub()
    {
        for (const char* name : {"a.txt", "b.txt", "c.txt"})
            ASSERT_TRUE(WriteFileBytes(src_ / name, name));
        MakeDirs(src_ / "sub");
        for (const char* name : {"sub\\d.txt", "sub\\e.txt"})
            ASSERT_TRUE(WriteFileBytes(src_ / name, name));
    }

    int Walk(int includeSubs)
    {
        folder_ = Folder();
        FolderTransfer block = {folder_.c_str(), owner_, progress_, includeSubs, NULL, NULL, queue_};
        return WalkFolder(&block, NULL);
    }

    std::vector<Queued> QueuedRequests() const
    {
        std::vector<Queued> out;
        for (TransferRequest* r = queue_->first; r; r = r->next)
            out.push_back({r->kind, r->path, r->abortEvent, r->mainWindow, r->progressWindow});
        return out;
    }

    TempDir src_{"tkwalk"};
    std::string folder_;
    HWND owner_ = NULL, progress_ = NULL;
    RequestQueue* queue_ = NULL;
};

// Every file is queued as a disk request directly followed by an FTP request.
std::vector<std::string> FilesInPairs(const std::vector<Queued>& q)
{
    std::vector<std::string> files;
    EXPECT_EQ(0u, q.size() % 2);
    for (size_t i = 0; i + 1 < q.size(); i += 2) {
        EXPECT_EQ(KIND_HD, q[i].kind) << i;
        EXPECT_EQ(KIND_FTP, q[i + 1].kind) << i;
        EXPECT_EQ(q[i].path, q[i + 1].path);
        files.push_back(q[i].path);
    }
    return files;
}

TEST_F(FolderWalk, QueuesDiskThenFtpPerFileWithTheSubfolderRule)
{
    MakeThreeAndSub();
    struct Case { int includeSubs; std::set<std::string> files; } cases[] = {
        {1, {src_ / "a.txt", src_ / "b.txt", src_ / "c.txt", src_ / "sub\\d.txt", src_ / "sub\\e.txt"}},
        {0, {src_ / "a.txt", src_ / "b.txt", src_ / "c.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.includeSubs);
        ClearRequests(queue_);
        ASSERT_EQ(1, Walk(c.includeSubs));
        std::vector<Queued> q = QueuedRequests();
        std::vector<std::string> files = FilesInPairs(q);
        EXPECT_EQ(c.files, std::set<std::string>(files.begin(), files.end()));
        EXPECT_EQ(c.files.size(), files.size());
        // The totals announced are the files the walk really queues.
        EXPECT_EQ(static_cast<int>(files.size()), CountFolderFiles(Folder().c_str(), c.includeSubs));

        HANDLE event = q.front().abortEvent;
        ASSERT_TRUE(event);
        EXPECT_EQ(event, reinterpret_cast<HANDLE>(GetWindowLongPtrA(progress_, GWLP_USERDATA)));
        EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
        for (const Queued& r : q) {
            EXPECT_EQ(event, r.abortEvent);
            EXPECT_EQ(owner_, r.mainWindow);
            EXPECT_EQ(progress_, r.progressWindow);
        }
        // The abort event is manual-reset: a stop stays seen by every request.
        SetEvent(event);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
        CloseHandle(event);
        SetWindowLongPtrA(progress_, GWLP_USERDATA, 0);
    }
}

TEST_F(FolderWalk, SubfolderFilesComeTogetherAtTheSubfoldersPlace)
{
    MakeThreeAndSub();
    MakeDirs(src_ / "sub\\deeper");
    ASSERT_TRUE(WriteFileBytes(src_ / "sub\\deeper\\f.txt", "f"));
    ASSERT_EQ(1, Walk(1));
    std::vector<std::string> files = FilesInPairs(QueuedRequests());
    ASSERT_EQ(6u, files.size());
    std::vector<size_t> inSub;
    for (size_t i = 0; i < files.size(); ++i)
        if (files[i].find("\\sub\\") != std::string::npos)
            inSub.push_back(i);
    ASSERT_EQ(3u, inSub.size());
    EXPECT_EQ(inSub.front() + 2, inSub.back());
    EXPECT_EQ(6, CountFolderFiles(Folder().c_str(), 1));
}

TEST_F(FolderWalk, NamesBeginningWithADotSkipOnlyFolders)
{
    MakeDirs(src_ / ".hidden");
    MakeDirs(src_ / ".git\\objects");
    ASSERT_TRUE(WriteFileBytes(src_ / ".hidden\\x.txt", "x"));
    ASSERT_TRUE(WriteFileBytes(src_ / ".git\\objects\\y", "y"));
    ASSERT_TRUE(WriteFileBytes(src_ / ".profile", "p"));
    ASSERT_TRUE(WriteFileBytes(src_ / "plain.txt", "q"));
    ASSERT_EQ(1, Walk(1));
    std::vector<std::string> files = FilesInPairs(QueuedRequests());
    EXPECT_EQ((std::set<std::string>{src_ / ".profile", src_ / "plain.txt"}),
              std::set<std::string>(files.begin(), files.end()));
    EXPECT_EQ(2, CountFolderFiles(Folder().c_str(), 1));
}

TEST_F(FolderWalk, EmptyAndMissingFolders)
{
    ASSERT_EQ(1, Walk(1));
    EXPECT_EQ(nullptr, queue_->first);
    EXPECT_EQ(0, GetWindowLongPtrA(progress_, GWLP_USERDATA));
    EXPECT_EQ(0, CountFolderFiles(Folder().c_str(), 1));

    std::string missing = src_ / "gone\\";
    FolderTransfer block = {missing.c_str(), owner_, progress_, 1, NULL, NULL, queue_};
    EXPECT_EQ(0, WalkFolder(&block, NULL));
    EXPECT_EQ(-1, CountFolderFiles(missing.c_str(), 1));
    EXPECT_EQ(-1, CountFolderFiles("", 1));
    EXPECT_EQ(nullptr, queue_->first);
    block.queue = NULL;
    EXPECT_EQ(0, WalkFolder(&block, NULL));
    EXPECT_EQ(0, WalkFolder(NULL, NULL));
}

TEST_F(FolderWalk, NamesThatWouldPassTheLengthOfAPathAreLeftOut)
{
    // 259 characters is the longest path; nothing may be queued cut short.
    std::string base = Folder();
    std::string fits(259 - base.size(), 'f');
    std::string tooLong(260 - base.size(), 'g');
    ASSERT_TRUE(WriteFileBytes(base + fits, "1"));
    if (!WriteFileBytes(base + tooLong, "2"))
        GTEST_SKIP() << "this file system refuses the long name";
    ASSERT_EQ(1, Walk(1));
    std::vector<std::string> files = FilesInPairs(QueuedRequests());
    EXPECT_EQ(std::vector<std::string>{base + fits}, files);
    EXPECT_EQ(1, CountFolderFiles(base.c_str(), 1));
}

class ClearFolder : public ::testing::Test {
protected:
    TempDir dir_{"tkclear"};
};

TEST_F(ClearFolder, DeletesEverythingInsideAndKeepsTheFolder)
{
    std::string target = dir_ / "target";
    MakeDirs(target + "\\one\\two");
    ASSERT_TRUE(WriteFileBytes(target + "\\a.txt", "a"));
    ASSERT_TRUE(WriteFileBytes(target + "\\one\\b.txt", "b"));
    ASSERT_TRUE(WriteFileBytes(target + "\\one\\two\\c.txt", "c"));
    ASSERT_EQ(1, DeleteFolderContents((target + "\\").c_str()));
    EXPECT_TRUE(DirExists(target));
    EXPECT_FALSE(FileExists(target + "\\a.txt"));
    EXPECT_FALSE(DirExists(target + "\\one"));
    EXPECT_EQ(0, DeleteFolderContents((dir_ / "missing").c_str()));
}

TEST_F(ClearFolder, RefusesPathsThatAreNotFull)
{
    // An empty or relative target must never reach the current folder.
    ASSERT_TRUE(WriteFileBytes(dir_ / "keep.txt", "k"));
    MakeDirs(dir_ / "rel");
    ASSERT_TRUE(WriteFileBytes(dir_ / "rel\\keep.txt", "k"));
    char old[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, old);
    SetCurrentDirectoryA(dir_.path().c_str());
    for (const char* path : {"", "rel", ".\\rel", "\\\\"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(0, DeleteFolderContents(path));
    }
    EXPECT_EQ(0, DeleteFolderContents(NULL));
    SetCurrentDirectoryA(old);
    EXPECT_TRUE(FileExists(dir_ / "keep.txt"));
    EXPECT_TRUE(FileExists(dir_ / "rel\\keep.txt"));
}

} // namespace
