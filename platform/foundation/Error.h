#pragma once

#include <stdexcept>
#include <string>

namespace velmora {

// A failure of a file, decode or export operation: a domain ("EditSession", "preview",
// "export", "cube", "grade", …), a numeric code within it and a message for the user.
// Errors that come from FFmpeg or the file system carry that library's own text as message.
class Error : public std::runtime_error {
public:
    Error(std::string domain, int code, std::string message);

    const std::string& domain() const noexcept { return domain_; }
    int code() const noexcept { return code_; }
    const std::string& message() const noexcept { return message_; }

    // The message as shown to the user (shownText); never empty: an error without a message
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
