#pragma once

#include <exception>

#include "platform/foundation/Error.h"

namespace velmora {

// The failure held by `failure` as the one error type the workspace shows (with
// fullDescription()): a velmora::Error as it is; a JSON decoding failure as domain "decoding"
// (code 1 type mismatch, 2 value not found, 3 key not found, 4 data corrupted) with its coding
// path and description; any other exception as domain "export", code 0, with its what() text.
// `failure` must not be null.
Error workspaceError(const std::exception_ptr& failure);

} // namespace velmora
