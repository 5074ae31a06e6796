#include "platform/foundation/Error.h"

namespace velmora {

namespace {

std::string describe(const std::string& domain, int code, const std::string& message)
{
    return "Error Domain=" + domain + " Code=" + std::to_string(code) + " \"" + message + "\"";
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
    return message_;
}

std::string Error::fullDescription() const
{
    return describe(domain_, code_, message_);
}

} // namespace velmora
