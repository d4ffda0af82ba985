// Hashing and comparison of the keyed table's paths.
#include "store/keyedtable.h"

namespace {

inline unsigned char Fold(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

}  // namespace

uint32_t HashTableKey(BYTE kind, DWORD id, const char* path, size_t length)
{
    // FNV-1a: short, and good enough for paths that share long prefixes.
    uint32_t h = 2166136261u;
    auto mix = [&h](unsigned char b) { h = (h ^ b) * 16777619u; };
    mix(kind);
    for (int shift = 0; shift < 32; shift += 8)
        mix(static_cast<unsigned char>(id >> shift));
    for (size_t i = 0; i < length; ++i)
        mix(Fold(path[i]));
    return h;
}

bool SamePathFolded(const char* a, const char* b, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (Fold(a[i]) != Fold(b[i]))
            return false;
    return true;
}
