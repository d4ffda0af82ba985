// The crash-safe record file: framing, reading with resynchronisation, appending, and
// compaction through a temporary file and a rename.
#include "store/journal.h"

#include <string.h>

#include <new>
#include <vector>

namespace {

const BYTE kMark = 0xA5;
const size_t kFrame = 8;   // mark, type, length (2), CRC (4)
const size_t kHeader = 8;  // "TKJ1" and the four-letter tag
const DWORD kReadChunk = 1 << 20;
const size_t kPieceSize = 256 * 1024;

struct CrcTable {
    DWORD entry[256];
    CrcTable()
    {
        for (DWORD i = 0; i < 256; ++i) {
            DWORD c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entry[i] = c;
        }
    }
};

std::string Header(const char* tag)
{
    std::string header("TKJ1", 4);
    header.append(tag, 4);
    return header;
}

DWORD ReadDword(const BYTE* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<DWORD>(p[3]) << 24);
}

// Hands every intact record of the file, read from its start, to visit.
void ReadRecords(HANDLE file, const char* tag, Journal* j, JournalVisitor visit, void* context)
{
    std::vector<BYTE> buf(kReadChunk + kFrame + JOURNAL_MAX_PAYLOAD);
    size_t pos = 0, end = 0;
    bool eof = false;
    // Keeps buf[pos, end) and reads more behind it.
    auto more = [&] {
        memmove(buf.data(), buf.data() + pos, end - pos);
        end -= pos;
        pos = 0;
        DWORD got = 0;
        if (!ReadFile(file, buf.data() + end, static_cast<DWORD>(buf.size() - end), &got, NULL) ||
            got == 0)
            eof = true;
        end += got;
    };
    more();
    const std::string header = Header(tag);
    if (end >= kHeader && memcmp(buf.data(), header.data(), kHeader) == 0)
        pos = kHeader;
    else if (end > 0)
        j->damaged = true;  // records may still follow: they are looked for
    for (;;) {
        if (!eof && end - pos < kFrame + JOURNAL_MAX_PAYLOAD)
            more();
        if (end - pos < kFrame) {
            if (end > pos)
                j->damaged = true;
            return;
        }
        const BYTE* p = buf.data() + pos;
        size_t length = p[2] | (p[3] << 8);
        // Not a frame, or one that runs past the end: look from the next byte on.
        if (p[0] != kMark || length > JOURNAL_MAX_PAYLOAD || end - pos < kFrame + length ||
            JournalCrc(p + kFrame, length, JournalCrc(p + 1, 3)) != ReadDword(p + 4)) {
            j->damaged = true;
            ++pos;
            continue;
        }
        ++j->records;
        if (!visit(p[1], p + kFrame, length, context))
            j->damaged = true;
        pos += kFrame + length;
    }
}

HANDLE OpenForAppend(const std::string& path)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    return f;
}

// Puts the file pointer at the end, writing the header into an empty file.
bool PrepareAppend(HANDLE f, const char* tag)
{
    DWORD high = 0;
    DWORD low = GetFileSize(f, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return false;
    if (low == 0 && high == 0) {
        std::string header = Header(tag);
        DWORD written = 0;
        return WriteFile(f, header.data(), static_cast<DWORD>(header.size()), &written, NULL) &&
               written == header.size();
    }
    return SetFilePointer(f, 0, NULL, FILE_END) != INVALID_SET_FILE_POINTER ||
           GetLastError() == NO_ERROR;
}

bool WriteAll(HANDLE f, const std::string& bytes)
{
    DWORD written = 0;
    return bytes.empty() ||
           (WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL) &&
            written == bytes.size());
}

// Renames the finished temporary file over the journal. Windows 9x has no MoveFileEx: there
// the old file goes first, and a crash between the two steps leaves the new file as .tmp
// alone, which the next open takes.
bool ReplaceWith(const std::string& tmp, const std::string& path)
{
    if (MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return false;
    DeleteFileA(path.c_str());
    return MoveFileA(tmp.c_str(), path.c_str()) != 0;
}

// Writes and empties the buffer of a rewrite.
bool WriteJournalPiece(JournalSink* sink)
{
    if (!sink->failed && !WriteAll(sink->out, sink->buffer.bytes))
        sink->failed = true;
    sink->records += sink->buffer.records;
    sink->buffer.bytes.clear();
    sink->buffer.records = 0;
    return !sink->failed;
}

}  // namespace

