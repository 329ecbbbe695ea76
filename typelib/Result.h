#pragma once

#include <string>
#include <utility>
#include <variant>

namespace mivra {

// Why a read failed, with enough context to find the spot in the file
// ("MSFT header: nrtypeinfos at 0x20").
struct Failure {
    std::string message;
};

// A value or the reason there is none. Readers return these instead of
// throwing, so a corrupt file can only ever produce a failure.
template <class T>
class Result {
public:
    Result(T value) : state_(std::move(value)) {}
    Result(Failure failure) : state_(std::move(failure)) {}

    explicit operator bool() const { return state_.index() == 0; }
    bool ok() const { return state_.index() == 0; }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const Failure& failure() const { return std::get<1>(state_); }

private:
    std::variant<T, Failure> state_;
};

inline Failure fail(std::string message) { return Failure{std::move(message)}; }

}  // namespace mivra
