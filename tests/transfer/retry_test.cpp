// Retrying failed copies: which failures wait, how long, and the target clock that wakes its
// files together.
#include <gtest/gtest.h>

#include "log/errors.h"
#include "tests/support/testenv.h"
#include "transfer/retry.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

typedef std::vector<int> Ints;

TEST(Retry, FailuresThatMayPassWaitByTargetOrFileAndTheRestAreNotRetried)
{
    struct {
        int code;
        DWORD systemError;
        int scope;
    } cases[] = {
        {ERR_SUCCESS, 0, FAILURE_NONE},
        {ERR_CANNOT_CONNECT, 0, FAILURE_TARGET},  // refused, no route, time-out, dropped
        {ERR_HOST_NOT_RESOLVED, 0, FAILURE_TARGET},
        {ERR_TCPIP, 0, FAILURE_TARGET},
        {ERR_FILE_OPERATION, 0, FAILURE_TARGET},                    // a data connection that broke
        {ERR_FILE_OPERATION, ERROR_BAD_PATHNAME, FAILURE_LASTING},  // a relative target folder
        {421, 0, FAILURE_TARGET},
        {425, 0, FAILURE_TARGET},
        {452, 0, FAILURE_TARGET},
        {552, 0, FAILURE_TARGET},
        {ERR_DEST_OPEN, ERROR_PATH_NOT_FOUND, FAILURE_TARGET},  // the target folder is gone
        {ERR_DEST_OPEN, 0, FAILURE_TARGET},
        {ERR_SOURCE_OPEN, ERROR_SHARING_VIOLATION, FAILURE_FILE},
        {ERR_DEST_OPEN, ERROR_SHARING_VIOLATION, FAILURE_FILE},
        {450, 0, FAILURE_FILE},
        {ERR_DEST_OPEN, ERROR_FILENAME_EXCED_RANGE, FAILURE_LASTING},
        {ERR_DEST_OPEN, ERROR_INVALID_NAME, FAILURE_LASTING},
        {530, 0, FAILURE_LASTING},
        {332, 0, FAILURE_LASTING},
        {553, 0, FAILURE_LASTING},
        {550, 0, FAILURE_LASTING},
        {ERR_NO_SETTINGS, 0, FAILURE_LASTING},
        {ERR_FTP_NOT_ENABLED, 0, FAILURE_LASTING},
        {ERR_GENERIC, 0, FAILURE_LASTING},
        {0, 0, FAILURE_LASTING},
        {ERR_TLS_REFUSED, 0, FAILURE_LASTING},  // no AUTH TLS, a certificate not trusted
        {ERR_TLS_FAILED, 0, FAILURE_TARGET},    // a handshake the server dropped
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.scope, ClassifyFailure(c.code, c.systemError))
            << c.code << "/" << c.systemError;
}

TEST(Retry, WaitsDoubleFromTheFirstStepUpToAnHourWithSomeSpread)
{
    const DWORD s = 1000, m = 60 * s, h = 60 * m, most = 0xFFFFFFFFu;
    struct {
        DWORD failures, first, random, low, high;
    } cases[] = {
        {1, 30 * s, 0, 30 * s, 30 * s},
        {2, 30 * s, 0, 60 * s, 60 * s},
        {7, 30 * s, 0, 32 * m, 32 * m},
        {8, 30 * s, 0, h, h},
        {500, 30 * s, 0, h, h},
        {0, 30 * s, 0, 30 * s, 30 * s},
        {1, 30 * s, most, 22 * s, 30 * s - 1},
        {40, 30 * s, 12345, 45 * m, h},
        {3, 10, 0, 40, 40},
        {1, 2 * h, 0, h, h},
    };
    for (const auto& c : cases) {
        DWORD d = RetryDelayMs(c.failures, c.first, c.random);
        EXPECT_TRUE(d >= c.low && d <= c.high) << c.failures << ": " << d;
    }
}

