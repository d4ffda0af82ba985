// The stored versions in memory and in their journal file beside the logs.
#include "store/storedstate.h"

#include "store/journal.h"
#include "store/keyedtable.h"

#include <string.h>

#include <new>

namespace {

const char kTag[] = "STOR";
enum : BYTE {
    RECORD_VERSION = 'S',
    RECORD_FORGET = 'R',
    RECORD_TARGET = 'T',
    RECORD_TARGET_GONE = 'U',
};

struct StoredValue {
    FileVersion version;
    WORD itemLength;
    BYTE seen;
};

typedef KeyedTable<StoredValue> Versions;
typedef KeyedTable<BYTE> Targets;  // value: seen

struct StateBody {
    CRITICAL_SECTION lock;
    Versions versions;
    Targets targets;  // keyed by the item path
    Journal journal;
};

bool UsableKey(BYTE kind, DWORD id, const char* path, size_t length)
{
    return (kind == KIND_FTP || kind == KIND_HD) && id > 0 && path && length > 0 &&
           length < TK_PATH_SIZE && !memchr(path, 0, length);
}

PayloadWriter KeyPayload(BYTE kind, DWORD id)
{
    PayloadWriter w;
    w.Put(kind, 1);
    w.Put(id, 4);
    return w;
}

PayloadWriter VersionPayload(BYTE kind, DWORD id, const char* path, size_t length,
                             const StoredValue& v)
{
    PayloadWriter w = KeyPayload(kind, id);
    w.Put(v.itemLength, 2);
    w.Put(v.version.size, 8);
    w.Put(v.version.lastWrite, 8);
    w.PutText(path, length);
    return w;
}

void Add(JournalBuffer* out, BYTE type, PayloadWriter w, const char* path, size_t length)
{
    w.PutText(path, length);
    AddJournalRecord(out, type, w.bytes, w.used);
}

bool ReadRecord(BYTE type, const BYTE* payload, size_t length, void* context)
{
    StateBody* body = static_cast<StateBody*>(context);
    PayloadReader r{payload, length};
    BYTE kind = static_cast<BYTE>(r.Get(1));
    DWORD id = static_cast<DWORD>(r.Get(4));
    StoredValue v = {};
    if (type == RECORD_VERSION) {
        v.itemLength = static_cast<WORD>(r.Get(2));
        v.version.size = r.Get(8);
        v.version.lastWrite = r.Get(8);
    }
    const char* path = reinterpret_cast<const char*>(r.at);
    if (!r.ok || !UsableKey(kind, id, path, r.left))
        return false;
    try {
        switch (type) {
        case RECORD_VERSION:
            if (v.itemLength == 0 || v.itemLength > r.left)
                return false;
            body->versions.Put(kind, id, path, r.left)->value = v;
            return true;
        case RECORD_FORGET:
            body->versions.Remove(body->versions.Find(kind, id, path, r.left));
            return true;
        case RECORD_TARGET:
            body->targets.Put(kind, id, path, r.left);
            return true;
        case RECORD_TARGET_GONE:
            body->targets.Remove(body->targets.Find(kind, id, path, r.left));
            return true;
        }
    } catch (const std::bad_alloc&) {
    }
    return false;
}

void FillFile(JournalSink* sink, void* context)
{
    const StateBody* body = static_cast<const StateBody*>(context);
    for (const Targets::Slot& s : body->targets.slots) {
        PayloadWriter w = KeyPayload(s.kind, s.id);
        if (s.live && w.PutText(s.Path(body->targets), s.length))
            PutJournalRecord(sink, RECORD_TARGET, w.bytes, w.used);
    }
    for (const Versions::Slot& s : body->versions.slots) {
        if (!s.live)
            continue;
        PayloadWriter w = VersionPayload(s.kind, s.id, s.Path(body->versions), s.length, s.value);
        PutJournalRecord(sink, RECORD_VERSION, w.bytes, w.used);
    }
}

// Far more records than entries: the file is written afresh. The limit is high so that this
// seldom falls to the main thread, which records the FTP copies.
void CompactIfWasteful(StateBody* body, size_t slack)
{
    Journal& j = body->journal;
    if (j.damaged || j.records > (body->versions.live + body->targets.live) * 2 + slack)
        RewriteJournal(&j, kTag, FillFile, body);
}

void Write(StateBody* body, const JournalBuffer& buffer, bool flush)
{
    AppendJournal(&body->journal, buffer, flush);
    CompactIfWasteful(body, 65536);
}

StateBody* Body(StoredState* state)
{
    return reinterpret_cast<StateBody*>(state);
}

// Holds the lock for the length of a scope.
struct Held {
    StateBody* body;
    explicit Held(StateBody* b) : body(b) { EnterCriticalSection(&body->lock); }
    ~Held() { LeaveCriticalSection(&body->lock); }
};

bool SameVersion(const FileVersion& a, const FileVersion& b)
{
    return a.size == b.size && a.lastWrite == b.lastWrite;
}

}  // namespace

StoredState* OpenStoredState(const char* file)
{
    StateBody* body = new (std::nothrow) StateBody();
    if (!body)
        return NULL;
    InitializeCriticalSection(&body->lock);
    OpenJournal(&body->journal, file, kTag, ReadRecord, body);
    PackTable(&body->versions);
    PackTable(&body->targets);
    CompactIfWasteful(body, 4096);
    return reinterpret_cast<StoredState*>(body);
}

void CloseStoredState(StoredState* state)
{
    if (!state)
        return;
    StateBody* body = Body(state);
    CloseJournal(&body->journal);
    DeleteCriticalSection(&body->lock);
    delete body;
}

