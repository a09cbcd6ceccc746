#pragma once
// A value or the reason there is none. The decoders try up to 22 event kinds per event, so a
// refusal must be an ordinary return value, never an exception.

#include <type_traits>
#include <utility>
#include <variant>

namespace carvo::bytes {

template <class E> struct Failure { E error; };

template <class E> Failure<E> fail(E error) {
    return Failure<E>{std::move(error)};
}

namespace detail {
// Asking a result for the side it does not hold is a bug in the caller: stop at once, with the
// reason on standard error, rather than hand out memory that holds no such object.
[[noreturn]] void missingSide(const char* what);
} // namespace detail

template <class T, class E> class Expected {
public:
    Expected(T value) : m_storage(std::in_place_index<0>, std::move(value)) {}
    template <class F>
    Expected(Failure<F> failure) : m_storage(std::in_place_index<1>, std::move(failure.error)) {}

    explicit operator bool() const { return m_storage.index() == 0; }

    T& value() & { return *held(); }
    const T& value() const& { return *held(); }
    T&& value() && { return std::move(*held()); }
    T& operator*() & { return *held(); }
    const T& operator*() const& { return *held(); }
    T* operator->() { return held(); }
    const T* operator->() const { return held(); }

    const E& error() const {
        const E* error = std::get_if<1>(&m_storage);
        if (!error) [[unlikely]]
            detail::missingSide("error() of a result that holds a value");
        return *error;
    }

private:
    T* held() {
        T* value = std::get_if<0>(&m_storage);
        if (!value) [[unlikely]]
            detail::missingSide("value() of a failed result");
        return value;
    }
    const T* held() const { return const_cast<Expected*>(this)->held(); }

    std::variant<T, E> m_storage;
};

} // namespace carvo::bytes
