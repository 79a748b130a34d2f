#pragma once

#include <QString>

#include <type_traits>
#include <utility>
#include <variant>

namespace tarnlow {

// A reason given as a text the operator can read, wrapped so that a Result of a text can tell it
// from the value: `return Error{reason};`.
struct Error {
    QString message;
};

// Either a value or the reason why there is none. Errors are values throughout the core; nothing
// here throws across an event handler. E is a text by default; operator-facing failures use
// NumberedMessage.
template <typename T, typename E = QString> class [[nodiscard]] Result {
public:
    Result(T value)
        : m_state(std::in_place_index<0>, std::move(value)) {}
    template <typename U = E>
    requires std::is_same_v<U, QString> Result(Error error)
        : m_state(std::in_place_index<1>, std::move(error.message)) {}
    // A reason converts on its own where it cannot be mistaken for a value.
    template <typename U = E>
    requires(!std::is_same_v<U, T>) Result(E error)
        : m_state(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T& value() const& { return std::get<0>(m_state); }
    T& value() & { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }
    const T& operator*() const& { return value(); }
    T& operator*() & { return value(); }
    const T* operator->() const { return &value(); }
    T* operator->() { return &value(); }

    const E& error() const { return std::get<1>(m_state); }

private:
    std::variant<T, E> m_state;
};

// An operation that yields nothing but success or the reason for failure.
template <typename E> class [[nodiscard]] Result<void, E> {
public:
    Result() = default;
    template <typename U = E>
    requires std::is_same_v<U, QString> Result(Error error)
        : m_failed(true)
        , m_error(std::move(error.message)) {}
    Result(E error)
        : m_failed(true)
        , m_error(std::move(error)) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const E& error() const { return m_error; }

private:
    bool m_failed = false;
    E m_error{};
};

} // namespace tarnlow
