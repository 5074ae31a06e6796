#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <ostream>
#include <utility>
#include <vector>

namespace velmora {

// An immutable value whose copies share one object: a value type for data copied far more often
// than changed (a source's poster JPEG rides along in every copy of the session and every refresh
// of the media pool; a source's file in every edit of a composition of thousands of clips, and a
// path copies its components one by one). Assigning a new value replaces the shared object, never
// writes into it. Making one from a value and taking a value out (copy()) are the only copies of
// the value itself, and both are spelled out at the call: reads go through get() or ->, whose
// reference stays valid for as long as this object or any copy of it holds the same value. Copies
// may be read on any thread.
template <class T>
class SharedValue {
public:
    SharedValue() = default;
    explicit SharedValue(T value) : value_(std::make_shared<const T>(std::move(value))) {}

    const T& get() const { return *shared(); }
    const T* operator->() const { return shared().get(); }
    // A copy of the value itself, for a caller that needs one of its own.
    T copy() const { return get(); }
    // The shared object itself (never null), for work that outlives this value (a decoder on a
    // worker).
    const std::shared_ptr<const T>& shared() const { return value_ ? value_ : none(); }

    // Equal values are equal whether or not they share one object.
    friend bool operator==(const SharedValue& a, const SharedValue& b)
    {
        return a.shared() == b.shared() || a.get() == b.get();
    }
    friend bool operator==(const SharedValue& a, const T& b) { return a.get() == b; }
    friend std::ostream& operator<<(std::ostream& out, const SharedValue& value)
        requires requires(std::ostream& o, const T& v) { o << v; }
    {
        return out << value.get();
    }

private:
    static const std::shared_ptr<const T>& none()
    {
        static const std::shared_ptr<const T> empty = std::make_shared<const T>();
        return empty;
    }

    std::shared_ptr<const T> value_;
};

using SharedBytes = SharedValue<std::vector<std::uint8_t>>;
using SharedPath = SharedValue<std::filesystem::path>;

} // namespace velmora
