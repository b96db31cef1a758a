// Replaces malloc and its relatives for the whole process (the executable's definitions come
// first in symbol lookup, so Qt's and the C++ library's allocations land here too) and forwards
// each call to glibc's own allocator, counting the bytes in use on the way.

#include "heap_counter.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <malloc.h>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void* __libc_valloc(std::size_t size);
void* __libc_pvalloc(std::size_t size);
void __libc_free(void* block);
}

namespace quorvel::bench::heap {
namespace {

std::atomic<long long> live{0};
std::atomic<long long> peak{0};

void grow(long long bytes) {
    const long long now = live.fetch_add(bytes, std::memory_order_relaxed) + bytes;
    long long seen = peak.load(std::memory_order_relaxed);
    while (now > seen && !peak.compare_exchange_weak(seen, now, std::memory_order_relaxed)) {
    }
}

void* counted(void* block) {
    if (block != nullptr)
        grow(static_cast<long long>(malloc_usable_size(block)));
    return block;
}

} // namespace

long long liveBytes() {
    return live.load(std::memory_order_relaxed);
}

void resetPeak() {
    peak.store(live.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

long long peakBytes() {
    return peak.load(std::memory_order_relaxed);
}

} // namespace quorvel::bench::heap

using quorvel::bench::heap::counted;
using quorvel::bench::heap::grow;

extern "C" {

void* malloc(std::size_t size) noexcept {
    return counted(__libc_malloc(size));
}

void* calloc(std::size_t count, std::size_t size) noexcept {
    return counted(__libc_calloc(count, size));
}

void free(void* block) noexcept {
    if (block != nullptr)
        grow(-static_cast<long long>(malloc_usable_size(block)));
    __libc_free(block);
}

void* realloc(void* block, std::size_t size) noexcept {
    const long long before = block != nullptr ? malloc_usable_size(block) : 0;
    void* moved = __libc_realloc(block, size);
    if (moved != nullptr)
        grow(static_cast<long long>(malloc_usable_size(moved)) - before);
    else if (block != nullptr && size == 0) // glibc frees the block
        grow(-before);
    return moved;
}

void* memalign(std::size_t alignment, std::size_t size) noexcept {
    return counted(__libc_memalign(alignment, size));
}

void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    return counted(__libc_memalign(alignment, size));
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size) noexcept {
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0)
        return EINVAL;
    void* block = counted(__libc_memalign(alignment, size));
    if (block == nullptr && size != 0)
        return ENOMEM;
    *result = block;
    return 0;
}

void* valloc(std::size_t size) noexcept {
    return counted(__libc_valloc(size));
}

void* pvalloc(std::size_t size) noexcept {
    return counted(__libc_pvalloc(size));
}

} // extern "C"
