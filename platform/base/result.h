#pragma once
// Errors as values: a result is a value or an error. An error carries a text that
// names what failed, and the code of the failing call together with the kind of
// code it is, so that a caller translating it (into an HRESULT, an exit status)
// never has to guess.

#include <string>
#include <utility>
#include <variant>

namespace ospreon {

enum class ErrorKind
{
    None,       // no code: the text says everything
    Errno,      // an errno value (sd-bus reports these too)
    Win32,      // a Win32 error code (LSTATUS)
    HResult,    // an HRESULT
    ExitStatus, // a command-line exit status
    Curl,       // a libcurl CURLcode
};

struct Error
{
    ErrorKind kind = ErrorKind::None;
    int code = 0;
    std::string message;

    static Error Plain(std::string message) { return {ErrorKind::None, 0, std::move(message)}; }
    static Error Errno(int code, std::string message)
    {
        return {ErrorKind::Errno, code, std::move(message)};
    }
    static Error Win32(int code, std::string message)
    {
        return {ErrorKind::Win32, code, std::move(message)};
    }
    static Error HResult(int code, std::string message)
    {
        return {ErrorKind::HResult, code, std::move(message)};
    }
    static Error Exit(int status, std::string message)
    {
        return {ErrorKind::ExitStatus, status, std::move(message)};
    }
    static Error Curl(int code, std::string message)
    {
        return {ErrorKind::Curl, code, std::move(message)};
    }

    // The same failure with `context` put before its text.
    Error Prefixed(const std::string& context) const { return {kind, code, context + message}; }
};

template <class T> class [[nodiscard]] Result
{
public:
    Result(T value) : m_state(std::move(value)) {}
    Result(Error error) : m_state(std::move(error)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(m_state); }
    const T& value() const& { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const Error& error() const { return std::get<1>(m_state); }

private:
    std::variant<T, Error> m_state;
};

template <> class [[nodiscard]] Result<void>
{
public:
    Result() = default;
    Result(Error error) : m_error(std::move(error)), m_failed(true) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return m_error; }

private:
    Error m_error;
    bool m_failed = false;
};

} // namespace ospreon
