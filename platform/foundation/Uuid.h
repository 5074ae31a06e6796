#pragma once

#include <string>

namespace velmora::Uuid {

// A new random (version 4) UUID as 36 characters of upper-case text,
// "XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX". Thread-safe.
std::string randomText();

} // namespace velmora::Uuid
