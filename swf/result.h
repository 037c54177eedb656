// Result<T>: a value or an error with context (message, SWF tag code, byte offset).
// Used by everything that reads untrusted movie bytes; no exceptions cross this boundary.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace swf {

struct Error {
    std::string message;
    int tagCode = -1;     // SWF tag code the error belongs to, -1 when it is not inside a tag
    int64_t offset = -1;  // byte offset in the uncompressed movie (header included), -1 when unknown

    // "message (tag 2 at offset 123)" for logs and user messages.
    std::string describe() const;
};

inline Error makeError(std::string message, int tagCode = -1, int64_t offset = -1) {
    return Error{std::move(message), tagCode, offset};
}

template <typename T>
class [[nodiscard]] Result {
  public:
    Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : v_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }

    // Precondition: ok().
    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    // Precondition: !ok().
    const Error& error() const { return std::get<1>(v_); }

  private:
    std::variant<T, Error> v_;
};

}  // namespace swf
