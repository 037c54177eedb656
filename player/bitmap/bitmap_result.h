// Value-or-error result of the bitmap decoders. A failed decode carries a message with enough context
// (tag, format, byte counts) for the player to log it; the bitmap is then not shown, as Flash shows nothing
// for a broken bitmap.
#pragma once

#include <string>
#include <utility>
#include <variant>

#include "player/render/geometry.h"

namespace player {

class BitmapResult {
  public:
    BitmapResult(Bitmap bitmap) : v_(std::move(bitmap)) {}  // NOLINT: implicit on purpose
    static BitmapResult failure(std::string message) { return BitmapResult(Error{std::move(message)}); }

    bool ok() const { return std::holds_alternative<Bitmap>(v_); }
    explicit operator bool() const { return ok(); }

    // Only valid when ok().
    const Bitmap& value() const { return std::get<Bitmap>(v_); }
    Bitmap& value() { return std::get<Bitmap>(v_); }
    Bitmap take() { return std::move(std::get<Bitmap>(v_)); }

    // Empty when ok().
    const std::string& error() const {
        static const std::string none;
        return ok() ? none : std::get<Error>(v_).message;
    }

    // Prefixes the error message with context ("DefineBitsJPEG3: ..."); no effect on success.
    BitmapResult&& withContext(const std::string& context) && {
        if (!ok()) {
            auto& e = std::get<Error>(v_);
            e.message = context + ": " + e.message;
        }
        return std::move(*this);
    }

  private:
    struct Error {
        std::string message;
    };
    explicit BitmapResult(Error e) : v_(std::move(e)) {}
    std::variant<Bitmap, Error> v_;
};

}  // namespace player