int ReadFileVersion(const char* path, FileVersion* out)
{
    if (!path || !out || !*path || strpbrk(path, "*?"))
        return 0;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(path, &data);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(find);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return 0;
    out->size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    out->lastWrite = (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                     data.ftLastWriteTime.dwLowDateTime;
    return 1;
}

int RecordStoredVersion(StoredState* state, const char* path, BYTE kind, DWORD id, WORD itemLength,
                        const FileVersion& version)
{
    size_t length = path ? strlen(path) : 0;
    if (!state || !UsableKey(kind, id, path, length) || itemLength == 0 || itemLength > length)
        return 0;
    StateBody* body = Body(state);
    Held held(body);
    try {
        StoredValue& v = body->versions.Put(kind, id, path, length)->value;
        v = StoredValue{version, itemLength, 1};
        JournalBuffer buffer;
        PayloadWriter w = VersionPayload(kind, id, path, length, v);
        AddJournalRecord(&buffer, RECORD_VERSION, w.bytes, w.used);
        Write(body, buffer, false);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

int FindStoredVersion(StoredState* state, const char* path, BYTE kind, DWORD id, WORD itemLength,
                      FileVersion* out)
{
    size_t length = path ? strlen(path) : 0;
    if (!state || !UsableKey(kind, id, path, length))
        return 0;
    StateBody* body = Body(state);
    Held held(body);
    Versions::Slot* s = body->versions.Find(kind, id, path, length);
    if (!s || s->value.itemLength != itemLength)
        return 0;
    if (out)
        *out = s->value.version;
    return 1;
}

void CheckStoredVersions(StoredState* state, VersionCheck* checks, size_t count, bool record)
{
    if (!state)
        return;
    StateBody* body = Body(state);
    Held held(body);
    JournalBuffer buffer;
    for (size_t i = 0; i < count; ++i) {
        VersionCheck& c = checks[i];
        size_t length = c.path ? strlen(c.path) : 0;
        c.changed = false;
        if (!UsableKey(c.kind, c.id, c.path, length) || c.itemLength == 0 || c.itemLength > length)
            continue;
        Versions::Slot* s = body->versions.Find(c.kind, c.id, c.path, length);
        if (!record) {
            c.changed = !s || s->value.itemLength != c.itemLength ||
                        !SameVersion(s->value.version, c.version);
            if (s)
                s->value.seen = 1;
            continue;
        }
        try {
            StoredValue v = {c.version, c.itemLength, 1};
            body->versions.Put(c.kind, c.id, c.path, length)->value = v;
            PayloadWriter w = VersionPayload(c.kind, c.id, c.path, length, v);
            AddJournalRecord(&buffer, RECORD_VERSION, w.bytes, w.used);
        } catch (const std::bad_alloc&) {
            // Unrecorded, the file counts as new next time: one copy too many at worst.
        }
    }
    Write(body, buffer, false);
}

int IsTargetRecorded(StoredState* state, const char* itemPath, BYTE kind, DWORD id)
{
    size_t length = itemPath ? strlen(itemPath) : 0;
    if (!state || !UsableKey(kind, id, itemPath, length))
        return 0;
    StateBody* body = Body(state);
    Held held(body);
    Targets::Slot* s = body->targets.Find(kind, id, itemPath, length);
    if (s)
        s->value = 1;
    return s ? 1 : 0;
}

int MarkTargetRecorded(StoredState* state, const char* itemPath, BYTE kind, DWORD id)
{
    size_t length = itemPath ? strlen(itemPath) : 0;
    if (!state || !UsableKey(kind, id, itemPath, length))
        return 0;
    StateBody* body = Body(state);
    Held held(body);
    try {
        body->targets.Put(kind, id, itemPath, length)->value = 1;
        JournalBuffer buffer;
        Add(&buffer, RECORD_TARGET, KeyPayload(kind, id), itemPath, length);
        Write(body, buffer, true);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

void BeginStoredSweep(StoredState* state)
{
    if (!state)
        return;
    StateBody* body = Body(state);
    Held held(body);
    for (Versions::Slot& s : body->versions.slots)
        s.value.seen = 0;
    for (Targets::Slot& s : body->targets.slots)
        s.value = 0;
}

void ForgetUnseen(StoredState* state, const std::function<bool(const char*, size_t)>& keepItem)
{
    if (!state)
        return;
    StateBody* body = Body(state);
    Held held(body);
    JournalBuffer buffer;
    try {
        for (Versions::Slot& s : body->versions.slots) {
            const char* path = s.Path(body->versions);
            if (!s.live || s.value.seen || keepItem(path, s.value.itemLength))
                continue;
            Add(&buffer, RECORD_FORGET, KeyPayload(s.kind, s.id), path, s.length);
            s.live = 0;
            --body->versions.live;
        }
        for (Targets::Slot& s : body->targets.slots) {
            const char* path = s.Path(body->targets);
            if (!s.live || s.value || keepItem(path, s.length))
                continue;
            Add(&buffer, RECORD_TARGET_GONE, KeyPayload(s.kind, s.id), path, s.length);
            s.live = 0;
            --body->targets.live;
        }
    } catch (const std::bad_alloc&) {
        // What was not forgotten stays; the next start tries again.
    }
    Write(body, buffer, false);
    try {
        body->versions.Rebuild(body->versions.live);
        body->targets.Rebuild(body->targets.live);
    } catch (const std::bad_alloc&) {
    }
}

size_t CountStoredVersions(StoredState* state)
{
    if (!state)
        return 0;
    StateBody* body = Body(state);
    Held held(body);
    return body->versions.live;
}
