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

#include <algorithm>
#include <commctrl.h>
#include <filesystem>
#include <thread>
#include <winternl.h>

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
    int ends[8];  // folders are made from the first below the drive or the share
    EXPECT_TRUE(FolderChainPrefixes("\\\\srv\\sh\\bk\\b.txt", ends, 8) == 2 && ends[0] == 8 &&
                ends[1] == 11);
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

class Transfer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey(), CreateItemKey(item.c_str()), OpenItemKey(item.c_str(), key, NULL),
            WSAStartup(0x101, &wsa);
        InitFtpClient({main.window(), start.batches, NULL, NULL, NULL, NULL});
    }
    void TearDown() override
    {
        for (HWND w : windows)
            IsWindow(w) ? Send(w, UM_TRANSFERSTOPPED) : void();
        SetEvent(start.shutdownEvent), PumpMessages(100), SetBackupClock(NULL), DeleteProductKey();
        ShutDownFtpClient(), InitFtpClient({});
    }
    // Disk targets ("": dst, "bk": a fresh one with an old a.txt), FTP targets ("x" does not
    // resolve); storage 0 clears.
    SeededIds Seed(std::vector<std::string> disks, std::vector<std::string> ftps = {},
                   BYTE storage = 1, BYTE ftpOn = 1, std::string on = "")
    {
        ItemSpec spec;
        for (std::string& d : disks) {
            if (d == "bk")
                RemoveTree(dst / "bk"), MakeDirs(dst / "bk"),
                    WriteFileBytes(dst / "bk\\a.txt", "old");
            spec.disks.push_back(DiskSpec{d.empty()   ? dst.path()
                                          : d == "bk" ? dst / "bk"
                                                      : d,
                                          storage});
        }
        for (const std::string& address : ftps)
            spec.ftps.push_back(FtpSpec()),
                spec.ftps.back().port = 1,
                spec.ftps.back().address = address == "x" ? "nonexistent.invalid" : address;
        spec.ftpOn = ftpOn, spec.deleteStored = storage == 0;
        return SeedItem(on.empty() ? item : on, spec);
    }
    int Copy(std::string path, DWORD id, HANDLE abortEvent = NULL, HWND window = NULL)
    {
        TransferRequest r = {NULL, NULL, window, abortEvent, KIND_HD, &path[0]};
        return CopyToDiskTarget(&r, &start, id, stored);
    }
    bool TempLeft()
    {
        return FindClose(FindFirstFileA((dst / "bk\\tk*.tmp").c_str(), &find)) != FALSE;
    }
    void Queue(const std::string& name, BYTE kind, HANDLE event = NULL,
               HANDLE work = NULL)  // of a file src\name holds
    {
        FileExists(src / name) || WriteFileBytes(src / name, name);
        QueueRequest(start.queue, work, (src / name).c_str(), kind, main.window(),
                     progress.window(), event);
    }
    void Run(BYTE mode)  // a folder worker ends by itself, the live one never
    {
        WorkerStart* copy = static_cast<WorkerStart*>(malloc(sizeof start));
        *copy = start, copy->mode = mode;
        if (mode == WORKER_FOLDER)  // it frees its queue and work event: the test takes new ones
            start.queue = NewRequestQueue(),
            start.workEvent = CreateEventA(NULL, FALSE, TRUE, NULL);
        HANDLE thread = CreateThread(
            NULL, 0, [](void* s) WINAPI -> DWORD { return TransferWorker(s), 0; }, copy, 0, NULL);
        EXPECT_TRUE(mode == WORKER_LIVE ||
                    PumpUntil([&] { return !WaitForSingleObject(thread, 0); }, 20000));
        PumpMessages(20), CloseHandle(thread);
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
    static bool Complete(HWND w, int ms = 2000)
    {
        return PumpUntil([&] { return WindowText(w) == "Folder Transfer Complete"; }, ms);
    }
    HWND Open()
    {
        return windows.push_back(CreateProgressWindow(main.window(), item.c_str())), windows.back();
    }
    int StartFolder(HWND w)
    {
        FolderTransfer block = {item.c_str(),  main.window(),       w,   1,
                                start.batches, start.shutdownEvent, NULL};
        return StartFolderTransfer(&block);
    }
    void
    MakeTree(const std::string& root)  // six files the walk takes, one in a dot folder it does not
    {
        for (const char* name : {"a", "b", "c", "sub\\d", "sub\\e", ".git\\x", ".profile"})
            MakeDirs(root + "\\sub"), MakeDirs(root + "\\.git"),
                WriteFileBytes(root + "\\" + name, name);
    }
    WSADATA wsa;
    WIN32_FIND_DATAA find;
    TempDir src{"src"}, dst{"dst"};
    std::string item = src.path() + "\\";
    char key[260], stored[260];
    Recorder main{[](HWND main, UINT msg, WPARAM half, LPARAM w,
                     LRESULT*) {  // answers stops as the main window does
        if (msg == UM_STOPTRANSFER)
            half == 1 ? StopFtpHalf((HWND)w) : StopDiskHalf(main, (HWND)w);
        return false;
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
    for (int i = 0; i < 2; ++i, Sleep(3 * DISK_STOP_POLL_MS))
        if (WriteFile(pipe, std::string(DISK_COPY_BLOCK, 'n').data(), DISK_COPY_BLOCK, &put,
                      NULL) &&
            event && i == 0)
            SetEvent(event);
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
        std::filesystem::resize_file(dst / "bk\\a.txt", size);
        for (HANDLE event : {abortEvent, start.shutdownEvent, HANDLE(NULL)}) {
            std::thread feeder(
                FeedPipe,
                CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_OUTBOUND, 0, 1, 4096, 4096, 0, NULL),
                event);
            EXPECT_TRUE(Copy(pipe, target, abortEvent) ==
                            (event ? ERR_SUCCESS : ERR_FILE_OPERATION) &&
                        !stored[0]);
            feeder.join(), ResetEvent(event);
        }
        EXPECT_EQ(size, std::filesystem::file_size(dst / "bk\\a.txt")) << int(type);
        EXPECT_TRUE((size > 3 || ReadFileBytes(dst / "bk\\a.txt") == "old") && !TempLeft());
    }
    WriteFileBytes(src / "a.txt", std::string(3 * DISK_COPY_BLOCK + 100, 'p')),
        WriteFileBytes(src / "big.bin", "");
    std::filesystem::resize_file(src / "big.bin", kBig);
    ASSERT_EQ(1, Copy(src / "a.txt", Seed({"bk"}).disks[0], NULL, progress.window()));
    std::vector<WPARAM> percents;
    for (const Recorded& m : (PumpMessages(50), progress.Seen(UM_DISKPERCENT)))
        percents.push_back(m.wParam);
    EXPECT_EQ((std::vector<WPARAM>{33, 66, 99, 100}), percents);
    DWORD id = Seed({"bk"}).disks[0];
    ResetEvent(abortEvent);
    std::thread copy([&] { Copy(src / "big.bin", id, abortEvent, progress.window()); });
    EXPECT_TRUE(PumpUntil([&] { return progress.Count(UM_DISKPERCENT) > 4; }, 10000));
    SetEvent(abortEvent), copy.join();
    EXPECT_TRUE(progress.Seen(UM_DISKPERCENT).at(4).wParam == 0 && !TempLeft());
}

