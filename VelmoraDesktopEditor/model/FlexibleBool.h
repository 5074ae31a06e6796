#pragma once

namespace velmora {

// A boolean read leniently from any single JSON value (true, 1, "yes", …); decoding never fails.
struct FlexibleBool {
    bool value = false;

    bool operator==(const FlexibleBool&) const = default;
};

} // namespace velmora
