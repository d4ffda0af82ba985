// Disk copies, workers and folder transfers: the pure rules in a table, then real files, queues,
// registry and windows.
#include <gtest/gtest.h>

#include "common/messages.h"
#include "log/errors.h"
#include "resources/resource.h"
#include "store/store.h"
#include "tests/support/recorder.h"
#include "tests/support/seed.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"
#include "transfer/diskcopy.h"
#include "transfer/folder.h"
#include "transfer/ftp/ftp.h"
#include "transfer/worker.h"

#include <commctrl.h>
#include <filesystem>
#include <map>
#include <thread>

namespace {

TEST(DiskRules, TargetPathsFoldersBackupNamesAndPercentages)
{
    const std::string tooLong(255, 'x');
    struct Path {
        const char *path, *nameSource, *key, *folder, *expected;
    } paths[] = {
        // "": refused
        {"C:\\d\\s\\t\\b.txt", "C:\\d\\s\\t\\b.txt", "C:*d*", "D:\\bk\\", "D:\\bk\\s\\t\\b.txt"},
        {"C:\\d\\r.doc", "C:\\d\\r 1-2.doc", "C:*d*", "\\\\srv\\sh", "\\\\srv\\sh\\r 1-2.doc"},
        {"C:\\n\\todo.txt", "C:\\n\\todo 1-2.txt", "C:*n*todo.txt", "E:\\", "E:\\todo 1-2.txt"},
        {"C:\\d\\", "C:\\d\\", "C:*d*", "D:\\bk", ""},
        {"C:\\d\\a.txt", "C:\\d\\a.txt", "C:*d*", tooLong.c_str(), ""}};
    char out[260];
    for (const Path& c : paths)
        EXPECT_EQ(c.expected,
                  std::string(MakeDiskTargetPath(c.path, c.nameSource, c.key, c.folder, out, 260)
                                  ? out
                                  : ""));
    const char* folders[] = {"C:\\", "z:/bk", "\\\\srv\\sh", "",     "bk",
                             "\\bk", "C:",    "C:bk",        "\\\\", "\\\\\\x"};  // full ones first
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(i < 3, IsFullFolderPath(folders[i]) == 1) << folders[i];
    struct Name {
        const char *path, *expected;
    } names[] = {{"C:\\d\\report.doc", "C:\\d\\report 1-2 3.doc"},
                 {"C:\\d\\index.html", "C:\\d\\index.html 1-2 3"},
                 {"C:\\d\\x.tar.gz", "C:\\d\\x.tar 1-2 3.gz"},
                 {"C:\\a.b\\c", "C:\\a.b\\c 1-2 3"}};
    for (const Name& c : names)  // the stamp goes before a short extension of the file name
        EXPECT_TRUE(InsertBackupStamp(c.path, "1-2 3", out, 260) && std::string(c.expected) == out)
            << out;
    EXPECT_TRUE(!InsertBackupStamp("C:\\d\\report.doc", "1-2 3", out, 20) &&
                FormatBackupStamp("1/2", "3:4:5 ", out, 10) && std::string(out) == "1-2 3 4 5" &&
                !FormatBackupStamp("1/2", "3:4:5 ", out, 9));
    const ULONGLONG G4 = 1ull << 32;
    struct Percent {
        ULONGLONG done, size;
        int percent;
    } percents[] = {{1, 3, 33},         {5, 3, 100},          {65536, G4 + 100, 0},
                    {G4, G4 + 100, 99}, {3 * G4, 4 * G4, 75}, {~0ull / 2, ~0ull, 49}};
    for (const Percent& c : percents)
        EXPECT_EQ(c.percent, CopyPercent(c.done, c.size)) << c.done << " of " << c.size;
}

const ULONGLONG kBig = (1ull << 32) + 100;

// Sets the file's end without writing the bytes before it: the file system keeps a hole (the C
// runtime's resize writes zeros, 4 GiB of them).
void SetFileSize(const std::string& path, ULONGLONG size)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, 0, NULL);
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(size);
    EXPECT_TRUE(SetFilePointerEx(f, to, NULL, FILE_BEGIN) && SetEndOfFile(f)) << path;
    CloseHandle(f);
}

