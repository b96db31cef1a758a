#include "process_memory.h"

#include <cstdio>
#include <cstring>
#include <malloc.h>

namespace quorvel::bench {
namespace {

long long statusKiB(const char* key) {
    std::FILE* file = std::fopen("/proc/self/status", "r");
    if (file == nullptr)
        return -1;
    long long kib = -1;
    char line[256];
    const std::size_t keyLength = std::strlen(key);
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (std::strncmp(line, key, keyLength) == 0 && line[keyLength] == ':') {
            std::sscanf(line + keyLength + 1, "%lld", &kib);
            break;
        }
    }
    std::fclose(file);
    return kib;
}

} // namespace

long long residentBytes() {
    const long long kib = statusKiB("VmRSS");
    return kib < 0 ? -1 : kib * 1024;
}

long long peakResidentBytes() {
    const long long kib = statusKiB("VmHWM");
    return kib < 0 ? -1 : kib * 1024;
}

bool resetPeakResident() {
    std::FILE* file = std::fopen("/proc/self/clear_refs", "w");
    if (file == nullptr)
        return false;
    const bool written = std::fputs("5", file) >= 0;
    return std::fclose(file) == 0 && written;
}

void releaseFreeHeap() {
    malloc_trim(0);
}

} // namespace quorvel::bench
