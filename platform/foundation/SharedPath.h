#pragma once

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <utility>

namespace velmora {

// An immutable file path whose copies share one path object: a value type for a path copied far
// more often than changed (the file of a source rides along in every edit of a composition of
// thousands of clips, and a path copies its components one by one). Reads go through path() or
// the implicit conversion to const std::filesystem::path&, valid for as long as this object or
// any copy of it holds the same path. Copies may be read on any thread.
class SharedPath {
public:
    SharedPath() = default;
    SharedPath(std::filesystem::path path) : path_(std::make_shared<const std::filesystem::path>(std::move(path))) {}
    SharedPath(const char* path) : SharedPath(std::filesystem::path(path)) {}
    SharedPath(const std::string& path) : SharedPath(std::filesystem::path(path)) {}

    const std::filesystem::path& path() const { return path_ ? *path_ : noPath(); }
    operator const std::filesystem::path&() const { return path(); }

    std::string string() const { return path().string(); }
    std::filesystem::path filename() const { return path().filename(); }

    // Equal paths are equal whether or not they share one object.
    friend bool operator==(const SharedPath& a, const SharedPath& b) { return a.path_ == b.path_ || a.path() == b.path(); }
    friend bool operator==(const SharedPath& a, const std::filesystem::path& b) { return a.path() == b; }
    friend std::ostream& operator<<(std::ostream& out, const SharedPath& path) { return out << path.path(); }

private:
    static const std::filesystem::path& noPath()
    {
        static const std::filesystem::path none;
        return none;
    }

    std::shared_ptr<const std::filesystem::path> path_;
};

} // namespace velmora