class Transfer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        UseInstallDir(install);
        SetGlobalDword("showerrors", 0);
        CreateItemKey(item.c_str());
        OpenItemKey(item.c_str(), key, NULL);
        WSAStartup(0x101, &wsa);
        InitFtpClient({main.window(), start.batches, NULL, NULL, NULL, NULL});
    }
    void TearDown() override
    {
        for (HWND w : windows)
            if (IsWindow(w))
                Send(w, UM_TRANSFERSTOPPED);
        SetEvent(start.shutdownEvent);
        PumpMessages(100);
        SetBackupClock(NULL);
        DeleteProductKey();
        ShutDownFtpClient();
        InitFtpClient({});
    }
    // Disk targets ("": dst; "bk": a fresh one holding an old a.txt and someone's own tk0000.tmp),
    // FTP targets on port 1 ("x" does not resolve); storage 0 clears the disk targets first.
    SeededIds Seed(std::vector<std::string> disks, std::vector<std::string> ftps = {},
                   BYTE storage = 1, BYTE ftpOn = 1, std::string on = "")
    {
        ItemSpec spec;
        for (std::string& d : disks) {
            if (d == "bk") {
                d = dst / "bk";
                RemoveTree(d);
                MakeDirs(d);
                WriteFileBytes(d + "\\a.txt", "old");
                WriteFileBytes(d + "\\tk0000.tmp", "mine");
            }
            spec.disks.push_back(DiskSpec{d.empty() ? dst.path() : d, storage});
        }
        for (const std::string& address : ftps) {
            FtpSpec f;
            f.port = 1;
            f.address = address == "x" ? "nonexistent.invalid" : address;
            spec.ftps.push_back(f);
        }
        spec.ftpOn = ftpOn;
        spec.deleteStored = storage == 0;
        return SeedItem(on.empty() ? item : on, spec);
    }
    int Copy(std::string path, DWORD id, HANDLE abortEvent = NULL, HWND window = NULL)
    {
        TransferRequest r = {NULL, NULL, window, abortEvent, KIND_HD, &path[0], 0};
        return CopyToDiskTarget(&r, &start, id, stored);
    }
    // A temporary copy left in the "bk" target, or someone's own tk0000.tmp touched.
    bool TempLeft()
    {
        int temps = 0;  // names only: the folder may hold a file of more than 4 GiB
        for (const auto& f : std::filesystem::directory_iterator(dst / "bk"))
            temps += f.path().filename().string().compare(0, 2, "tk") == 0;
        return temps != 1 || ReadFileBytes(dst / "bk\\tk0000.tmp") != "mine";
    }
    // Queues a request for src\name, made when missing.
    void Queue(const std::string& name, BYTE kind, HANDLE event = NULL, HANDLE work = NULL)
    {
        if (!FileExists(src / name))
            WriteFileBytes(src / name, name);
        QueueRequest(start.queue, work, (src / name).c_str(), kind, main.window(),
                     progress.window(), event);
    }
    void Run(BYTE mode)  // a folder worker ends by itself, the live one never
    {
        WorkerStart* copy = static_cast<WorkerStart*>(malloc(sizeof start));
        *copy = start;
        copy->mode = mode;
        if (mode == WORKER_FOLDER) {  // it frees its queue and work event: the test takes new ones
            start.queue = NewRequestQueue();
            start.workEvent = CreateEventA(NULL, FALSE, TRUE, NULL);
        }
        auto worker = [](void* s) WINAPI -> DWORD {
            TransferWorker(s);
            return 0;
        };
        HANDLE thread = CreateThread(NULL, 0, worker, copy, 0, NULL);
        EXPECT_TRUE(mode == WORKER_LIVE ||
                    PumpUntil([&] { return !WaitForSingleObject(thread, 0); }, 20000));
        PumpMessages(20);
        CloseHandle(thread);
    }
    static bool Cleared(HANDLE event)
    {
        return PumpUntil([&] { return WaitForSingleObject(event, 0) == WAIT_TIMEOUT; }, 5000);
    }
    static void Send(HWND w, UINT msg, WPARAM wp = 0, const char* text = NULL)
    {
        SendMessageA(w, msg, wp, (LPARAM)text);
    }
    static int Bar(HWND w, int id, UINT msg = PBM_GETPOS)
    {
        return (int)SendDlgItemMessageA(w, id, msg, FALSE, 0);
    }
    static bool On(HWND w, int id) { return IsWindowEnabled(GetDlgItem(w, id)) != FALSE; }
    WPARAM FilesDone()  // a worker tells of several copies at once
    {
        WPARAM n = 0;
        for (const Recorded& m : progress.Seen(UM_DISKFILEDONE))
            n += m.wParam ? m.wParam : 1;
        return n;
    }
    static bool Complete(HWND w, int ms = 30000)
    {
        return PumpUntil([&] { return WindowText(w) == "Folder Transfer Complete"; }, ms);
    }
    HWND Open()
    {
        windows.push_back(CreateProgressWindow(main.window(), item.c_str()));
        return windows.back();
    }
    int StartFolder(HWND w)
    {
        FolderTransfer block = {item.c_str(),  main.window(),       w,   1,
                                start.batches, start.shutdownEvent, NULL};
        return StartFolderTransfer(&block);
    }
    // Six files the walk takes, one in a dot folder it does not.
    void MakeTree(const std::string& root)
    {
        MakeDirs(root + "\\sub");
        MakeDirs(root + "\\.git");
        for (const char* name : {"a", "b", "c", "sub\\d", "sub\\e", ".git\\x", ".profile"})
            WriteFileBytes(root + "\\" + name, name);
    }
    WSADATA wsa;
    TempDir src{"src"}, dst{"dst"}, install{"inst"};
    std::string item = src.path() + "\\";
    char key[260], stored[260];
    MessageBoxRecorder boxes;  // a box is answered, never left on the screen
    bool ftpLive = false;      // the main window hands socket messages to the FTP client
    // Stands in for the main window: answers stops as it does.
    Recorder main{[this](HWND wnd, UINT msg, WPARAM half, LPARAM lp, LRESULT* result) {
        if (msg == UM_STOPTRANSFER && half == 1)
            StopFtpHalf(reinterpret_cast<HWND>(lp));
        if (msg == UM_STOPTRANSFER && half == 2)
            StopDiskHalf(wnd, reinterpret_cast<HWND>(lp));
        return ftpLive && (*result = OnFtpClientMessage(msg, half, lp)) != FALSE;
    }};
    Recorder progress;
    std::vector<HWND> windows;
    WorkerStart start = {CreateEventA(NULL, TRUE, FALSE, NULL),
                         CreateEventA(NULL, FALSE, TRUE, NULL),
                         CreateEventA(NULL, TRUE, FALSE, NULL),
                         NewRequestQueue(),
                         NewBatchList(),
                         main.window(),
                         WORKER_FOLDER};
};

