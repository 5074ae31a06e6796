#pragma once

#include <filesystem>
#include <system_error>
#include <utility>

namespace velmora {

// Removes a scratch file when the scope that made it ends, however it ends. Removal errors are
// dropped: the file was never the user's, and an unwinding scope has no one to tell.
class RemovedOnExit {
public:
    explicit RemovedOnExit(std::filesystem::path path) : path_(std::move(path)) {}
    ~RemovedOnExit()
    {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    RemovedOnExit(const RemovedOnExit&) = delete;
    RemovedOnExit& operator=(const RemovedOnExit&) = delete;

private:
    std::filesystem::path path_;
};

} // namespace velmora
