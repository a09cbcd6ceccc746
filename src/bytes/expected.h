#pragma once
// A value or the reason there is none. The decoders try up to 22 event kinds per event, so a
// refusal must be an ordinary return value, never an exception.

#include <optional>
#include <utility>

namespace carvo::bytes {

template <class E> struct Failure { E error; };

template <class E> Failure<E> fail(E error) {
    return Failure<E>{std::move(error)};
}

template <class T, class E> class Expected {
public:
    Expected(T value) : m_value(std::move(value)) {}
    template <class F> Expected(Failure<F> failure) : m_error(std::move(failure.error)) {}

    explicit operator bool() const { return m_value.has_value(); }

    T& value() & { return *m_value; }
    const T& value() const& { return *m_value; }
    T&& value() && { return std::move(*m_value); }
    T& operator*() & { return *m_value; }
    const T& operator*() const& { return *m_value; }
    T* operator->() { return &*m_value; }
    const T* operator->() const { return &*m_value; }

    // Meaningful only when there is no value.
    const E& error() const { return m_error; }

private:
    std::optional<T> m_value;
    E m_error{};
};

} // namespace carvo::bytes
