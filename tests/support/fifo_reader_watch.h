#pragma once

#include <atomic>
#include <filesystem>
#include <thread>

namespace test {

// A named pipe that nothing should open, and a watch that notices whatever
// does. The watch opens the pipe's writing end without blocking, again and
// again: that succeeds only while someone holds the reading end, and it lets
// a reader blocked in open() go on (to read nothing once the watch closes its
// end). A window that loads a file the target names thus fails its test
// instead of hanging it.
class FifoReaderWatch {
public:
    explicit FifoReaderWatch(const std::filesystem::path& folder);
    FifoReaderWatch(const FifoReaderWatch&) = delete;
    FifoReaderWatch& operator=(const FifoReaderWatch&) = delete;
    ~FifoReaderWatch();

    const std::filesystem::path& path() const { return path_; }
    // Whether anything has opened the pipe to read since the watch began.
    bool opened() const { return opened_; }

private:
    std::filesystem::path path_;
    std::atomic<bool> opened_{false};
    std::jthread watch_;
};

} // namespace test
