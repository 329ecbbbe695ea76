#pragma once

#include <string>
#include <utility>
#include <variant>

namespace mivra {

// Why a read failed, with enough context to find the spot in the file
// ("MSFT header: nrtypeinfos at 0x20").
struct Failure {
    // The step of the API that failed, where callers must tell them apart:
    // OLE Automation fails either in getting a type information object or in
    // reading its attributes, and the raw dump prints the two differently.
    // EmptySlot: a function slot that a dispatch interface's declared
    // vtable counts but none of its interfaces describes.
    enum class Step { Other, TypeInfo, Attributes, EmptySlot };

    std::string message;
    Step step = Step::Other;
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

inline Failure fail(std::string message, Failure::Step step = Failure::Step::Other) {
    return Failure{std::move(message), step};
}

}  // namespace mivra