DWORD g_now = 1000;
DWORD FakeTick()
{
    return g_now;
}

// The paths handed out, sorted, and the wait announced for the next one (capped for reading).
std::string Take(RetrySchedule* s, size_t max = 100)
{
    std::vector<DueCopy> due;
    DWORD next = 0;
    TakeDueCopies(s, max, &due, &next);
    std::vector<std::string> names;
    for (const DueCopy& d : due)
        names.push_back(d.path.substr(3) + (d.kind == KIND_FTP ? "F" : "D"));
    return SortedText(names) + (next == INFINITE ? "-"
                                : next == 0      ? "0"
                                : next <= 30000  ? "<=30s"
                                                 : ">30s");
}

TEST(Retry, ATargetThatCannotBeReachedWakesItsFilesTogetherAndAFileWaitsAlone)
{
    PendingList* list = OpenPendingList(NULL);
    RetrySchedule* s = NewRetrySchedule(list);
    SetRetryTickSource(s, FakeTick);
    auto fail = [&](const char* path, BYTE kind, int code, DWORD error = 0) {
        return NoteCopyFailure(s, path, kind, 1, 3, code, error);
    };
    Ints notes{fail("C:\\1", KIND_FTP, ERR_CANNOT_CONNECT), fail("C:\\2", KIND_FTP, 421),
               fail("C:\\3", KIND_FTP, ERR_CANNOT_CONNECT),
               fail("C:\\4", KIND_HD, ERR_SOURCE_OPEN, ERROR_SHARING_VIOLATION),
               fail("C:\\5", KIND_HD, 530)};
    EXPECT_EQ((Ints{1, 1, 1, 1, 0}), notes);
    EXPECT_EQ(4, CountPendingCopies(list));
    EXPECT_EQ("<=30s", Take(s));
    g_now += 30001;
    EXPECT_EQ("1F 2F 3F 4D -", Take(s));
    EXPECT_EQ("-", Take(s));  // under way
    // The round fails again: reported no more, and the target waits twice as long.
    notes = {fail("C:\\1", KIND_FTP, ERR_CANNOT_CONNECT), fail("C:\\2", KIND_FTP, ERR_TCPIP),
             fail("C:\\3", KIND_FTP, ERR_CANNOT_CONNECT)};
    EXPECT_EQ((Ints{2, 1, 2}), notes);
    EXPECT_EQ(">30s", Take(s));
    // A copy that goes through shows the target is back: its files go at once.
    PendingState was = {};
    EXPECT_EQ(1, NoteCopySuccess(s, "C:\\1", KIND_FTP, 1, 3, &was));
    EXPECT_TRUE(was.attempts == 2 && was.firstFailure != 0);
    EXPECT_EQ("2F 3F -", Take(s));
    // Stop All takes the retries back, to wait again; one that never reports back is handed
    // out again after an hour.
    ReleaseTakenCopies(s);
    EXPECT_EQ("<=30s", Take(s));
    g_now += 3600001;
    EXPECT_EQ("2F 3F 4D -", Take(s));
    g_now += 3600001;
    EXPECT_EQ("2F 3F 4D -", Take(s));
    // Retry Now: everything at once, handed out as fast as it is asked for.
    fail("C:\\2", KIND_FTP, ERR_CANNOT_CONNECT);
    fail("C:\\3", KIND_FTP, ERR_CANNOT_CONNECT);
    fail("C:\\4", KIND_HD, ERR_SOURCE_OPEN, ERROR_SHARING_VIOLATION);
    EXPECT_EQ("<=30s", Take(s));
    RetryAllNow(s);
    EXPECT_EQ(" 0", Take(s, 1).substr(2));
    EXPECT_EQ(7u, Take(s).size());
    EXPECT_EQ(0, NoteCopySuccess(s, "C:\\9", KIND_HD, 1, 3, NULL));
    FreeRetrySchedule(s);
    ClosePendingList(list);
}

}  // namespace
