#include "support/NamedPipe.h"

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::test {

NamedPipe::NamedPipe(std::filesystem::path path) : path_(std::move(path))
{
    if (::mkfifo(path_.c_str(), 0644) != 0) {
        throw std::system_error(errno, std::generic_category(), "mkfifo " + path_.string());
    }
    watchdog_ = std::thread([this] {
        while (!stop_) {
            // Opening the writing end without waiting succeeds only while a reader has the pipe
            // open (or is waiting in open() for a writer, which this releases).
            const int writer = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (writer >= 0) {
                opened_ = true;
                ::close(writer);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
}

NamedPipe::~NamedPipe()
{
    stop_ = true;
    watchdog_.join();
    std::error_code ec;
    std::filesystem::remove(path_, ec);
}

} // namespace velmora::test