TEST_F(Transfer, StorageTypesAndSources)
{
    struct Case {
        BYTE type;
        const char *storedName, *storedData;
    } cases[] = {{STORAGE_SYNC, "a.txt", "new"},
                 {STORAGE_BACKUP, "a 12-5-2026 4 12 24.txt", "new"},
                 {STORAGE_APPEND, "a.txt", "oldnew"},
                 {7, "a.txt", "new"}};  // 7: never a page's
    WriteFileBytes(src / "a.txt", "new");
    SetBackupClock([](SYSTEMTIME* t) { *t = SYSTEMTIME{2026, 12, 6, 5, 16, 12, 24, 0}; });
    for (const Case& c : cases) {
        ASSERT_EQ(1, Copy(src / "a.txt", Seed({"bk"}, {}, c.type).disks[0])) << int(c.type);
        EXPECT_TRUE(dst / "bk\\" + c.storedName == stored &&
                    ReadFileBytes(stored) == c.storedData && !TempLeft());
        EXPECT_TRUE(c.type != STORAGE_BACKUP || ReadFileBytes(dst / "bk\\a.txt") == "old");
    }
    DWORD missing = Seed({dst / "no"}).disks[0];  // only subfolders are made
    EXPECT_TRUE(Copy(src / "a.txt", missing) == ERR_DEST_OPEN && !DirExists(dst / "no"));
    EXPECT_TRUE(Copy(src / "gone.txt", missing) == 1 && Copy(item, missing) == 1 &&
                !stored[0]);  // a folder has no bytes
    HANDLE lock =
        CreateFileA((src / "a.txt").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(ERR_SOURCE_OPEN, Copy(src / "a.txt", Seed({""}).disks[0]));
    CloseHandle(lock);
    EXPECT_EQ(ERR_DEST_OPEN,
              Copy(src / "a.txt", Seed({src.path()}, {}, STORAGE_APPEND).disks[0]));  // onto itself
    EXPECT_EQ("new", ReadFileBytes(src / "a.txt"));
}

// A source that breaks off: two blocks through a pipe, the event (if any) set after the first.
void FeedPipe(HANDLE pipe, HANDLE event)
{
    DWORD put = ConnectNamedPipe(pipe, NULL);
    for (int i = 0; i < 2; ++i) {
        bool sent =
            WriteFile(pipe, std::string(DISK_COPY_BLOCK, 'n').data(), DISK_COPY_BLOCK, &put, NULL);
        if (sent && event && i == 0)
            SetEvent(event);
        Sleep(3 * DISK_STOP_POLL_MS);
    }
    CloseHandle(pipe);
}

// A stop, a shutdown or a failed read leaves the stored copy as it was (an append is cut back, past
// 4 GiB too); the percentage is posted when it changes: a source of 4 GiB + 100 bytes starts at 0%,
// not at 100%.
TEST_F(Transfer, UnfinishedCopiesAndProgressPastFourGibibytes)
{
    const std::string pipe = "\\\\.\\pipe\\a.txt";
    HANDLE abortEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    for (BYTE type : {STORAGE_SYNC, STORAGE_APPEND}) {
        DWORD target = Seed({"bk"}, {}, type, 1, "\\\\.\\pipe\\").disks[0];
        ULONGLONG size = type == STORAGE_APPEND ? kBig : 3;
        SetFileSize(dst / "bk\\a.txt", size);
        for (HANDLE event : {abortEvent, start.shutdownEvent, HANDLE(NULL)}) {
            std::thread feeder(
                FeedPipe,
                CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_OUTBOUND, 0, 1, 4096, 4096, 0, NULL),
                event);
            EXPECT_TRUE(Copy(pipe, target, abortEvent) ==
                            (event ? ERR_SUCCESS : ERR_FILE_OPERATION) &&
                        !stored[0]);
            feeder.join();
            ResetEvent(event);
        }
        EXPECT_EQ(size, std::filesystem::file_size(dst / "bk\\a.txt")) << int(type);
        EXPECT_TRUE((size > 3 || ReadFileBytes(dst / "bk\\a.txt") == "old") && !TempLeft());
    }
    WriteFileBytes(src / "a.txt", std::string(3 * DISK_COPY_BLOCK + 100, 'p'));
    WriteFileBytes(src / "big.bin", "");
    SetFileSize(src / "big.bin", kBig);
    ASSERT_EQ(1, Copy(src / "a.txt", Seed({"bk"}).disks[0], NULL, progress.window()));
    PumpMessages(50);
    std::vector<WPARAM> percents;
    for (const Recorded& m : progress.Seen(UM_DISKPERCENT))
        percents.push_back(m.wParam);
    EXPECT_EQ((std::vector<WPARAM>{33, 66, 99, 100}), percents);
    DWORD id = Seed({"bk"}).disks[0];
    ResetEvent(abortEvent);
    std::thread copy([&] { Copy(src / "big.bin", id, abortEvent, progress.window()); });
    EXPECT_TRUE(PumpUntil([&] { return progress.Count(UM_DISKPERCENT) > 4; }, 10000));
    SetEvent(abortEvent);
    copy.join();
    EXPECT_TRUE(progress.Seen(UM_DISKPERCENT).at(4).wParam == 0 && !TempLeft());
}

