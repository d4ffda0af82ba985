// A file of small records that survives crashes: appended one by one, read back as untrusted
// input, and now and then compacted into a fresh file written beside it and renamed over it.
#pragma once
#include <windows.h>

#include <string.h>

#include <string>

// Each record is framed as: 0xA5, its type, its payload length (16 bits), a CRC-32 of type,
// length and payload, then the payload. A crash while appending leaves at most the record
// being written incomplete; a reader passes over any stretch whose frame or CRC is wrong and
// takes up again at the next intact record, so neither a torn tail nor garbage in the middle
// costs the records around it.
enum { JOURNAL_MAX_PAYLOAD = 1024 };

struct Journal {
    std::string path;  // empty: the records live in memory only
    HANDLE file;       // open for appending, or INVALID_HANDLE_VALUE
    DWORD records;     // records in the file, intact or not
    bool damaged;      // reading passed over bytes that were not an intact record
};

// Called for each intact record in file order; returns false for a record whose contents make
// no sense to the owner (counted as damage, and left out of the next compaction).
typedef bool (*JournalVisitor)(BYTE type, const BYTE* payload, size_t length, void* context);

// Reads every intact record of the file at path (tag: four letters naming the kind of file)
// and opens it for appending, creating it when missing. A compaction that a crash cut short
// is finished or dropped first. With an empty path the journal keeps nothing on disk. false
// when the file could not be opened for appending (the records read still count).
bool OpenJournal(Journal* journal, const char* path, const char* tag, JournalVisitor visit,
                 void* context);
void CloseJournal(Journal* journal);

// Collects records in memory before one write.
struct JournalBuffer {
    std::string bytes;
    DWORD records = 0;
};
// false for a payload over JOURNAL_MAX_PAYLOAD; throws std::bad_alloc.
bool AddJournalRecord(JournalBuffer* buffer, BYTE type, const void* payload, size_t length);

// Appends the buffered records with one write; flush asks the system to put them on the disk
// before returning (FlushFileBuffers), so that they outlast a power cut. true without a file.
bool AppendJournal(Journal* journal, const JournalBuffer& buffer, bool flush);

// Where a rewrite puts its records: they are buffered and written in large pieces.
struct JournalSink {
    HANDLE out;
    JournalBuffer buffer;
    DWORD records;
    bool failed;
};
// Adds one record to a rewrite; false once anything failed.
bool PutJournalRecord(JournalSink* sink, BYTE type, const void* payload, size_t length);

// Replaces the file with one that holds only the records fill puts, written to "<path>.tmp",
// flushed, and renamed over the file. On any failure the old file stays as it was and is
// appended to again. true without a file.
typedef void (*JournalFiller)(JournalSink* sink, void* context);
bool RewriteJournal(Journal* journal, const char* tag, JournalFiller fill, void* context);

// Little-endian fields of a record's payload, written and read with bounds checks.
struct PayloadWriter {
    BYTE bytes[JOURNAL_MAX_PAYLOAD];
    size_t used = 0;
    void Put(ULONGLONG value, int size)
    {
        for (int i = 0; i < size && used < sizeof bytes; ++i)
            bytes[used++] = static_cast<BYTE>(value >> (8 * i));
    }
    // false when the text does not fit.
    bool PutText(const char* text, size_t length)
    {
        if (length > sizeof bytes - used)
            return false;
        memcpy(bytes + used, text, length);
        used += length;
        return true;
    }
};

struct PayloadReader {
    const BYTE* at;
    size_t left;
    bool ok = true;
    ULONGLONG Get(int size)
    {
        ULONGLONG value = 0;
        if (left < static_cast<size_t>(size)) {
            ok = false;
            return 0;
        }
        for (int i = 0; i < size; ++i)
            value |= static_cast<ULONGLONG>(at[i]) << (8 * i);
        at += size;
        left -= size;
        return value;
    }
};

// CRC-32 (IEEE 802.3), as the frames carry it.
DWORD JournalCrc(const BYTE* data, size_t length, DWORD crc = 0);
