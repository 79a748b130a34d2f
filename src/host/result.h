#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <variant>

namespace tarnlow {

// The reason an operation failed, as a text the operator can read.
struct Error {
    QString message;
};

// Either a value or the reason why there is none. Errors are values throughout the core;
// nothing here throws across an event handler.
template <typename T> class [[nodiscard]] Result {
public:
    Result(T value)
        : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(Error error)
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

    const QString& error() const { return std::get<1>(m_state).message; }

private:
    std::variant<T, Error> m_state;
};

// Result of an operation that yields nothing but success or a reason for failure.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Error error)
        : m_error(std::move(error.message)) {}
    static Status success() { return {}; }

    bool ok() const { return !m_error.has_value(); }
    explicit operator bool() const { return ok(); }
    const QString& error() const {
        static const QString none;
        return m_error ? *m_error : none;
    }

private:
    std::optional<QString> m_error;
};

} // namespace tarnlow
