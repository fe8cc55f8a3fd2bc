// A thread that keeps changing where a link leads, for tests that race an
// operation against someone swapping a folder above its path.
#pragma once

#include <fcntl.h>
#include <stdio.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

namespace testing_support {

/// Swaps what `link` leads to between two folders as fast as it can, each
/// swap one atomic rename, until the object goes.
class LinkSwapper {
public:
    LinkSwapper(std::filesystem::path link, std::filesystem::path first, std::filesystem::path second)
        : worker([this, link, first, second] {
              const std::filesystem::path spare = link.string() + ".next";
              for (bool toFirst = false; !stop; toFirst = !toFirst) {
                  std::error_code ignored;
                  std::filesystem::remove(spare, ignored);
                  std::filesystem::create_directory_symlink(toFirst ? first : second, spare, ignored);
                  ::rename(spare.c_str(), link.c_str());
              }
          }) {}
    ~LinkSwapper() {
        stop = true;
        worker.join();
    }
    LinkSwapper(const LinkSwapper&) = delete;
    LinkSwapper& operator=(const LinkSwapper&) = delete;

private:
    std::atomic<bool> stop{false};
    std::thread worker;
};

/// Exchanges two names (a folder and a link, a file and a pipe) in a loop
/// until the object goes, each exchange one atomic rename. Every fourth
/// exchange is followed by a short pause, so that an operation raced against
/// it meets both a name that stays put and one exchanged under it.
class NameExchanger {
public:
    NameExchanger(std::filesystem::path one, std::filesystem::path other)
        : worker([this, one, other] {
              for (unsigned count = 1; !stop; ++count) {
                  ::renameat2(AT_FDCWD, one.c_str(), AT_FDCWD, other.c_str(), RENAME_EXCHANGE);
                  if (count % 4 == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
              }
          }) {}
    ~NameExchanger() {
        stop = true;
        worker.join();
    }
    NameExchanger(const NameExchanger&) = delete;
    NameExchanger& operator=(const NameExchanger&) = delete;

private:
    std::atomic<bool> stop{false};
    std::thread worker;
};

}  // namespace testing_support
