// Benchmark: one file through CopyToDiskTarget, timed around the copy alone.
// Usage: disk_throughput <source file> <target folder>
#include "store/store.h"
#include "transfer/diskcopy.h"

#include <stdio.h>
#include <string.h>

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: disk_throughput <source file> <target folder>\n");
        return 2;
    }
    const char* source = argv[1];
    char item[TK_PATH_SIZE];
    lstrcpynA(item, source, static_cast<int>(FileNamePart(source) - source) + 1);

    // A folder item of its own with one overwrite target; removed afterwards.
    CreateItemKey(item);
    ItemSettings* s = NewItemSettings(item);
    s->switches->hdEnabled = 1;
    s->switches->hdCount = 1;
    lstrcpynA(s->hdTargets[0]->folder, argv[2], TK_PATH_SIZE);
    s->hdTargets[0]->storageType = STORAGE_SYNC;
    SaveItemSettings(item, s, SAVE_HD);
    DWORD id = s->hdTargets[0]->id;
    FreeItemSettings(s);

    TransferRequest* request = NewRequest(source);
    request->kind = KIND_HD;
    WorkerStart start = {};
    char stored[TK_PATH_SIZE];
    LARGE_INTEGER frequency, begin, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begin);
    int result = CopyToDiskTarget(request, &start, id, stored);
    QueryPerformanceCounter(&end);
    FreeRequest(request);
    DeleteItemKey(item);

    double seconds = static_cast<double>(end.QuadPart - begin.QuadPart) / frequency.QuadPart;
    if (result != 1 || !stored[0]) {
        fprintf(stderr, "copy failed with code %d\n", result);
        return 1;
    }
    printf("%.3f\n", seconds);
    return 0;
}
