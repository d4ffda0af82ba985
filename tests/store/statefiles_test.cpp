// The pending copies and the stored versions in their files: kept across runs, and a damaged
// file loses only what is damaged.
#include <gtest/gtest.h>

#include "store/pending.h"
#include "store/storedstate.h"
#include "store/store.h"
#include "tests/support/testenv.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

typedef std::vector<int> Ints;

// "path kind id code" of every entry, sorted.
std::string Entries(PendingList* list)
{
    std::vector<std::string> lines;
    ForEachPendingCopy(list, [&lines](PendingEntry& e) {
        lines.push_back(std::string(e.path, e.length) + " " + std::to_string(e.kind) + " " +
                        std::to_string(e.targetId) + " " + std::to_string(e.state->code));
        return true;
    });
    return SortedText(lines, ";");
}

int Note(PendingList* list, const char* path, BYTE kind, int code)
{
    PendingFailure f = {path, kind, 1, 3, code, 2, 0, -1};
    NotePendingFailures(list, &f, 1, 1000 + code);
    return f.result;
}

LONGLONG SizeOf(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d))
        return -1;
    return d.nFileSizeLow;
}

std::string Reopened(const std::string& file)
{
    PendingList* list = OpenPendingList(file.c_str());
    std::string e = Entries(list);
    ClosePendingList(list);
    return e;
}

TEST(StateFiles, PendingCopiesOutliveTheProgramAndDamageCostsOnlyTheDamagedEntry)
{
    TempDir dir;
    const std::string file = dir / TK_PENDING_FILE;
    PendingList* list = OpenPendingList(file.c_str());
    std::vector<LONGLONG> sizes{SizeOf(file)};
    Ints results;
    for (const char* p : {"C:\\a.txt", "C:\\b.txt", "C:\\c.txt"}) {
        results.push_back(Note(list, p, KIND_HD, 12));
        sizes.push_back(SizeOf(file));
    }
    results.push_back(Note(list, "C:\\A.TXT", KIND_HD, 12));  // the same file: a repeat
    results.push_back(Note(list, "C:\\b.txt", KIND_HD, 9));
    results.push_back(Note(list, "C:\\b.txt", KIND_FTP, 9));  // another target
    results.push_back(Note(list, std::string(260, 'x').c_str(), KIND_HD, 9));
    PendingState was = {};
    results.push_back(RemovePendingCopy(list, "C:\\c.txt", KIND_HD, 1, &was));
    results.push_back(RemovePendingCopy(list, "C:\\c.txt", KIND_HD, 1, NULL));
    EXPECT_EQ((Ints{1, 1, 1, 3, 2, 1, 0, 1, 0}), results);
    EXPECT_EQ((Ints{1, 1012, 3}),
              (Ints{int(was.attempts), int(was.firstFailure), int(CountPendingCopies(list))}));
    ClosePendingList(list);
    const std::string all = "C:\\a.txt 2 1 12;C:\\b.txt 1 1 9;C:\\b.txt 2 1 9;";
    EXPECT_EQ(all, Reopened(file));

    // The first three records, each put there by one note, cut or spoilt one at a time.
    const std::string whole = ReadFileBytes(file);
    struct {
        size_t keep;        // bytes kept from the start
        std::string patch;  // written over the bytes after them
        std::string tail;   // and what is left of the file after that
        std::string want;
    } damage[] = {
        {size_t(sizes[3]) - 1, "", "", "C:\\a.txt 2 1 12;C:\\b.txt 2 1 12;"},
        {size_t(sizes[0]) + 3, "\xA5\xA5\xFF", whole.substr(sizes[0] + 6),
         "C:\\b.txt 1 1 9;C:\\b.txt 2 1 9;"},
        {0, std::string(5000, '\xA5'), "", ""},
        {0, "", "", ""},
        {size_t(sizes[1]), "junk\xA5\x50\x05", whole.substr(sizes[1]), all},
    };
    for (const auto& d : damage) {
        WriteFileBytes(file, whole.substr(0, d.keep) + d.patch + d.tail);
        EXPECT_EQ(d.want, Reopened(file)) << d.keep;
        // Read once, the file is written afresh: the same entries, nothing left beside it.
        EXPECT_EQ(d.want, Reopened(file)) << d.keep;
        EXPECT_FALSE(FileExists(file + ".tmp"));
    }
    // A compaction cut short: a whole file with a spoilt .tmp beside it, or the new file alone.
    WriteFileBytes(file, whole);
    WriteFileBytes(file + ".tmp", whole.substr(0, 20));
    EXPECT_EQ(all, Reopened(file));
    WriteFileBytes(file + ".tmp", whole);
    DeleteFileA(file.c_str());
    EXPECT_EQ(all, Reopened(file));
    EXPECT_FALSE(FileExists(file + ".tmp"));
}