DWORD JournalCrc(const BYTE* data, size_t length, DWORD crc)
{
    static const CrcTable table;
    crc = ~crc;
    for (size_t i = 0; i < length; ++i)
        crc = table.entry[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

bool OpenJournal(Journal* j, const char* path, const char* tag, JournalVisitor visit, void* context)
{
    j->path = path ? path : "";
    j->file = INVALID_HANDLE_VALUE;
    j->records = 0;
    j->damaged = false;
    if (j->path.empty())
        return true;
    const std::string tmp = j->path + ".tmp";
    // A .tmp beside the file is a compaction cut short before its rename: the file is whole
    // and the .tmp may not be. Alone, it is a finished one whose old file was already gone.
    if (GetFileAttributesA(j->path.c_str()) == INVALID_FILE_ATTRIBUTES &&
        GetFileAttributesA(tmp.c_str()) != INVALID_FILE_ATTRIBUTES)
        MoveFileA(tmp.c_str(), j->path.c_str());
    else
        DeleteFileA(tmp.c_str());
    HANDLE f = OpenForAppend(j->path);
    if (f == INVALID_HANDLE_VALUE) {
        // Read what there is, even where it cannot be written.
        HANDLE r = CreateFileA(j->path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        if (r != INVALID_HANDLE_VALUE) {
            ReadRecords(r, tag, j, visit, context);
            CloseHandle(r);
        }
        return false;
    }
    ReadRecords(f, tag, j, visit, context);
    if (!PrepareAppend(f, tag)) {
        CloseHandle(f);
        return false;
    }
    j->file = f;
    return true;
}

void CloseJournal(Journal* j)
{
    if (j->file != INVALID_HANDLE_VALUE) {
        FlushFileBuffers(j->file);
        CloseHandle(j->file);
    }
    j->file = INVALID_HANDLE_VALUE;
}

bool AddJournalRecord(JournalBuffer* buffer, BYTE type, const void* payload, size_t length)
{
    if (length > JOURNAL_MAX_PAYLOAD)
        return false;
    BYTE frame[kFrame] = {kMark, type, static_cast<BYTE>(length), static_cast<BYTE>(length >> 8)};
    DWORD crc = JournalCrc(static_cast<const BYTE*>(payload), length, JournalCrc(frame + 1, 3));
    for (int i = 0; i < 4; ++i)
        frame[4 + i] = static_cast<BYTE>(crc >> (8 * i));
    buffer->bytes.append(reinterpret_cast<const char*>(frame), kFrame);
    buffer->bytes.append(static_cast<const char*>(payload), length);
    ++buffer->records;
    return true;
}

bool AppendJournal(Journal* j, const JournalBuffer& buffer, bool flush)
{
    if (j->path.empty() || buffer.bytes.empty())
        return true;
    if (j->file == INVALID_HANDLE_VALUE)
        return false;
    j->records += buffer.records;
    if (!WriteAll(j->file, buffer.bytes)) {
        // Perhaps part of it went (a full disk): the next compaction cleans up.
        j->damaged = true;
        return false;
    }
    return !flush || FlushFileBuffers(j->file);
}

bool PutJournalRecord(JournalSink* sink, BYTE type, const void* payload, size_t length)
{
    if (sink->failed)
        return false;
    try {
        if (!AddJournalRecord(&sink->buffer, type, payload, length))
            return false;
    } catch (const std::bad_alloc&) {
        sink->failed = true;
        return false;
    }
    return sink->buffer.bytes.size() < kPieceSize || WriteJournalPiece(sink);
}

bool RewriteJournal(Journal* j, const char* tag, JournalFiller fill, void* context)
{
    if (j->path.empty())
        return true;
    const std::string tmp = j->path + ".tmp";
    JournalSink sink = {};
    sink.out = CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (sink.out == INVALID_HANDLE_VALUE)
        return false;
    try {
        sink.buffer.bytes = Header(tag);
    } catch (const std::bad_alloc&) {
        sink.failed = true;
    }
    if (!sink.failed)
        fill(&sink, context);
    bool ok = WriteJournalPiece(&sink) && FlushFileBuffers(sink.out);
    CloseHandle(sink.out);
    // Our own handle would keep the rename from replacing the file.
    if (ok && j->file != INVALID_HANDLE_VALUE) {
        CloseHandle(j->file);
        j->file = INVALID_HANDLE_VALUE;
    }
    bool replaced = ok && ReplaceWith(tmp, j->path);
    if (!replaced)
        DeleteFileA(tmp.c_str());
    if (j->file == INVALID_HANDLE_VALUE) {
        HANDLE f = OpenForAppend(j->path);
        if (f != INVALID_HANDLE_VALUE && PrepareAppend(f, tag))
            j->file = f;
        else if (f != INVALID_HANDLE_VALUE)
            CloseHandle(f);
    }
    if (replaced) {
        j->records = sink.records;
        j->damaged = false;
    }
    return replaced;
}