// Failed targets are reported, finished copies recorded; an empty, relative or too long folder gets
// nothing.
TEST_F(Transfer, WorkerServesDiskTargetsInOrderWithReportsAndRecords)
{
    std::string deep = dst / std::string(200, 'd') + "\\" +
                       std::string(250 - dst.path().size() - 202, 'e'),
                k = key;
    SeededIds ids = (MakeDirs(deep), Seed({"", dst / "no", "x", "rel", deep}, {"x"}, 1, 0));
    SetItemRaw(key, ("Targets\\HD\\" + std::to_string(ids.disks[2])).c_str(), "hd_directory",
               REG_SZ, std::string(308, 'x').c_str(), 309);
    std::vector<std::string> reports, expected = {"12 " + k, "7 " + item, "7 rel\\w1.t", "12 " + k,
                                                  "12 " + k, "7 " + item, "7 rel\\w2.t", "12 " + k};
    Queue("w1.t", KIND_HD), Queue("w1.t", KIND_FTP), Queue("w2.t", KIND_HD),
        Queue("w2.t", KIND_FTP), DeleteFileA("\\w1.t");  // FTP off, with a target
    Run(WORKER_FOLDER);
    for (const Recorded& r : main.Seen(UM_REPORTERROR))
        reports.push_back(std::to_string(r.code) + " " + r.text);
    EXPECT_EQ(expected, reports);
    auto records = RestoreRecords(item, KIND_HD);
    EXPECT_TRUE(records.size() == 2 && records[1].first == src / "w2.t*" + dst / "w2.t" &&
                records[1].second == HD_RECORD_DATA);
    EXPECT_FALSE(FileExists("\\w1.t") || FileExists("rel\\w1.t") || FileExists(deep + "\\w1.t"));
    EXPECT_TRUE(progress.Texts(UM_DISKFILESTART).back() == src / "w2.t" && FilesDone() == 10);
    EXPECT_TRUE(main.Seen(UM_TRAYSTATE).front().wParam == TRAY_UPLOAD &&
                main.Seen(UM_TRAYSTATE).back().wParam == TRAY_IDLE);
    Queue("w3.t", KIND_HD), Queue("w3.t", KIND_HD), SetEvent(start.shutdownEvent);
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
    SetEvent(stop), Queue("a", KIND_HD, stop), Queue("c", KIND_HD),
        Queue("b", KIND_HD, stop);  // c: "Synchronize"
    Run(WORKER_LIVE);
    EXPECT_TRUE(stored("c") && Cleared(stop));
    EXPECT_TRUE(SetEvent(stop) && Cleared(stop));  // idle: nothing to stop
    Queue("d", KIND_HD, stop, start.workEvent);
    EXPECT_TRUE(
        stored("d") &&
        PumpUntil([&] { return main.Seen(UM_TRAYSTATE).back().wParam == TRAY_IDLE; }, 5000));
    Queue("e", KIND_HD, stop), SetEvent(stop);  // e queued, the waiting worker not woken for it
    EXPECT_TRUE(Cleared(stop));
    Queue("f", KIND_HD, stop, start.workEvent);
    EXPECT_TRUE(stored("f") && !FileExists(dst / "a") && !FileExists(dst / "b") &&
                !FileExists(dst / "e"));
}

