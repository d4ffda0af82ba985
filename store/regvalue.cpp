// Bounded readers and writers of single registry values.
#include "store/regvalue.h"
#include "store/layout.h"

#include <string.h>
#include <vector>

namespace {

// Fetches a value's type and data whole, whatever its size.
bool QueryWhole(HKEY key, const char* name, DWORD* type, std::vector<BYTE>* data)
{
    DWORD size = 0;
    if (RegQueryValueExA(key, name, NULL, type, NULL, &size) != ERROR_SUCCESS)
        return false;
    // The value may change between the two calls; retry a few times.
    for (int attempt = 0; attempt < 4; ++attempt) {
        data->assign(size + 1, 0);
        DWORD got = size;
        LONG rc = RegQueryValueExA(key, name, NULL, type, data->data(), &got);
        if (rc == ERROR_SUCCESS) {
            data->resize(got);
            return true;
        }
        if (rc != ERROR_MORE_DATA)
            return false;
        size = got;
    }
    return false;
}

// Fetches a value's type and data whole, asking once with room for the
// expected size first: the usual value fits, and each ask is a round trip
// to the registry.
bool QueryValue(HKEY key, const char* name, DWORD expected, DWORD* type, std::vector<BYTE>* data)
{
    data->assign(expected + 1, 0);
    DWORD got = expected;
    LONG rc = RegQueryValueExA(key, name, NULL, type, data->data(), &got);
    if (rc == ERROR_SUCCESS && got <= expected) {
        data->resize(got);
        return true;
    }
    if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA)
        return false;
    return QueryWhole(key, name, type, data);
}

}  // namespace

BOOL ReadRegText(HKEY key, const char* name, char* buf, DWORD size)
{
    if (!key || !buf || size == 0)
        return FALSE;
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!QueryValue(key, name, size, &type, &data) || type != REG_SZ)
        return FALSE;
    size_t len = strnlen(reinterpret_cast<const char*>(data.data()), data.size());
    if (len >= size)
        return FALSE;
    memcpy(buf, data.data(), len);
    buf[len] = '\0';
    return TRUE;
}

BOOL ReadRegBinary(HKEY key, const char* name, void* out, DWORD size)
{
    if (!key || !out)
        return FALSE;
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!QueryValue(key, name, size, &type, &data))
        return FALSE;
    if (type != REG_BINARY && type != REG_DWORD)
        return FALSE;
    if (data.size() < size)
        return FALSE;
    memcpy(out, data.data(), size);
    return TRUE;
}

BOOL ReadRegDword(HKEY key, const char* name, DWORD* out)
{
    return ReadRegBinary(key, name, out, sizeof(DWORD));
}

BOOL WriteRegFixedText(HKEY key, const char* name, const char* text, DWORD size)
{
    if (!key || !text)
        return FALSE;
    size_t len = strlen(text);
    if (len >= size)
        return FALSE;
    std::vector<BYTE> data(size, 0);
    memcpy(data.data(), text, len);
    return RegSetValueExA(key, name, 0, REG_SZ, data.data(), size) == ERROR_SUCCESS;
}

BOOL WriteRegText(HKEY key, const char* name, const char* text)
{
    if (!key || !text)
        return FALSE;
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(strlen(text))) == ERROR_SUCCESS;
}

BOOL WriteRegBinary(HKEY key, const char* name, const void* data, DWORD size)
{
    if (!key)
        return FALSE;
    return RegSetValueExA(key, name, 0, REG_BINARY, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
}

BOOL WriteRegDword(HKEY key, const char* name, DWORD value)
{
    if (!key)
        return FALSE;
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value) == ERROR_SUCCESS;
}

HKEY OpenProductKey(void)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, TK_PRODUCT_KEY, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return NULL;
    return key;
}

BOOL DeleteKeyTree(HKEY parent, const char* name)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return TRUE;
    char child[256];
    // Always take the first remaining subkey; deleting shifts the indexes.
    for (;;) {
        DWORD len = sizeof child;
        if (RegEnumKeyExA(key, 0, child, &len, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        if (!DeleteKeyTree(key, child))
            break;
    }
    RegCloseKey(key);
    return RegDeleteKeyA(parent, name) == ERROR_SUCCESS;
}
