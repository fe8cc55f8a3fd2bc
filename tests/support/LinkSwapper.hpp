// A thread that keeps changing where a link leads, for tests that race an
// operation against someone swapping a folder above its path.
#pragma once

#include <stdio.h>

#include <atomic>
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

}  // namespace testing_support