TEST_F(Transfer, TheProgressWindowHalvesTheirStopsClosingAndCascade)
{
    HWND t = (Seed({""}, {"127.0.0.1"}), Open());
    EXPECT_TRUE(WindowText(t) == "Folder Transfer - " + item && On(t, IDC_PROGRESS_FTP_GROUP));
    Send(t, UM_DISKSETTOTAL, 70000), Send(t, UM_FTPSETTOTAL, 1);  // past 16 bits: the full total
    Send(t, UM_DISKFILESTART, 0, "C:\\a"), Send(t, UM_FTPFILESTART, 0, "C:\\b"),
        Send(t, UM_FTPFILESTART);
    PostMessageA(t, UM_DISKPERCENT, 40, 0), PostMessageA(t, UM_FTPPERCENT, 70, 0);
    Send(t, UM_FTPFILEDONE), Send(t, UM_SETCAPTION, 0, "Transferring x"), Send(t, UM_SETCAPTION);
    EXPECT_FALSE(Complete(t, 50) || On(t, IDC_PROGRESS_FTP_STOP) ||
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
    MessageBoxRecorder boxes;
    Send(t, WM_CLOSE);  // complete: closing asks nothing and stops nothing
    EXPECT_TRUE(!IsWindow(t) && boxes.boxes().empty() && !main.Count(UM_STOPTRANSFER) &&
                main.Seen(UM_TRAYSTATE).at(0).wParam == TRAY_IDLE);
    RECT owner, r;
    GetWindowRect(main.window(), &owner);
    auto at = [&](HWND w, int c) {
        return GetWindowRect(w, &r) && r.left == owner.left + 30 + 20 * c &&
               r.top == owner.top + 50 + 20 * c;
    };
    HWND v = (Seed({""}, {}, 1, 0), Open());  // FTP off: greyed and stopped from the start
    EXPECT_TRUE(On(v, IDC_PROGRESS_DISK_FILE) && !On(v, IDC_PROGRESS_FTP_FILE) &&
                !On(v, IDC_PROGRESS_FTP_STOP));
    EXPECT_TRUE(main.Count(UM_STOPTRANSFER) == 1 && main.Seen(UM_STOPTRANSFER)[0].wParam == 1);
    Send(v, WM_COMMAND, IDC_PROGRESS_DISK_STOP),
        Send(v, WM_COMMAND, IDC_PROGRESS_DISK_STOP);  // the second asks nothing
    EXPECT_TRUE(!On(v, IDC_PROGRESS_DISK_TOTALLABEL) &&
                main.Texts(UM_STATUSTEXT) ==
                    std::vector<std::string>{"Hard Drive/Network Transfer Stopped"});
    main.Clear();
    HWND w = (Seed({}, {"127.0.0.1"}), Open()), u = Open();
    EXPECT_TRUE(at(v, 1) && at(w, 2) && at(u, 3) && OpenProgressWindowCount() == 3);
    boxes.Answer(IDNO), boxes.Answer(IDYES), Send(w, WM_CLOSE);
    ASSERT_TRUE(IsWindow(w) && boxes.boxes().size() == 1 &&
                boxes.boxes()[0].type == (MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(
        "Stop Transfers?: Closing this window will stop all transfers.  Do you want to continue?",
        boxes.boxes()[0].caption + ": " + boxes.boxes()[0].text);
    Send(w, WM_CLOSE),
        PostMessageA(u, UM_TRANSFERSTOPPED, 0, 0);  // shutdown: no question; what runs still stops
    EXPECT_TRUE(
        PumpUntil([&] { return !IsWindow(u) && !IsWindow(w) && boxes.boxes().size() == 2; }, 2000));
    std::string stops;  // half and window of every stop request, disk (2) before FTP (1)
    for (const Recorded& s : main.Seen(UM_STOPTRANSFER))
        stops += std::to_string(s.wParam) + (s.lParam == (LPARAM)v   ? "v"
                                             : s.lParam == (LPARAM)w ? "w"
                                                                     : "u");
    EXPECT_EQ("2w1w2u1u", stops);
    Send(v, UM_TRANSFERSTOPPED);
    EXPECT_TRUE(OpenProgressWindowCount() == 0 && at(Open(), 1));
    DestroyWindow(windows.back());  // destroyed with its owner: counted out once too
}

// Every file once per target, depth first, one batch per FTP target; paths of 260 characters or
// more are logged.
TEST_F(Transfer, AFolderTransferQueuesEveryFileOfTheWalk)
{
    UseInstallDir(dst), MakeTree(src.path());
    std::string longest = item + std::string(259 - item.size(), 'f'), tooLong = longest + "g";
    WriteFileBytes(longest, "1"), WriteFileBytes(tooLong, "2"), Seed({""}, {"x", "127.0.0.1"}),
        CreateItemKey((src / "b").c_str());
    HWND w = Open();
    ASSERT_EQ(1, StartFolder(w));
    ASSERT_TRUE(PumpUntil(  // the worker counts the folder
        [&] {
            return Bar(w, IDC_PROGRESS_DISK_TOTAL, PBM_GETRANGE) == 7 &&
                   Bar(w, IDC_PROGRESS_FTP_TOTAL, PBM_GETRANGE) == 14;
        },
        20000));
    ASSERT_TRUE(PumpUntil(
        [&] { return Bar(w, IDC_PROGRESS_DISK_TOTAL) == 6 && start.batches->first; }, 20000));
    EXPECT_TRUE(ReadFileBytes(dst / "sub\\e") == "sub\\e" &&
                CountFolderFiles(item.c_str(), 0) == 5);
    EXPECT_NE(
        std::string::npos,
        ReadFileBytes(dst / "backuplog.txt").find("Skipped " + tooLong + ": the path is too long"));
    std::vector<std::string> files,
        taken = {"a", "c", "sub\\d", "sub\\e", ".profile", longest.substr(item.size())};
    for (FtpJob* f = start.batches->first->files; f; f = f->next)  // in queue order
        files.push_back(std::string(f->localPath).substr(item.size()));
    auto d = std::find(files.begin(), files.end(),
                       "sub\\d");  // a subfolder's files at its place in its parent
    EXPECT_TRUE(std::is_permutation(files.begin(), files.end(), taken.begin(), taken.end()) &&
                d + 1 < files.end() && d[1] == "sub\\e");
    EXPECT_TRUE(!start.batches->first->next &&
                main.Texts(UM_REPORTERROR).at(0) == "nonexistent.invalid");
}

// Totals count the targets of kinds switched on; clearing targets asks when one cannot be, never
// clears the item.
TEST_F(Transfer, FolderTransfersAnnounceTotalsOrAskBeforeClearing)
{
    MakeTree(src.path()), SetEvent(start.shutdownEvent);  // the workers drop their queues at once
    struct Total {
        int disks, ftps;
        BYTE ftpOn;
        int disk, ftp;
    } totals[] = {{2, 3, 1, 12, 18}, {1, 2, 0, 6, 0}};
    for (const Total& c : totals) {  // the worker counts, and sends them to the window
        Seed(std::vector<std::string>(c.disks), std::vector<std::string>(c.ftps, "127.0.0.1"), 1,
             c.ftpOn);
        progress.Clear();
        EXPECT_TRUE(StartFolder(progress.window()) == 1 &&
                    PumpUntil([&] { return progress.Count(UM_FTPSETTOTAL) == 1; }, 20000) &&
                    progress.Seen(UM_DISKSETTOTAL).at(0).wParam == WPARAM(c.disk) &&
                    progress.Seen(UM_FTPSETTOTAL).at(0).wParam == WPARAM(c.ftp));
        ResetProductKey();
    }
    HWND missing = (item = src / "not-there\\", Seed({""}), Open());
    EXPECT_EQ(1, StartFolder(missing));  // its totals are looked at last, when surely sent if ever
    WriteFileBytes(src / "sub\\precious", "p"), MakeDirs(dst / "sub"),
        WriteFileBytes(dst / "sub\\d", "d");
    item = src / "sub\\";  // an item whose folder holds one file
    struct Clear {
        std::string target;
        int answer, result;
    } clears[] = {{dst.path(), 0, 1},     {dst / "no", IDNO, 0},
                  {dst / "no", IDYES, 1}, {"sub", IDNO, 0},
                  {src.path(), IDNO, 0},  {item, IDNO, 0}};  // the last two hold the item
    for (const Clear& c : clears) {
        MessageBoxRecorder boxes;
        boxes.Answer(c.answer), Seed({c.target}, {}, 0);
        EXPECT_TRUE(
            StartFolder(Open()) == c.result &&
            (c.answer ? boxes.boxes().at(0).caption == "Continue?" : boxes.boxes().empty()));
        ResetProductKey();
    }
    EXPECT_TRUE(DirExists(dst.path()) && !DirExists(dst / "sub") && FileExists(item + "precious") &&
                FileExists(src / "a"));
    item = (MakeDirs(dst / "empty"), dst / "empty\\"), Seed({""});
    HWND w = Open();
    EXPECT_TRUE(StartFolder(w) == 1 && Complete(w) &&
                Bar(w, IDC_PROGRESS_DISK_TOTAL, PBM_GETRANGE) == 0);
    EXPECT_EQ(100, Bar(missing, IDC_PROGRESS_DISK_TOTAL, PBM_GETRANGE));  // as it was
}

// A stopped half stays stopped, also before its first batch or copy; its stop events go with the
// window and the worker.
TEST_F(Transfer, FolderStopsHoldBeforeTheFirstBatchOrCopy)
{
    TempDir other("src2"), second("dst2");
    HWND w = (MakeTree(src.path()), MakeTree(other.path()), Seed({""}, {"127.0.0.1"}), Open());
    HANDLE mine;  // a handle of the test's own on w's disk stop event
    DuplicateHandle(GetCurrentProcess(), ProgressWindowStops(w)->disk, GetCurrentProcess(), &mine,
                    0, FALSE, DUPLICATE_SAME_ACCESS);
    ASSERT_EQ(1, StartFolder(w));
    Send(w, WM_COMMAND,
         IDC_PROGRESS_FTP_STOP);  // the worker waits to show its first file: this comes first
    ASSERT_TRUE(PumpUntil([&] { return Bar(w, IDC_PROGRESS_DISK_TOTAL) == 6; }, 20000));
    EXPECT_EQ(NULL, start.batches->first);  // no FTP batch for the stopped half
    HWND v = (item = other.path() + "\\", Seed({second.path()}, {"127.0.0.1"}), Open());
    ASSERT_EQ(1, StartFolder(v));
    Send(v, WM_COMMAND,
         IDC_PROGRESS_DISK_STOP);  // likewise, before the worker reaches its second copy
    ASSERT_TRUE(PumpUntil([&] { return start.batches->first != NULL; }, 20000));
    EXPECT_TRUE(CountFileJobs(start.batches->first) == 6 && !FileExists(second / "a") &&
                !FileExists(second / "sub\\d"));
    ShutDownFtpClient(), Send(w, UM_TRANSFERSTOPPED);
    EXPECT_TRUE(PumpUntil(
        [&] {
            PUBLIC_OBJECT_BASIC_INFORMATION i = {};
            return !NtQueryObject(mine, ObjectBasicInformation, &i, sizeof i, NULL) &&
                   i.HandleCount == 1;
        },
        5000));
    EXPECT_GE(1, Bar(v, IDC_PROGRESS_DISK_TOTAL));  // no copy started after the stop
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
    std::sort(sent.begin(), sent.end()), std::sort(reports.begin(), reports.end());
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
