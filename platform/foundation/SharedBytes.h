#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace velmora {

// Immutable bytes whose copies share one buffer: a value type for data that is copied far more
// often than changed (a source's poster JPEG rides along in every copy of the session and every
// refresh of the media pool). Assigning new bytes replaces the buffer, never writes into a
// shared one. Reads go through bytes() or the implicit conversion to const std::vector&; the
// reference stays valid for as long as this object or any copy of it holds the same bytes.
// Copies may be read on any thread.
class SharedBytes {
public:
    using Buffer = std::vector<std::uint8_t>;

    SharedBytes() = default;
    SharedBytes(Buffer bytes) : bytes_(std::make_shared<const Buffer>(std::move(bytes))) {}

    const Buffer& bytes() const { return *buffer(); }
    operator const Buffer&() const { return bytes(); }

    bool empty() const { return bytes().empty(); }
    const std::uint8_t* data() const { return bytes().data(); }
    std::size_t size() const { return bytes().size(); }
    // The shared buffer itself (never null), for work that outlives this value (a decoder on a
    // worker).
    const std::shared_ptr<const Buffer>& buffer() const { return bytes_ ? bytes_ : noBytes(); }

    // Equal bytes are equal whether or not they share a buffer.
    friend bool operator==(const SharedBytes& a, const SharedBytes& b)
    {
        return a.buffer() == b.buffer() || a.bytes() == b.bytes();
    }
    friend bool operator==(const SharedBytes& a, const Buffer& b) { return a.bytes() == b; }

private:
    static const std::shared_ptr<const Buffer>& noBytes()
    {
        static const std::shared_ptr<const Buffer> none = std::make_shared<const Buffer>();
        return none;
    }

    std::shared_ptr<const Buffer> bytes_;
};

} // namespace velmora
