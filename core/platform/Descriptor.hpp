// An open file descriptor owned by one object and closed with it.
#pragma once

#include <unistd.h>

#include <utility>

class Descriptor {
public:
    Descriptor() = default;
    /// Takes over `fd`; a negative value holds nothing.
    explicit Descriptor(int fd) : fd(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(Descriptor&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd = std::exchange(other.fd, -1);
        }
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd; }
    bool isOpen() const { return fd >= 0; }
    /// Closes what is held, if anything.
    void reset() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

private:
    int fd = -1;
};
