#include "TestSupport.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "SealedMachine.hpp"
#include "Support.hpp"
#include "platform/Mounts.hpp"
#include "platform/Platform.hpp"

namespace testing_support {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/ostrevane-test-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root = fs::path(pattern);
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value) : name(std::move(name)) {
    if (const char* old = std::getenv(this->name.c_str())) previous = old;
    if (value)
        setenv(this->name.c_str(), value->c_str(), 1);
    else
        unsetenv(this->name.c_str());
}

ScopedEnv::~ScopedEnv() {
    if (previous)
        setenv(name.c_str(), previous->c_str(), 1);
    else
        unsetenv(name.c_str());
}

ScopedHome::ScopedHome(std::optional<std::string> language) {
    homePath = fs::path(Paths::standardize(fs::canonical(dir.path()).string())) / "home";
    fs::create_directories(homePath);
    fs::create_directories(dir.path() / "config");
    fs::create_directories(dir.path() / "data");
    auto set = [&](const char* name, const std::optional<std::string>& value) {
        environment.push_back(std::make_unique<ScopedEnv>(name, value));
    };
    set("OSTREVANE_HOME", homePath.string());
    set("XDG_CONFIG_HOME", (dir.path() / "config").string());
    set("XDG_DATA_HOME", (dir.path() / "data").string());
    set("OSTREVANE_LANG", language);
}

ScopedHome::~ScopedHome() = default;

fs::path writeFile(const fs::path& path, std::uintmax_t size, char fill) {
    fs::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    std::string chunk(64 * 1024, fill);
    while (size > 0) {
        auto count = std::min<std::uintmax_t>(size, chunk.size());
        file.write(chunk.data(), static_cast<std::streamsize>(count));
        size -= count;
    }
    return path;
}

fs::path allocate(const fs::path& path, int64_t bytes) {
    fs::create_directories(path.parent_path());
    int descriptor = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (descriptor < 0) throw std::runtime_error("cannot create " + path.string());
    int status = ::posix_fallocate(descriptor, 0, bytes);
    ::close(descriptor);
    if (status != 0) throw std::runtime_error("cannot allocate " + path.string());
    return path;
}

void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string readText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

std::vector<std::string> entriesOf(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void setAge(const fs::path& path, double secondsAgo) {
    auto when = fs::file_time_type::clock::now() -
                std::chrono::duration_cast<fs::file_time_type::duration>(std::chrono::duration<double>(secondsAgo));
    fs::last_write_time(path, when);
}

CLIResult runCLI(const std::vector<std::string>& arguments, const std::optional<std::string>& input, double timeout) {
    if (!input) {
        auto output = Shell::run(OSTREVANE_CLI_PATH, arguments, timeout);
        return {output.status, output.stdoutText, output.stderrText};
    }
    // Feed standard input through a file, since Shell::run reads /dev/null.
    TempDir scratch;
    fs::path inputFile = scratch.path() / "stdin";
    writeText(inputFile, *input);
    std::string command = "exec " + Text::shellQuoted(OSTREVANE_CLI_PATH);
    for (const auto& argument : arguments) command += " " + Text::shellQuoted(argument);
    command += " < " + Text::shellQuoted(inputFile.string());
    auto output = Shell::run("/bin/sh", {"-c", command}, timeout);
    return {output.status, output.stdoutText, output.stderrText};
}

ScopedMountTable::ScopedMountTable(const std::vector<fs::path>& mountPoints) {
    // Every folder is on one disk, so a folder given twice stands for a bind mount.
    std::string table = mountLine(1, sealedRoot(), 1);
    for (size_t i = 0; i < mountPoints.size(); ++i) table += mountLine(static_cast<int>(i) + 2, mountPoints[i], 2);
    hooks->readTable = [table] { return std::optional<std::string>(table); };
}

DeepTree::DeepTree(fs::path root, int levels, std::string name, size_t fileSize)
    : root(std::move(root)), levels(levels), name(std::move(name)) {
    fs::create_directories(this->root);
    int folder = ::open(this->root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::string content(fileSize, 'd');
    for (int level = 0; level < levels && folder >= 0; ++level) {
        ::mkdirat(folder, this->name.c_str(), 0755);
        int next = ::openat(folder, this->name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(folder);
        folder = next;
        int file = ::openat(folder, "f", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        EXPECT_EQ(::write(file, content.data(), content.size()), static_cast<ssize_t>(content.size()));
        ::close(file);
    }
    EXPECT_GE(folder, 0);
    ::close(folder);
}

DeepTree::~DeepTree() { removeTree(root / name); }

void removeTree(const fs::path& path) {
    std::string command = "rm -rf '" + path.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

void DeepTree::growDeepestFile(const fs::path& other) const {
    int folder = ::open(other.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < levels && folder >= 0; ++level) {
        int next = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(folder);
        folder = next;
    }
    int file = ::openat(folder, "f", O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(file, 0);
    EXPECT_EQ(::write(file, "+", 1), 1);
    ::close(file);
    ::close(folder);
}

int64_t duBytes(const fs::path& path) {
    std::string command = "du -s -B1 '" + path.string() + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    long long bytes = -1;
    if (pipe) {
        if (std::fscanf(pipe, "%lld", &bytes) != 1) bytes = -1;
        ::pclose(pipe);
    }
    return bytes;
}

}  // namespace testing_support
