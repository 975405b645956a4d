#pragma once
#include <cassert>
#include <concepts>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace core {

// Why an operation did not do what was asked, in words the user can read
// (UTF-8, French like every text the program shows).
class Failure {
public:
    explicit Failure(std::string reason) : reason_(std::move(reason)) {}
    explicit Failure(const char* reason) : reason_(reason) {}
    // Qt's strings too, without this library knowing Qt.
    template <class Text>
    requires requires(const Text& t) {
        { t.toStdString() } -> std::convertible_to<std::string>;
    }
    explicit Failure(const Text& reason) : reason_(reason.toStdString()) {}

    const std::string& reason() const { return reason_; }
    // The reason as a string type that has fromStdString (QString).
    template <class Text>
    Text reason_as() const {
        return Text::fromStdString(reason_);
    }

private:
    std::string reason_;
};

// A failure on its way into a Result of any type: `return fail(reason);`.
struct Failed {
    Failure failure;
};

template <class Text>
Failed fail(const Text& reason) {
    return Failed{Failure(reason)};
}
inline Failed fail(Failure failure) { return Failed{std::move(failure)}; }

// What every operation that can fail gives back: its value, or why not.
// The shape of C++23's std::expected<T, Failure>, which the compilers the
// project supports (clang 14 for the fuzz build) do not all have yet.
template <class T = void>
class [[nodiscard]] Result {
public:
    Result(Failed f) : state_(std::in_place_index<1>, std::move(f.failure)) {}
    template <class U = T>
    requires(std::constructible_from<T, U&&> && !std::same_as<std::remove_cvref_t<U>, Result> &&
             !std::same_as<std::remove_cvref_t<U>, Failed>) Result(U&& value)
        : state_(std::in_place_index<0>, std::forward<U>(value)) {}

    bool has_value() const { return state_.index() == 0; }
    explicit operator bool() const { return has_value(); }

    T& operator*() & {
        assert(has_value());
        return std::get<0>(state_);
    }
    const T& operator*() const& {
        assert(has_value());
        return std::get<0>(state_);
    }
    T&& operator*() && {
        assert(has_value());
        return std::get<0>(std::move(state_));
    }
    T* operator->() { return &**this; }
    const T* operator->() const { return &**this; }
    template <class U>
    T value_or(U&& fallback) const& {
        return has_value() ? **this : static_cast<T>(std::forward<U>(fallback));
    }

    const Failure& error() const {
        assert(!has_value());
        return std::get<1>(state_);
    }

private:
    std::variant<T, Failure> state_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failed f) : failure_(std::move(f.failure)) {}

    bool has_value() const { return !failure_; }
    explicit operator bool() const { return has_value(); }
    const Failure& error() const {
        assert(failure_);
        return *failure_;
    }

private:
    std::optional<Failure> failure_;
};

}  // namespace core
