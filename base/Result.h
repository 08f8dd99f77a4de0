#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace lumora
{

// Why something did not work: a sentence for the user, ready to show.
struct Failure {
    QString message;
};

inline Failure fail(QString message)
{
    return Failure{std::move(message)};
}

// A value, or why there is none. Every operation that can fail for a reason
// the user should read returns one of these, so callers meet one shape of
// failure: test ok(), then take value() or error().
template <typename T = void> class [[nodiscard]] Result
{
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Failure failure) : m_error(std::move(failure.message)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    const T &value() const & { return *m_value; }
    T &value() & { return *m_value; }
    T &&value() && { return std::move(*m_value); }
    const T *operator->() const { return &*m_value; }
    // Empty when ok().
    const QString &error() const { return m_error; }

private:
    std::optional<T> m_value;
    QString m_error;
};

template <> class [[nodiscard]] Result<void>
{
public:
    Result() = default;
    Result(Failure failure) : m_error(std::move(failure.message)), m_failed(true) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const QString &error() const { return m_error; }

private:
    QString m_error;
    bool m_failed = false;
};

} // namespace lumora