// Failed targets are reported, finished copies recorded; an empty, relative or too long folder gets
// nothing. A batch carries the files of its own item only, and an item with FTP off gets none.
TEST_F(Transfer, WorkerServesDiskTargetsInOrderWithReportsAndRecords)
{
    std::string deep =
        dst / std::string(200, 'd') + "\\" + std::string(250 - dst.path().size() - 202, 'e');
    MakeDirs(deep);
    SeededIds ids = Seed({"", dst / "no", "x", "rel", deep}, {"x"}, 1, 0);
    SetItemRaw(key, ("Targets\\HD\\" + std::to_string(ids.disks[2])).c_str(), "hd_directory",
               REG_SZ, std::string(308, 'x').c_str(), 309);
    TempDir other("other");  // an item of its own, with FTP on
    Seed({}, {"127.0.0.1"}, 1, 1, other.path() + "\\");
    WriteFileBytes(other / "o.t", "o");
    Queue("w1.t", KIND_HD);
    Queue("w1.t", KIND_FTP);
    QueueRequest(start.queue, NULL, (other / "o.t").c_str(), KIND_FTP, main.window(),
                 progress.window(), NULL);
    Queue("w2.t", KIND_HD);
    Queue("w2.t", KIND_FTP);
    DeleteFileA("\\w1.t");
    Run(WORKER_FOLDER);
    std::vector<std::string> reports;
    for (const Recorded& r : main.Seen(UM_REPORTERROR))
        reports.push_back(std::to_string(r.code) + " " + r.text);
    std::string unopened = std::to_string(ERR_DEST_OPEN) + " " + key;
    std::string failed = std::to_string(ERR_FILE_OPERATION) + " ";
    EXPECT_EQ((std::vector<std::string>{unopened, failed + item, failed + "rel\\w1.t", unopened,
                                        unopened, failed + item, failed + "rel\\w2.t", unopened}),
              reports);
    auto records = RestoreRecords(item, KIND_HD);
    EXPECT_TRUE(records.size() == 2 && records[1].first == src / "w2.t*" + dst / "w2.t" &&
                records[1].second == HD_RECORD_DATA);
    EXPECT_FALSE(FileExists("\\w1.t") || FileExists("rel\\w1.t") || FileExists(deep + "\\w1.t"));
    EXPECT_TRUE(progress.Texts(UM_DISKFILESTART).back() == src / "w2.t" && FilesDone() == 10);
    EXPECT_TRUE(main.Seen(UM_TRAYSTATE).front().wParam == TRAY_UPLOAD &&
                main.Seen(UM_TRAYSTATE).back().wParam == TRAY_IDLE);
    ASSERT_NE(nullptr, start.batches->first);  // the other item's, waiting for its server
    EXPECT_TRUE(!start.batches->first->next && CountFileJobs(start.batches->first) == 1);
    Queue("w3.t", KIND_HD);
    Queue("w3.t", KIND_HD);
    SetEvent(start.shutdownEvent);
    Run(WORKER_FOLDER);
    EXPECT_TRUE(progress.Count(UM_TRANSFERSTOPPED) == 1 && !FileExists(dst / "w3.t"));
}