TEST(StateFiles, ManyChangesKeepTheFileSmallAndVersionsBelongToTheirItem)
{
    TempDir dir;
    const std::string file = dir / TK_PENDING_FILE;
    PendingList* list = OpenPendingList(file.c_str());
    std::vector<std::string> paths;
    for (int i = 0; i < 3000; ++i)
        paths.push_back("C:\\w\\" + std::to_string(i) + ".txt");
    // Some 24,000 records of about 45 bytes: over a megabyte unless compacted.
    for (int round = 0; round < 4; ++round) {
        std::vector<PendingFailure> batch;
        for (const std::string& p : paths)
            batch.push_back(PendingFailure{p.c_str(), KIND_FTP, 1, 3, 400 + round, 2, 0, 0});
        NotePendingFailures(list, batch.data(), batch.size(), 1);
        for (size_t i = 1; i < paths.size(); ++i)
            RemovePendingCopy(list, paths[i].c_str(), KIND_FTP, 1, NULL);
    }
    ClosePendingList(list);
    EXPECT_EQ("C:\\w\\0.txt 1 1 403;", Reopened(file));
    EXPECT_LT(SizeOf(file), 250000);

    const std::string stored = dir / TK_STORED_FILE;
    StoredState* state = OpenStoredState(stored.c_str());
    FileVersion v = {5, 77}, got = {};
    EXPECT_EQ((Ints{1, 0, 0}),
              (Ints{RecordStoredVersion(state, "C:\\w\\f.txt", KIND_HD, 2, 5, v),
                    RecordStoredVersion(state, "C:\\w\\f.txt", 3, 2, 5, v),
                    RecordStoredVersion(state, "C:\\w\\f.txt", KIND_HD, 2, 40, v)}));
    CloseStoredState(state);
    state = OpenStoredState(stored.c_str());
    EXPECT_EQ(
        (Ints{1, 5, 77, 0, 0}),
        (Ints{FindStoredVersion(state, "c:\\W\\F.txt", KIND_HD, 2, 5, &got), int(got.size),
              int(got.lastWrite), FindStoredVersion(state, "C:\\w\\f.txt", KIND_HD, 2, 3, &got),
              FindStoredVersion(state, "C:\\w\\f.txt", KIND_FTP, 2, 5, &got)}));
    CloseStoredState(state);
}

TEST(StateFiles, TheTwoSwitchesAreOnlyWhenSetToAByteOtherThanZero)
{
    ResetProductKey();
    struct {
        DWORD type;
        std::string data;
    } values[] = {{REG_BINARY, "\x01"},
                  {REG_DWORD, std::string("\x01\0\0\0", 4)},
                  {REG_BINARY, std::string(1, '\0')},
                  {REG_BINARY, ""},
                  {REG_SZ, "1"}};
    std::string seen = std::to_string(ReadGlobalSwitch(TK_VALUE_CATCHUP));
    for (const auto& v : values) {
        SetGlobalRaw(TK_VALUE_RETRYFAILED, v.type, v.data.data(), DWORD(v.data.size()));
        seen += std::to_string(ReadGlobalSwitch(TK_VALUE_RETRYFAILED));
    }
    EXPECT_EQ("011000", seen);
    DeleteProductKey();
}

}  // namespace
