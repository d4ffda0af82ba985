// A compact in-memory table keyed by (target kind, target id, file path): the form in which the
// pending copies and the stored versions are held.
#pragma once
#include <windows.h>

#include <stdint.h>
#include <string.h>

#include <vector>

// Paths are compared with ASCII letters folded: the drive letter and names typed in another
// case meet, and the result does not depend on the code page. Two names that differ only in
// the case of a non-ASCII letter stay two keys, which costs at most one copy too many.
uint32_t HashTableKey(BYTE kind, DWORD id, const char* path, size_t length);
bool SamePathFolded(const char* a, const char* b, size_t length);

// Every path lives once in one text block and every entry in one array, with an
// open-addressing index over them: some 40 bytes per entry beside its path, against several
// heap blocks per entry in a node-based map. A removed entry stays dead in place until the
// dead outnumber the living and the table is packed again.
template <class V>
struct KeyedTable {
    struct Slot {
        uint32_t textAt;  // offset of the path (zero-terminated) in text
        uint16_t length;  // path length
        BYTE kind;
        BYTE live;
        DWORD id;
        uint32_t hash;
        V value;
        const char* Path(const KeyedTable& t) const { return t.text.data() + textAt; }
    };

    std::vector<char> text;
    std::vector<Slot> slots;
    std::vector<uint32_t> index;  // slot number + 1, 0 for a free place; a power of two long
    size_t live = 0;

    // The entry for the key, or NULL.
    Slot* Find(BYTE kind, DWORD id, const char* path, size_t length)
    {
        if (index.empty())
            return NULL;
        uint32_t hash = HashTableKey(kind, id, path, length);
        size_t mask = index.size() - 1;
        for (size_t at = hash & mask; index[at]; at = (at + 1) & mask) {
            Slot& s = slots[index[at] - 1];
            if (s.live && s.hash == hash && s.kind == kind && s.id == id && s.length == length &&
                SamePathFolded(s.Path(*this), path, length))
                return &s;
        }
        return NULL;
    }

    // The entry for the key, made with a zeroed value when it was not there. Throws
    // std::bad_alloc when memory runs out; the table is unchanged then.
    Slot* Put(BYTE kind, DWORD id, const char* path, size_t length, bool* added = NULL)
    {
        if (Slot* s = Find(kind, id, path, length)) {
            if (added)
                *added = false;
            return s;
        }
        if ((slots.size() + 1) * 2 > index.size())
            Rebuild(slots.size() + 1);
        Slot s = {};
        s.textAt = static_cast<uint32_t>(text.size());
        s.length = static_cast<uint16_t>(length);
        s.kind = kind;
        s.live = 1;
        s.id = id;
        s.hash = HashTableKey(kind, id, path, length);
        // Grown by doubling: reserving the exact size would copy all text at every entry.
        if (text.capacity() - text.size() < length + 1)
            text.reserve(text.size() + length + 1 > text.capacity() * 2 ? text.size() + length + 1
                                                                        : text.capacity() * 2);
        slots.push_back(s);
        text.insert(text.end(), path, path + length);
        text.push_back('\0');
        Link(slots.size() - 1);
        ++live;
        if (added)
            *added = true;
        return &slots.back();
    }

    void Remove(Slot* s)
    {
        if (!s || !s->live)
            return;
        s->live = 0;
        --live;
        // Packing is O(n); waiting until half is dead keeps it rare.
        if (slots.size() > 1024 && live < slots.size() / 2) {
            try {
                Rebuild(live);
            } catch (...) {
                // Unpacked is only larger, never wrong.
            }
        }
    }

    void Clear()
    {
        text.clear();
        slots.clear();
        index.clear();
        live = 0;
    }

    // Packs the living entries and sizes the index for at least count of them.
    void Rebuild(size_t count)
    {
        std::vector<char> newText;
        std::vector<Slot> newSlots;
        newSlots.reserve(count > live ? count : live);
        size_t textSize = 0;
        for (const Slot& s : slots)
            if (s.live)
                textSize += s.length + 1u;
        newText.reserve(textSize);
        for (const Slot& s : slots) {
            if (!s.live)
                continue;
            Slot n = s;
            n.textAt = static_cast<uint32_t>(newText.size());
            newText.insert(newText.end(), s.Path(*this), s.Path(*this) + s.length + 1);
            newSlots.push_back(n);
        }
        size_t size = 16;
        while (size < (count > live ? count : live) * 2)
            size *= 2;
        std::vector<uint32_t> newIndex(size, 0);
        text.swap(newText);
        slots.swap(newSlots);
        index.swap(newIndex);
        for (size_t i = 0; i < slots.size(); ++i)
            Link(i);
    }

private:
    void Link(size_t slot)
    {
        size_t mask = index.size() - 1;
        size_t at = slots[slot].hash & mask;
        while (index[at])
            at = (at + 1) & mask;
        index[at] = static_cast<uint32_t>(slot + 1);
    }
};

// Packs a table just read from its file, where growth by doubling left up to half of its
// arrays unused. A table that cannot be packed for lack of memory stays as it is.
template <class V>
void PackTable(KeyedTable<V>* table)
{
    try {
        table->Rebuild(table->live);
    } catch (...) {
    }
}
