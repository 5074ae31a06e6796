#pragma once

#include <atomic>
#include <filesystem>
#include <thread>

namespace velmora::test {

// A named pipe made with mkfifo, standing where a media, LUT, job or project file is expected.
// Code that opens it for reading the ordinary way would wait for a writer for ever; so that a
// test of such code fails instead of hanging, a watchdog thread keeps offering a writer that
// opens and closes at once: a reader blocked in open() then reads an empty file. opened() says
// whether a reader ever got that far (a reader that opens without waiting and reads nothing
// counts too). The pipe is removed with the object.
class NamedPipe {
public:
    explicit NamedPipe(std::filesystem::path path);
    ~NamedPipe();
    NamedPipe(const NamedPipe&) = delete;
    NamedPipe& operator=(const NamedPipe&) = delete;

    const std::filesystem::path& path() const { return path_; }
    bool opened() const { return opened_; }

private:
    std::filesystem::path path_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> opened_{false};
    std::thread watchdog_;
};

} // namespace velmora::test
