#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velmora {

// The most bytes of one failure's words that an alert or a status line shows. Past it the words
// are cut in the middle ("…"): however much of its input a failure quotes, laying it out never
// holds up the window.
inline constexpr std::size_t shownFailureBytes = 1000;

// `text` as the words of a failure are shown to the user: whole up to shownFailureBytes, cut in
// the middle past it. Error shows its message through here; so does every alert or status line
// that shows words of a failure that come from elsewhere (an exception's what()).
std::string shownFailureText(std::string_view text);

// A failure of a file, decode or export operation: a domain ("EditSession", "preview",
// "export", "cube", "grade", …), a numeric code within it and a message for the user.
// Errors that come from FFmpeg or the file system carry that library's own text as message.
class Error : public std::runtime_error {
public:
    Error(std::string domain, int code, std::string message);

    const std::string& domain() const noexcept { return domain_; }
    int code() const noexcept { return code_; }
    const std::string& message() const noexcept { return message_; }

    // The message as shown to the user (shownFailureText); never empty: an error without a message
    // is shown by its domain and code ("Failed with export error 7 (no description)"). what() and
    // fullDescription() quote the same words.
    std::string localizedDescription() const;
    // `Error Domain=<domain> Code=<code> "<localizedDescription>"`.
    std::string fullDescription() const;

private:
    std::string domain_;
    int code_;
    std::string message_;
};

} // namespace velmora
