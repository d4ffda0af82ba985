// The pending copies in memory and in their journal file beside the logs.
#include "store/pending.h"

#include "store/journal.h"
#include "store/keyedtable.h"
#include "store/store.h"

#include <stdio.h>
#include <string.h>

#include <new>

namespace {

const char kTag[] = "PEND";
enum : BYTE { RECORD_PUT = 'P', RECORD_REMOVE = 'R' };

typedef KeyedTable<PendingState> Table;

// A path as records and callers may give it: 1 to 259 characters, no zero inside.
bool UsablePath(const char* path, size_t length)
{
    return path && length > 0 && length < TK_PATH_SIZE && !memchr(path, 0, length);
}

bool UsableTarget(BYTE kind, DWORD id)
{
    return (kind == KIND_FTP || kind == KIND_HD) && id > 0;
}

// Count and file, all under one lock: the list's users are the workers, the main thread and
// whatever runs the retries.
struct ListBody {
    CRITICAL_SECTION lock;
    Table table;
    Journal journal;
    volatile LONG count;
    bool writeFailed;
};

PayloadWriter PutPayload(BYTE kind, DWORD id, const char* path, size_t length,
                         const PendingState& s)
{
    PayloadWriter w;
    w.Put(kind, 1);
    w.Put(id, 4);
    w.Put(s.itemLength, 2);
    w.Put(s.scope, 1);
    w.Put(s.firstFailure, 8);
    w.Put(static_cast<DWORD>(s.code), 4);
    w.Put(s.attempts, 4);
    w.PutText(path, length);
    return w;
}

void EncodePut(JournalBuffer* out, BYTE kind, DWORD id, const char* path, size_t length,
               const PendingState& s)
{
    PayloadWriter w = PutPayload(kind, id, path, length, s);
    AddJournalRecord(out, RECORD_PUT, w.bytes, w.used);
}

void EncodeRemove(JournalBuffer* out, BYTE kind, DWORD id, const char* path, size_t length)
{
    PayloadWriter w;
    w.Put(kind, 1);
    w.Put(id, 4);
    w.PutText(path, length);
    AddJournalRecord(out, RECORD_REMOVE, w.bytes, w.used);
}

bool ReadRecord(BYTE type, const BYTE* payload, size_t length, void* context)
{
    Table* table = static_cast<Table*>(context);
    PayloadReader r{payload, length};
    BYTE kind = static_cast<BYTE>(r.Get(1));
    DWORD id = static_cast<DWORD>(r.Get(4));
    PendingState s = {};
    if (type == RECORD_PUT) {
        s.itemLength = static_cast<WORD>(r.Get(2));
        s.scope = static_cast<BYTE>(r.Get(1));
        s.firstFailure = r.Get(8);
        s.code = static_cast<int>(r.Get(4));
        s.attempts = static_cast<DWORD>(r.Get(4));
    } else if (type != RECORD_REMOVE) {
        return false;
    }
    const char* path = reinterpret_cast<const char*>(r.at);
    if (!r.ok || !UsableTarget(kind, id) || !UsablePath(path, r.left) ||
        (type == RECORD_PUT && (s.itemLength == 0 || s.itemLength > r.left)))
        return false;
    if (type == RECORD_REMOVE) {
        table->Remove(table->Find(kind, id, path, r.left));
        return true;
    }
    try {
        table->Put(kind, id, path, r.left)->value = s;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void FillFile(JournalSink* sink, void* context)
{
    const Table* table = static_cast<const Table*>(context);
    for (const Table::Slot& slot : table->slots) {
        if (!slot.live)
            continue;
        PayloadWriter w =
            PutPayload(slot.kind, slot.id, slot.Path(*table), slot.length, slot.value);
        PutJournalRecord(sink, RECORD_PUT, w.bytes, w.used);
    }
}

// A file holding far more records than entries is written afresh; so is a damaged one, whose
// good records the fresh file keeps.
void CompactIfWasteful(ListBody* body)
{
    Journal& j = body->journal;
    if (j.damaged || j.records > body->table.live * 2 + 4096) {
        if (RewriteJournal(&j, kTag, FillFile, &body->table))
            body->writeFailed = false;
    }
}

void Write(ListBody* body, const JournalBuffer& buffer)
{
    if (!AppendJournal(&body->journal, buffer, false))
        body->writeFailed = true;
    CompactIfWasteful(body);
}

ListBody* Body(PendingList* list)
{
    return reinterpret_cast<ListBody*>(list);
}

void Recount(ListBody* body)
{
    InterlockedExchange(&body->count, static_cast<LONG>(body->table.live));
}

}  // namespace

int GetStateFilePath(const char* name, char* out, DWORD size)
{
    char dir[TK_PATH_SIZE];
    if (!name || !out || size == 0 || !GetInstallDir(dir, sizeof dir))
        return 0;
    int n = snprintf(out, size, "%s\\%s", dir, name);
    return n > 0 && static_cast<DWORD>(n) < size ? 1 : 0;
}

PendingList* OpenPendingList(const char* file)
{
    ListBody* body = new (std::nothrow) ListBody();
    if (!body)
        return NULL;
    InitializeCriticalSection(&body->lock);
    body->writeFailed = !OpenJournal(&body->journal, file, kTag, ReadRecord, &body->table);
    PackTable(&body->table);
    CompactIfWasteful(body);
    Recount(body);
    return reinterpret_cast<PendingList*>(body);
}

void ClosePendingList(PendingList* list)
{
    if (!list)
        return;
    ListBody* body = Body(list);
    CloseJournal(&body->journal);
    DeleteCriticalSection(&body->lock);
    delete body;
}

void NotePendingFailures(PendingList* list, PendingFailure* failures, size_t count, ULONGLONG now)
{
    for (size_t i = 0; i < count; ++i)
        failures[i].result = PENDING_NOT_KEPT;
    if (!list)
        return;
    ListBody* body = Body(list);
    EnterCriticalSection(&body->lock);
    JournalBuffer buffer;
    for (size_t i = 0; i < count; ++i) {
        PendingFailure& f = failures[i];
        size_t length = f.path ? strlen(f.path) : 0;
        if (!UsablePath(f.path, length) || !UsableTarget(f.kind, f.id) || f.itemLength == 0 ||
            f.itemLength > length)
            continue;
        try {
            bool added = false;
            PendingState& s = body->table.Put(f.kind, f.id, f.path, length, &added)->value;
            f.result = added ? PENDING_NEW : s.code != f.code ? PENDING_CHANGED : PENDING_REPEATED;
            if (added)
                s.firstFailure = now;
            s.code = f.code;
            s.scope = f.scope;
            s.itemLength = f.itemLength;
            s.dueTick = f.dueTick;
            s.takenTick = 0;
            if (s.attempts < 0xFFFFFFFFu)
                ++s.attempts;
            // A repeat changes only the count of attempts, which a restart may as well forget:
            // writing it would grow the file with every round of retries.
            if (f.result != PENDING_REPEATED)
                EncodePut(&buffer, f.kind, f.id, f.path, length, s);
        } catch (const std::bad_alloc&) {
            f.result = PENDING_NOT_KEPT;
        }
    }
    if (buffer.records) {
        Write(body, buffer);
        // A copy that failed must outlast a power cut. Under the lock, so that no compaction
        // closes the handle meanwhile.
        if (body->journal.file != INVALID_HANDLE_VALUE)
            FlushFileBuffers(body->journal.file);
    }
    Recount(body);
    LeaveCriticalSection(&body->lock);
}

int RemovePendingCopy(PendingList* list, const char* path, BYTE kind, DWORD id, PendingState* was)
{
    size_t length = path ? strlen(path) : 0;
    if (!list || !UsablePath(path, length))
        return 0;
    ListBody* body = Body(list);
    EnterCriticalSection(&body->lock);
    Table::Slot* slot = body->table.Find(kind, id, path, length);
    if (slot) {
        if (was)
            *was = slot->value;
        body->table.Remove(slot);
        // Not flushed: a removal lost to a power cut costs one more copy, nothing else.
        try {
            JournalBuffer buffer;
            EncodeRemove(&buffer, kind, id, path, length);
            Write(body, buffer);
        } catch (const std::bad_alloc&) {
            body->writeFailed = true;
        }
        Recount(body);
    }
    LeaveCriticalSection(&body->lock);
    return slot ? 1 : 0;
}

int FindPendingCopy(PendingList* list, const char* path, BYTE kind, DWORD id, PendingState* out)
{
    size_t length = path ? strlen(path) : 0;
    if (!list || !UsablePath(path, length))
        return 0;
    ListBody* body = Body(list);
    EnterCriticalSection(&body->lock);
    Table::Slot* slot = body->table.Find(kind, id, path, length);
    if (slot && out)
        *out = slot->value;
    LeaveCriticalSection(&body->lock);
    return slot ? 1 : 0;
}

void ForEachPendingCopy(PendingList* list, const std::function<bool(PendingEntry&)>& visit)
{
    if (!list)
        return;
    ListBody* body = Body(list);
    EnterCriticalSection(&body->lock);
    JournalBuffer removed;
    Table& table = body->table;
    // Removing leaves the slots where they are until the end: the walk stays valid.
    std::vector<size_t> dead;
    for (size_t i = 0; i < table.slots.size(); ++i) {
        Table::Slot& slot = table.slots[i];
        if (!slot.live)
            continue;
        PendingEntry e = {slot.Path(table), slot.length, slot.kind, slot.id, &slot.value};
        if (visit(e))
            continue;
        try {
            EncodeRemove(&removed, slot.kind, slot.id, slot.Path(table), slot.length);
            dead.push_back(i);
        } catch (const std::bad_alloc&) {
            body->writeFailed = true;
        }
    }
    for (size_t i : dead) {
        table.slots[i].live = 0;
        --table.live;
    }
    if (!dead.empty()) {
        Write(body, removed);
        Recount(body);
    }
    LeaveCriticalSection(&body->lock);
}

long CountPendingCopies(const PendingList* list)
{
    return list ? reinterpret_cast<const ListBody*>(list)->count : 0;
}

int IsPendingFileHealthy(PendingList* list)
{
    if (!list)
        return 0;
    ListBody* body = Body(list);
    EnterCriticalSection(&body->lock);
    int healthy = body->journal.path.empty() ||
                  (body->journal.file != INVALID_HANDLE_VALUE && !body->writeFailed);
    LeaveCriticalSection(&body->lock);
    return healthy;
}
