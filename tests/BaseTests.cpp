#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "TestSupport.hpp"
#include "base/DirectoryStream.hpp"
#include "base/UniqueFd.hpp"

using namespace testing_support;

namespace {

bool isOpenDescriptor(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

int openFolder(const fs::path& path) { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }

}  // namespace

TEST(UniqueFdTest, ClosesWhatItOwnsExactlyOnce) {
    TempDir dir;
    int raw = openFolder(dir.path());
    ASSERT_GE(raw, 0);
    {
        UniqueFd first(raw);
        UniqueFd second(std::move(first));
        EXPECT_FALSE(first.valid());
        EXPECT_EQ(second.get(), raw);
        EXPECT_TRUE(isOpenDescriptor(raw));
    }
    EXPECT_FALSE(isOpenDescriptor(raw));

    UniqueFd kept(openFolder(dir.path()));
    int released = kept.release();
    EXPECT_FALSE(kept.valid());
    EXPECT_TRUE(isOpenDescriptor(released));
    ::close(released);
}

TEST(DirectoryStreamTest, ListsNamesOnlyAndStartsOverOnRewind) {
    TempDir dir;
    writeFile(dir.path() / "a");
    fs::create_directory(dir.path() / "b");
    DirectoryStream stream(openFolder(dir.path()));
    ASSERT_TRUE(stream.valid());
    auto readAll = [&] {
        std::vector<std::string> names;
        int error = -1;
        while (auto name = stream.next(error)) names.push_back(*name);
        EXPECT_EQ(error, 0);
        std::sort(names.begin(), names.end());
        return names;
    };
    EXPECT_EQ(readAll(), (std::vector<std::string>{"a", "b"}));
    stream.rewind();
    EXPECT_EQ(readAll(), (std::vector<std::string>{"a", "b"}));
}

TEST(DirectoryStreamTest, ANonFolderIsClosedAndSaysWhy) {
    TempDir dir;
    int file = ::open(writeFile(dir.path() / "file").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(file, 0);
    errno = 0;
    DirectoryStream stream(file);
    EXPECT_FALSE(stream.valid());
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_FALSE(isOpenDescriptor(file));
}
