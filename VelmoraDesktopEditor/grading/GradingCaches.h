#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "grading/CubeLUT.h"
#include "grading/LutApplication.h"
#include "platform/image/Image.h"

namespace velmora::Exporter {

// A small process-wide cache with first-in, first-out eviction: a dictionary from text key to
// value and the list of keys in the order they were stored. Reading never reorders; a store that
// makes the list longer than the capacity removes the list's first key and that key's entry.
// The lock is held only for the dictionary and list work of one lookup or one store, never
// while a value is produced: two threads missing one key both produce it and both store it (the
// later value stays; the key is listed twice, and when its older listing reaches the front the
// entry goes although a newer listing remains, which then evicts nothing).
template <class Value>
class FifoCache {
public:
    explicit FifoCache(std::size_t capacity) : capacity_(capacity) {}
    FifoCache(const FifoCache&) = delete;
    FifoCache& operator=(const FifoCache&) = delete;

    std::optional<Value> lookup(const std::string& key) const
    {
        std::lock_guard lock(mutex_);
        const auto it = entries_.find(key);
        if (it == entries_.end()) {
            return std::nullopt;
        }
        return it->second;
    }

    void store(const std::string& key, Value value)
    {
        std::lock_guard lock(mutex_);
        entries_.insert_or_assign(key, std::move(value));
        order_.push_back(key);
        if (order_.size() > capacity_) {
            entries_.erase(order_.front());
            order_.pop_front();
        }
    }

    std::size_t capacity() const { return capacity_; }
    std::size_t size() const
    {
        std::lock_guard lock(mutex_);
        return entries_.size();
    }
    bool contains(const std::string& key) const
    {
        std::lock_guard lock(mutex_);
        return entries_.count(key) != 0;
    }
    // The key order list, oldest first (may hold a key twice after a race).
    std::vector<std::string> keyOrder() const
    {
        std::lock_guard lock(mutex_);
        return {order_.begin(), order_.end()};
    }
    // Forgets everything. The editor never empties these caches; tests do.
    void removeAll()
    {
        std::lock_guard lock(mutex_);
        entries_.clear();
        order_.clear();
    }

private:
    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, Value> entries_;
    std::deque<std::string> order_;
};

// A cube built on the processor and its filter. Shared read-only by every thread that hits it.
struct CachedCube {
    CubeLUT cube;
    CubeFilter filter;
};
using CachedCubeRef = std::shared_ptr<const CachedCube>;

// Parses .cube text and builds its filter; throws the parser's "cube" error.
CachedCubeRef makeCachedCube(std::string_view cubeText);

// Decoded source frames of the export tab's preview stills, fitted to the output size: 6 entries.
FifoCache<Image>& previewBaseFrameCache();
// Basic-grade fallback cubes: 24 entries, keys of basicCubeKey.
FifoCache<CachedCubeRef>& basicCubeCache();
// Mood fallback cubes: 24 entries, keys of moodCubeKey.
FifoCache<CachedCubeRef>& moodCubeCache();

// `value` with six decimals ("%.6f"), in the C locale.
std::string formatSixDecimals(double value);

// "<source path>#<frame index>#<width>x<height>".
std::string previewBaseFrameKey(const std::string& sourcePath, std::int64_t frameIndex,
                                std::int64_t outW, std::int64_t outH);

} // namespace velmora::Exporter
