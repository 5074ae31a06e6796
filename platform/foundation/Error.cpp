#include "platform/foundation/Error.h"

#include "platform/foundation/ShownText.h"

namespace velmora {

namespace {

// The words a user is shown: the message, or, for a failure that came without one, its domain
// and code, so that no alert or status line is ever left empty.
std::string shownMessage(const std::string& domain, int code, const std::string& message)
{
    return message.empty() ? "Failed with " + domain + " error " + std::to_string(code) + " (no description)"
                           : shownText(message);
}

std::string describe(const std::string& domain, int code, const std::string& message)
{
    return "Error Domain=" + domain + " Code=" + std::to_string(code) + " \"" + shownMessage(domain, code, message) +
           "\"";
}

} // namespace

Error::Error(std::string domain, int code, std::string message)
    : std::runtime_error(describe(domain, code, message))
    , domain_(std::move(domain))
    , code_(code)
    , message_(std::move(message))
{
}

std::string Error::localizedDescription() const
{
    return shownMessage(domain_, code_, message_);
}

std::string Error::fullDescription() const
{
    return describe(domain_, code_, message_);
}

} // namespace velmora