// Stop All drops the live copies queued before it, also those the worker did not wake for yet;
// idle, it stops nothing.
TEST_F(Transfer, StopAllTransfersDropsTheCopiesQueuedBeforeIt)
{
    Seed({""});
    HANDLE stop = start.liveStopEvent;
    auto stored = [&](const char* name) {
        return PumpUntil([&] { return FileExists(dst / name); }, 20000);
    };
    auto idle = [&] {  // the worker has served everything queued
        return PumpUntil(
            [&] {
                auto tray = main.Seen(UM_TRAYSTATE);
                return !tray.empty() && tray.back().wParam == TRAY_IDLE;
            },
            5000);
    };
    SetEvent(stop);
    Queue("a", KIND_HD, stop);
    Queue("c", KIND_HD);  // "Synchronize"
    Queue("b", KIND_HD, stop);
    Run(WORKER_LIVE);
    EXPECT_TRUE(stored("c") && idle() && Cleared(stop));
    EXPECT_TRUE(SetEvent(stop) && Cleared(stop));  // idle: nothing to stop
    Queue("d", KIND_HD, stop, start.workEvent);
    EXPECT_TRUE(stored("d") && idle());
    Queue("e", KIND_HD, stop);  // queued, the waiting worker not woken for it
    SetEvent(stop);
    EXPECT_TRUE(Cleared(stop));
    Queue("f", KIND_HD, stop, start.workEvent);
    EXPECT_TRUE(stored("f") && !FileExists(dst / "a") && !FileExists(dst / "b") &&
                !FileExists(dst / "e"));
}

