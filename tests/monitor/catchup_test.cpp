// The catch-up at start on real folders: the first look records, later looks find exactly what
// changed since it was stored, and the thread queues it as live changes.
#include <gtest/gtest.h>

#include <process.h>

#include <algorithm>
#include <map>

#include "monitor/catchup.h"
#include "tests/support/seed.h"
#include "tests/support/testenv.h"

namespace {

struct CatchUp : ::testing::Test {
    void SetUp() override { ResetProductKey(); }
    void TearDown() override { DeleteProductKey(); }
    TempDir dir;
    std::string Name(const std::string& path) const { return path.substr(dir.path().size() + 1); }

    // "name:kinds" of every change a whole scan finds, sorted.
    std::string Scan(StoredState* state, CatchUpSizeFilter filter = NULL)
    {
        CatchUpScan* scan = BeginCatchUp(state, CatchUpOptions{NULL, filter});
        std::vector<CatchUpChange> changes;
        while (ContinueCatchUp(scan, 2, &changes))
            continue;
        EndCatchUp(scan);
        std::vector<std::string> names;
        for (const CatchUpChange& c : changes)
            names.push_back(Name(c.path) + ":" + (c.kinds & (1 << KIND_HD) ? "D" : "") +
                            (c.kinds & (1 << KIND_FTP) ? "F" : ""));
        return SortedText(names);
    }
};

// Writes a file and sets its last-write time (seconds from an arbitrary start).
void Put(const std::string& path, const std::string& data, DWORD seconds)
{
    MakeDirs(path.substr(0, path.rfind('\\')));
    WriteFileBytes(path, data);
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ULONGLONG t = 130000000000000000ull + seconds * 10000000ull;
    FILETIME ft = {static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
    SetFileTime(f, NULL, NULL, &ft);
    CloseHandle(f);
}

bool RejectBigForDisk(const ItemSettings*, BYTE kind, ULONGLONG size)
{
    return kind != KIND_HD || size < 100;
}

TEST_F(CatchUp, TheFirstLookRecordsAndLaterOnesFindExactlyWhatChangedForEachTarget)
{
    const std::string w = dir / "w\\";
    SetGlobalText("installdir", (w + "prog").c_str());
    SeededIds ids = SeedItem(w, ItemSpec{{DiskSpec{dir / "d1"}}, {FtpSpec{}}});
    SeedItem(dir / "one.txt", ItemSpec{{DiskSpec{dir / "d1"}}, {}});
    for (const char* f : {"a.txt", "sub\\b.txt", "sub\\deep\\c.txt", "x.tmp", "Temp\\t.txt",
                          "prog\\p.txt", ".git\\HEAD"})
        Put(w + f, "old", 1);
    Put(dir / "one.txt", "old", 1);
    const std::string file = dir / TK_STORED_FILE;
    StoredState* state = OpenStoredState(file.c_str());
    EXPECT_EQ("", Scan(state));

    Put(w + "a.txt", "longer", 1);
    Put(w + "sub\\deep\\c.txt", "old", 2);
    Put(w + "d.txt", "new", 1);
    Put(w + "sub\\new.tmp", "new", 1);
    Put(w + "prog\\p2.txt", "new", 1);
    Put(w + ".git\\HEAD", "newer", 1);
    Put(dir / "one.txt", "newer", 1);
    DeleteFileA((w + "sub\\b.txt").c_str());
    CloseStoredState(state);
    state = OpenStoredState(file.c_str());
    EXPECT_EQ("one.txt:D w\\.git\\HEAD:DF w\\a.txt:DF w\\d.txt:DF w\\sub\\deep\\c.txt:DF ",
              Scan(state));
    // A copy that went to the disk target only, and a file gone since.
    FileVersion v = {};
    ReadFileVersion((w + "a.txt").c_str(), &v);
    RecordStoredVersion(state, (w + "a.txt").c_str(), KIND_HD, ids.disks[0], WORD(w.size()), v);
    EXPECT_EQ(0, FindStoredVersion(state, (w + "sub\\b.txt").c_str(), KIND_HD, ids.disks[0],
                                   WORD(w.size()), &v));
    Put(w + "big.txt", std::string(200, 'b'), 1);
    EXPECT_EQ("one.txt:D w\\.git\\HEAD:DF w\\a.txt:F w\\big.txt:F w\\d.txt:DF "
              "w\\sub\\deep\\c.txt:DF ",
              Scan(state, RejectBigForDisk));

    // The thread queues each change as the intake does, and nothing while monitoring is off.
    RequestQueue* queue = NewRequestQueue();
    std::string queued;
    for (int enabled : {0, 1}) {
        if (enabled)
            SetGlobalRaw("enabled", REG_BINARY, "", 0);
        CatchUpStart* start = static_cast<CatchUpStart*>(calloc(1, sizeof(CatchUpStart)));
        *start = CatchUpStart{state, queue, NULL, NULL, NULL, NULL, NULL, ""};
        HANDLE thread =
            reinterpret_cast<HANDLE>(_beginthreadex(NULL, 0, CatchUpThread, start, 0, NULL));
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        std::map<std::string, std::string> kinds;  // in queue order
        for (TransferRequest* r = FirstRequest(queue); r; r = NextRequest(queue, r))
            kinds[Name(r->path)] += std::to_string(r->kind);
        for (const auto& k : kinds)
            queued += k.first + ":" + k.second + " ";
        queued += "| ";
    }
    EXPECT_EQ("| one.txt:2 w\\.git\\HEAD:21 w\\a.txt:1 w\\big.txt:21 w\\d.txt:21 "
              "w\\sub\\deep\\c.txt:21 | ",
              queued);
    FreeRequestQueue(queue);

    // A second disk target starts its own record quietly; no subfolders, FTP switched off.
    ItemSpec later{{DiskSpec{dir / "d2"}}, {}};
    later.ftpOn = 0;
    later.includeSubs = 0;
    SeedItem(w, later);
    DeleteItemKey((dir / "one.txt").c_str());
    EXPECT_EQ("w\\big.txt:D w\\d.txt:D ", Scan(state));
    EXPECT_EQ(0, FindStoredVersion(state, (dir / "one.txt").c_str(), KIND_HD, 1,
                                   WORD((dir / "one.txt").size()), &v));
    // A folder that cannot be looked at (a share offline) keeps its record for its return.
    MoveFileA(w.c_str(), (dir / "away").c_str());
    EXPECT_EQ("", Scan(state));
    MoveFileA((dir / "away").c_str(), w.c_str());
    EXPECT_EQ("w\\big.txt:D w\\d.txt:D ", Scan(state));
    CloseStoredState(state);
}

}  // namespace
