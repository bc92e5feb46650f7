#pragma once

#include <unistd.h>

namespace engine::hive {

// An owned file descriptor, closed with the object (-1: none).
class UniqueFd {
public:
    explicit UniqueFd(int fd)
        : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }

private:
    int fd_;
};

} // namespace engine::hive