TEST_F(Transfer, TheProgressWindowHalvesTheirStopsClosingAndCascade)
{
    Seed({""}, {"127.0.0.1"});
    HWND t = Open();
    EXPECT_TRUE(WindowText(t) == "Folder Transfer - " + item && On(t, IDC_PROGRESS_FTP_GROUP));
    Send(t, UM_DISKSETTOTAL, 70000);  // past 16 bits: the full total
    Send(t, UM_FTPSETTOTAL, 1);
    Send(t, UM_DISKFILESTART, 0, "C:\\a");
    Send(t, UM_FTPFILESTART, 0, "C:\\b");
    Send(t, UM_FTPFILESTART);
    Send(t, UM_DISKPERCENT, 40);
    Send(t, UM_FTPPERCENT, 70);
    Send(t, UM_FTPFILEDONE);
    Send(t, UM_SETCAPTION, 0, "Transferring x");
    Send(t, UM_SETCAPTION);
    Send(t, UM_CHECKDONE);  // after the checks the steps posted: the FTP half alone is done
    EXPECT_FALSE(On(t, IDC_PROGRESS_FTP_STOP) ||
                 Bar(t, IDC_PROGRESS_DISK_TOTAL, PBM_GETRANGE) != 70000);
    EXPECT_EQ("C:\\a C:\\b Transferring x 40 70",
              DlgItemText(t, IDC_PROGRESS_DISK_FILE) + " " + DlgItemText(t, IDC_PROGRESS_FTP_FILE) +
                  " " + WindowText(t) + " " + std::to_string(Bar(t, IDC_PROGRESS_DISK_BAR)) + " " +
                  std::to_string(Bar(t, IDC_PROGRESS_FTP_BAR)));
    Send(t, UM_DISKSETTOTAL, 2);
    for (int i = 0; i < 3; ++i)  // one more than the total
        Send(t, UM_DISKFILEDONE);
    EXPECT_TRUE(Bar(t, IDC_PROGRESS_DISK_TOTAL) == 2 && Complete(t) &&
                !On(t, IDC_PROGRESS_DISK_STOP));
    Send(t, WM_CLOSE);  // complete: closing asks nothing and stops nothing
    EXPECT_TRUE(!IsWindow(t) && boxes.boxes().empty() && !main.Count(UM_STOPTRANSFER) &&
                main.Seen(UM_TRAYSTATE).at(0).wParam == TRAY_IDLE);
    DeleteItemKey(item.c_str());
    Seed({""}, {}, 1, 0);
    HWND v = Open();  // FTP off: greyed and stopped from the start
    EXPECT_TRUE(On(v, IDC_PROGRESS_DISK_FILE) && !On(v, IDC_PROGRESS_FTP_FILE) &&
                !On(v, IDC_PROGRESS_FTP_STOP));
    EXPECT_TRUE(main.Count(UM_STOPTRANSFER) == 1 && main.Seen(UM_STOPTRANSFER)[0].wParam == 1);
    Send(v, WM_COMMAND, IDC_PROGRESS_DISK_STOP);
    Send(v, WM_COMMAND, IDC_PROGRESS_DISK_STOP);  // the second asks nothing
    EXPECT_TRUE(!On(v, IDC_PROGRESS_DISK_TOTALLABEL) &&
                main.Texts(UM_STATUSTEXT) ==
                    std::vector<std::string>{"Hard Drive/Network Transfer Stopped"});
    main.Clear();
    DeleteItemKey(item.c_str());
    Seed({}, {"127.0.0.1"});
    HWND w = Open();
    HWND u = Open();
    RECT first, r;
    GetWindowRect(v, &first);
    auto cascaded = [&](HWND h, int n) {  // n places below and right of the first window
        return GetWindowRect(h, &r) && r.left - first.left == 20 * n && r.top - first.top == 20 * n;
    };
    EXPECT_TRUE(cascaded(w, 1) && cascaded(u, 2) && OpenProgressWindowCount() == 3);
    boxes.Answer(IDNO);
    boxes.Answer(IDYES);
    Send(w, WM_CLOSE);
    ASSERT_TRUE(IsWindow(w) && boxes.boxes().size() == 1 &&
                boxes.boxes()[0].type == (MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(
        "Stop Transfers?: Closing this window will stop all transfers.  Do you want to continue?",
        boxes.boxes()[0].caption + ": " + boxes.boxes()[0].text);
    Send(w, WM_CLOSE);
    PostMessageA(u, UM_TRANSFERSTOPPED, 0, 0);  // shutdown: no question; what runs still stops
    EXPECT_TRUE(
        PumpUntil([&] { return !IsWindow(u) && !IsWindow(w) && boxes.boxes().size() == 2; }, 2000));
    std::string stops;  // half and window of every stop request, disk (2) before FTP (1)
    for (const Recorded& s : main.Seen(UM_STOPTRANSFER))
        stops += std::to_string(s.wParam) + (s.lParam == (LPARAM)w ? "w" : "u");
    EXPECT_EQ("2w1w2u1u", stops);
    Send(v, UM_TRANSFERSTOPPED);
    EXPECT_EQ(0, OpenProgressWindowCount());
    v = Open();  // the first place again
    EXPECT_TRUE(cascaded(v, 0));
    DestroyWindow(v);  // destroyed with its owner: counted out once too
    EXPECT_EQ(0, OpenProgressWindowCount());
}

// Every file of the walk reaches every disk target, and the window says the transfer is complete,
// also when an FTP target cannot start and a file is an item of its own (which the transfer leaves
// to that item); paths of 260 characters or more are logged.
TEST_F(Transfer, AFolderTransferQueuesEveryFileOfTheWalk)
{
    MakeTree(src.path());
    std::string longest = item + std::string(259 - item.size(), 'f');
    std::string tooLong = longest + "g";
    WriteFileBytes(longest, "1");
    WriteFileBytes(tooLong, "2");
    Seed({""}, {"x", "127.0.0.1"});
    CreateItemKey((src / "b").c_str());
    ftpLive = true;
    HWND w = Open();
    ASSERT_EQ(1, StartFolder(w));
    EXPECT_TRUE(Complete(w)) << Bar(w, IDC_PROGRESS_DISK_TOTAL) << " of "
                             << Bar(w, IDC_PROGRESS_DISK_TOTAL, PBM_GETRANGE) << ", "
                             << Bar(w, IDC_PROGRESS_FTP_TOTAL) << " of "
                             << Bar(w, IDC_PROGRESS_FTP_TOTAL, PBM_GETRANGE);
    std::map<std::string, std::string> copied = {{"a", "a"},
                                                 {"c", "c"},
                                                 {"sub\\d", "sub\\d"},
                                                 {"sub\\e", "sub\\e"},
                                                 {".profile", ".profile"}};
    copied[longest.substr(item.size())] = "1";
    EXPECT_EQ(copied, ReadTree(dst.path()));
    EXPECT_EQ(5, CountFolderFiles(item.c_str(), 0));  // subfolders left out: a b c .profile f...f
    EXPECT_NE(std::string::npos, ReadFileBytes(install / "backuplog.txt")
                                     .find("Skipped " + tooLong + ": the path is too long"));
    EXPECT_EQ("nonexistent.invalid", main.Texts(UM_REPORTERROR).at(0));
}

// Totals count the targets of kinds switched on; the disk targets are cleared only when the item
// asks for it, with a question when one cannot be, and never when it holds the item.
TEST_F(Transfer, FolderTransfersAnnounceTotalsOrAskBeforeClearing)
{
    MakeTree(src.path());
    SetEvent(start.shutdownEvent);  // the workers drop their queues at once
    WriteFileBytes(dst / "stored.txt", "kept");
    struct Total {
        int disks, ftps;
        BYTE ftpOn;
        int disk, ftp;
    } totals[] = {{2, 3, 1, 12, 18}, {1, 2, 0, 6, 0}};
    for (const Total& c : totals) {  // the worker counts, and sends them to the window
        Seed(std::vector<std::string>(c.disks), std::vector<std::string>(c.ftps, "127.0.0.1"), 1,
             c.ftpOn);
        progress.Clear();
        EXPECT_EQ(1, StartFolder(progress.window()));
        ASSERT_TRUE(PumpUntil([&] { return progress.Count(UM_FTPSETTOTAL) == 1; }, 20000));
        EXPECT_EQ(WPARAM(c.disk), progress.Seen(UM_DISKSETTOTAL).at(0).wParam);
        EXPECT_EQ(WPARAM(c.ftp), progress.Seen(UM_FTPSETTOTAL).at(0).wParam);
        DeleteItemKey(item.c_str());
    }
    EXPECT_EQ("kept", ReadFileBytes(dst / "stored.txt"));  // "delete stored files" was off
    item = src / "not-there\\";
    Seed({""});
    HWND missing = Open();
    EXPECT_EQ(1, StartFolder(missing));  // its totals are looked at last, when surely sent if ever
    WriteFileBytes(src / "sub\\precious", "p");
    MakeDirs(dst / "sub");
    WriteFileBytes(dst / "sub\\d", "d");
    item = src / "sub\\";  // an item whose folder holds one file
    struct Clear {
        std::string target;
        int answer, result;
    } clears[] = {{dst.path(), 0, 1},     {dst / "no", IDNO, 0},
                  {dst / "no", IDYES, 1}, {"sub", IDNO, 0},
                  {src.path(), IDNO, 0},  {item, IDNO, 0}};  // the last two hold the item
    for (const Clear& c : clears) {
        boxes.Clear();
        if (c.answer)
            boxes.Answer(c.answer);
        Seed({c.target}, {}, 0);
        EXPECT_EQ(c.result, StartFolder(Open())) << c.target;
        EXPECT_EQ(c.answer ? 1u : 0u, boxes.boxes().size()) << c.target;
        EXPECT_TRUE(boxes.boxes().empty() || boxes.boxes()[0].caption == "Continue?");
        DeleteItemKey(item.c_str());
    }
    EXPECT_TRUE(DirExists(dst.path()) && !DirExists(dst / "sub") && FileExists(item + "precious") &&
                FileExists(src / "a"));
    MakeDirs(dst / "empty");
    item = dst / "empty\\";
    Seed({""});
    HWND w = Open();
    EXPECT_TRUE(StartFolder(w) == 1 && Complete(w, 2000) &&
                Bar(w, IDC_PROGRESS_DISK_TOTAL, PBM_GETRANGE) == 0);
    EXPECT_EQ(100, Bar(missing, IDC_PROGRESS_DISK_TOTAL, PBM_GETRANGE));  // as it was
}

// A stopped half stays stopped, also before its first batch or copy.
TEST_F(Transfer, FolderStopsHoldBeforeTheFirstBatchOrCopy)
{
    TempDir other("src2"), second("dst2");
    MakeTree(src.path());
    MakeTree(other.path());
    Seed({""}, {"127.0.0.1"});
    HWND w = Open();
    ASSERT_EQ(1, StartFolder(w));
    // The worker waits to show its first file: this comes first.
    Send(w, WM_COMMAND, IDC_PROGRESS_FTP_STOP);
    ASSERT_TRUE(PumpUntil([&] { return Bar(w, IDC_PROGRESS_DISK_TOTAL) == 6; }, 20000));
    EXPECT_EQ(NULL, start.batches->first);  // no FTP batch for the stopped half
    item = other.path() + "\\";
    Seed({second.path()}, {"127.0.0.1"});
    HWND v = Open();
    ASSERT_EQ(1, StartFolder(v));
    Send(v, WM_COMMAND, IDC_PROGRESS_DISK_STOP);  // likewise, before its second copy
    ASSERT_TRUE(PumpUntil([&] { return start.batches->first != NULL; }, 20000));
    EXPECT_EQ(6, CountFileJobs(start.batches->first));
    EXPECT_TRUE(ReadTree(second.path()).empty());  // the stopped half copied nothing
}

// Names outside the code page (1252 here; Wine's ANSI listing gives "Łódź" as "Lódz", another
// file's name) are reported and count as done on both halves, nothing stored under a wrong name. A
// file over the size limit (KB; one of exactly the limit is not over) goes to FTP targets only.
TEST_F(Transfer, AFolderTransferReportsNamesOutsideTheCodePageAndKeepsTheSizeLimit)
{
    TempDir logs("logs");
    UseInstallDir(logs);
    wchar_t folder[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, item.c_str(), -1, folder, MAX_PATH);
    std::vector<std::wstring> odd = {L"\u62a5\u544a.txt", L"\u0141\u00f3d\u017a.txt"};
    for (const std::wstring& name : odd)
        CloseHandle(
            CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    WriteFileBytes(src / "L\363dz.txt", "lodz");
    WriteFileBytes(src / "limit", std::string(1024, 'l'));
    WriteFileBytes(src / "over", std::string(1025, 'o'));
    SOCKET quiet = socket(AF_INET, SOCK_STREAM, 0);  // takes the connection, never answers
    sockaddr_in at = {};
    int length = sizeof at;
    at.sin_family = AF_INET, at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(quiet, (sockaddr*)&at, length);
    listen(quiet, 1);
    getsockname(quiet, (sockaddr*)&at, &length);
    ItemSpec spec;
    spec.disks = {DiskSpec{dst.path()}}, spec.ftps = {FtpSpec()}, spec.sizeLimit = 1;
    spec.ftps[0].port = ntohs(at.sin_port);
    SeedItem(item, spec);
    HWND w = Open();
    ASSERT_EQ(1, StartFolder(w));
    ASSERT_TRUE(PumpUntil(  // every file done on disk, the reported ones on FTP too
        [&] {
            return Bar(w, IDC_PROGRESS_DISK_TOTAL) == 5 && Bar(w, IDC_PROGRESS_FTP_TOTAL) == 2 &&
                   start.batches->first;
        },
        20000));
    std::string stored;  // name and size of each stored copy
    for (const auto& file : ReadTree(dst.path()))
        stored += file.first + " " + std::to_string(file.second.size()) + ", ";
    EXPECT_EQ("L\363dz.txt 4, limit 1024, ", stored);
    std::vector<std::string> sent, reports;
    for (FtpJob* f = start.batches->first->files; f; f = f->next)
        sent.push_back(std::string(f->localPath).substr(item.size()));
    for (const Recorded& r : main.Seen(UM_REPORTERROR))
        reports.push_back(std::to_string(r.code) + " " + r.text);
    std::sort(sent.begin(), sent.end());
    std::sort(reports.begin(), reports.end());
    EXPECT_EQ((std::vector<std::string>{"L\363dz.txt", "limit", "over"}), sent);
    EXPECT_EQ((std::vector<std::string>{"13 " + item + "??.txt", "13 " + item + "?\363d?.txt"}),
              reports);
    EXPECT_EQ(1, CountOf(ReadFileBytes(logs / "backuplog.txt"),
                         "Not copied to disk/network targets: " + src / "over" +
                             " is larger than the file size limit of 1 KB\r\n"));
    closesocket(quiet);
    for (const std::wstring& name : odd)
        DeleteFileW((folder + name).c_str());
}

}  // namespace
