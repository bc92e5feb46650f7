#include "support/fifo_reader_watch.h"

#include <chrono>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace test {

FifoReaderWatch::FifoReaderWatch(const std::filesystem::path& folder)
    : path_(folder / "pipe") {
    if (::mkfifo(path_.c_str(), 0600) != 0) {
        throw std::runtime_error("mkfifo " + path_.string());
    }
    watch_ = std::jthread([this](std::stop_token stop) {
        while (!stop.stop_requested()) {
            const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                opened_ = true;
                ::close(fd);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    });
}

FifoReaderWatch::~FifoReaderWatch() {
    watch_.request_stop();
    watch_.join();
    std::filesystem::remove(path_);
}

} // namespace test
