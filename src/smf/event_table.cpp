// Large event tables in whole huge pages: one page fault then maps 2 MiB instead of 4 KiB, which
// matters most in virtual machines, where each fault is dear.

#include "smf/event_table.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// Under AddressSanitizer every table comes from the heap, where reads past its end are caught.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CARVO_HEAP_TABLES_ONLY 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define CARVO_HEAP_TABLES_ONLY 1
#endif
#if defined(__linux__) && defined(MADV_HUGEPAGE) && !defined(CARVO_HEAP_TABLES_ONLY)
#define CARVO_MAPPED_TABLES 1
#endif

namespace carvo::smf::detail {

namespace {

#if defined(CARVO_MAPPED_TABLES)
constexpr std::size_t hugePage = std::size_t{1} << 21;
// Below this a table comes from the ordinary heap: a few pages are not worth a mapping of their
// own, and most files are small.
constexpr std::size_t mappedMinimum = 2 * hugePage;

std::size_t mappedLength(std::size_t bytes) {
    return (bytes + hugePage - 1) & ~(hugePage - 1);
}

// A mapping aligned to a huge page: map one huge page more than needed, then return the
// unaligned ends.
void* mapAligned(std::size_t bytes) {
    const std::size_t length = mappedLength(bytes);
    if (length < bytes || length + hugePage < length)
        throw std::bad_alloc();
    void* raw = ::mmap(nullptr, length + hugePage, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const auto rawStart = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t start = (rawStart + hugePage - 1) & ~std::uintptr_t{hugePage - 1};
    const std::uintptr_t rawEnd = rawStart + length + hugePage;
    if (start > rawStart)
        ::munmap(raw, start - rawStart);
    if (rawEnd > start + length)
        ::munmap(reinterpret_cast<void*>(start + length), rawEnd - (start + length));
    void* table = reinterpret_cast<void*>(start);
    ::madvise(table, length, MADV_HUGEPAGE);
    return table;
}
#endif

} // namespace

void* allocateTable(std::size_t bytes) {
#if defined(CARVO_MAPPED_TABLES)
    if (bytes >= mappedMinimum)
        return mapAligned(bytes);
#endif
    return ::operator new(bytes);
}

void releaseTable(void* table, [[maybe_unused]] std::size_t bytes) {
#if defined(CARVO_MAPPED_TABLES)
    if (bytes >= mappedMinimum) {
        ::munmap(table, mappedLength(bytes));
        return;
    }
#endif
    ::operator delete(table);
}

} // namespace carvo::smf::detail
