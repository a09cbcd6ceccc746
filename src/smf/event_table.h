#pragma once
// The storage of a track's events. A dense file decodes into millions of events, and a jump
// decodes its file afresh every time, so fresh memory and the per-event destructor are most of
// the cost of a large file: large tables are mapped in whole huge pages, and the events whose
// payload owns nothing are released without a destructor call.

#include "smf/midi_file_event.h"

#include <array>
#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace carvo::smf {

namespace detail {
// Memory for a table of at least `bytes`; large tables are whole huge pages where the platform
// has them. Throws std::bad_alloc when there is none.
void* allocateTable(std::size_t bytes);
void releaseTable(void* table, std::size_t bytes);

template <class Variant> struct TrivialAlternatives;
template <class... Types> struct TrivialAlternatives<std::variant<Types...>> {
    static constexpr std::array<bool, sizeof...(Types)> value{
        std::is_trivially_destructible_v<Types>...};
};
} // namespace detail

template <class T> class EventTableAllocator {
public:
    using value_type = T;

    EventTableAllocator() = default;
    template <class U> EventTableAllocator(const EventTableAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        if (count > std::size_t(-1) / sizeof(T))
            throw std::bad_array_new_length();
        return static_cast<T*>(detail::allocateTable(count * sizeof(T)));
    }
    void deallocate(T* table, std::size_t count) noexcept {
        detail::releaseTable(table, count * sizeof(T));
    }

    template <class U> void destroy(U* object) noexcept {
        if constexpr (std::is_same_v<U, MIDIFileEvent>) {
            // Ending an object's lifetime without its destructor is allowed when nothing relies on
            // the destructor's effects, and these payloads' destructors have none.
            const std::size_t kind = object->event.index();
            if (kind != std::variant_npos && detail::TrivialAlternatives<Payload>::value[kind])
                return;
        }
        std::destroy_at(object);
    }

    template <class U>
    friend bool operator==(const EventTableAllocator&, const EventTableAllocator<U>&) noexcept {
        return true;
    }
};

using EventTable = std::vector<MIDIFileEvent, EventTableAllocator<MIDIFileEvent>>;

} // namespace carvo::smf
