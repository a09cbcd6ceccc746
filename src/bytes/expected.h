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
    Expected(T value) : value_(std::move(value)) {}
    template <class F> Expected(Failure<F> failure) : error_(std::move(failure.error)) {}

    explicit operator bool() const { return value_.has_value(); }

    T& value() & { return *value_; }
    const T& value() const& { return *value_; }
    T&& value() && { return std::move(*value_); }
    T& operator*() & { return *value_; }
    const T& operator*() const& { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }

    // Meaningful only when there is no value.
    const E& error() const { return error_; }

private:
    std::optional<T> value_;
    E error_{};
};

} // namespace carvo::bytes
