// Reading request lines a block at a time: lines that span blocks, several
// lines in one block, a last line without a line feed, and the length cap.
#include <fcntl.h>
#include <unistd.h>

#include <future>
#include <thread>

#include "TestSupport.hpp"
#include "base/LineReader.hpp"

namespace {

/// What the reader hands over: each line's text, "<too long>" for a refused one.
std::vector<std::string> readAll(LineReader& reader) {
    std::vector<std::string> lines;
    while (auto line = reader.next()) lines.push_back(line->tooLong ? "<too long>" : line->text);
    return lines;
}

/// `input` through a pipe written by another thread in pieces of `writeBytes`.
std::vector<std::string> readThroughPipe(const std::string& input, int64_t limit, size_t blockBytes,
                                         size_t writeBytes) {
    int fds[2];
    if (::pipe(fds) != 0) return {"<no pipe>"};
    std::thread writer([&, writeEnd = fds[1]] {
        for (size_t offset = 0; offset < input.size(); offset += writeBytes)
            if (::write(writeEnd, input.data() + offset, std::min(writeBytes, input.size() - offset)) < 0) break;
        ::close(writeEnd);
    });
    FILE* stream = ::fdopen(fds[0], "r");
    LineReader reader(stream, limit, blockBytes);
    auto lines = readAll(reader);
    writer.join();
    std::fclose(stream);
    return lines;
}

std::vector<std::string> readFromMemory(std::string input, int64_t limit, size_t blockBytes) {
    if (input.empty()) return {};  // fmemopen refuses an empty buffer
    FILE* stream = ::fmemopen(input.data(), input.size(), "r");
    LineReader reader(stream, limit, blockBytes);
    auto lines = readAll(reader);
    std::fclose(stream);
    return lines;
}

}  // namespace

TEST(LineReader, LinesComeOutWholeWhateverTheBlocks) {
    const std::string longLine(40, 'x');
    struct Case {
        const char* what;
        std::string input;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"several lines", "a\nbb\n\nccc\n", {"a", "bb", "", "ccc"}},
        {"last line without a line feed", "one\ntwo", {"one", "two"}},
        {"only a line feed", "\n", {""}},
        {"nothing", "", {}},
        {"bytes kept as they are", std::string("r\r\n\0z\n", 6), {"r\r", std::string("\0z", 2)}},
        {"a line at the cap", std::string(16, 'y') + "\nz\n", {std::string(16, 'y'), "z"}},
        {"a line one over the cap, then one served", std::string(17, 'y') + "\nz\n", {"<too long>", "z"}},
        {"a long line without a line feed at the end", "a\n" + longLine, {"a", "<too long>"}},
        {"long lines between short ones",
         "a\n" + longLine + "\nb\n" + longLine + "\n\nc",
         {"a", "<too long>", "b", "<too long>", "", "c"}},
    };
    for (const auto& test : cases) {
        for (size_t block : {size_t{1}, size_t{2}, size_t{3}, size_t{5}, size_t{7}, size_t{16}, size_t{17},
                             LineReader::defaultBlockBytes}) {
            SCOPED_TRACE(std::string(test.what) + ", block of " + std::to_string(block));
            EXPECT_EQ(readFromMemory(test.input, 16, block), test.lines);
            for (size_t pieces : {size_t{1}, size_t{4}, size_t{1000}})
                EXPECT_EQ(readThroughPipe(test.input, 16, block, pieces), test.lines) << "written " << pieces;
        }
    }
}

TEST(LineReader, ALineIsHandedOverBeforeTheBlockFills) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    FILE* stream = ::fdopen(fds[0], "r");
    LineReader reader(stream, 1 << 20);
    for (const std::string request : {"first\n", "second\nthird-in-part"}) {
        ASSERT_EQ(::write(fds[1], request.data(), request.size()), static_cast<ssize_t>(request.size()));
        auto next = std::async(std::launch::async, [&] { return reader.next(); });
        if (next.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ::close(fds[1]);  // lets the read return, so the test ends
            FAIL() << "the reader waited for more than the line";
        }
        EXPECT_EQ(next.get()->text, request.substr(0, request.find('\n')));
    }
    ::close(fds[1]);
    EXPECT_EQ(reader.next()->text, "third-in-part");
    EXPECT_FALSE(reader.next());
    std::fclose(stream);
}

TEST(LineReader, AnInputLeftNonBlockingIsWaitedForNotTakenForItsEnd) {
    // A client may hand the server a pipe set to non-blocking: a read then
    // finds nothing yet, which is not the end of input.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    std::thread writer([writeEnd = fds[1]] {
        for (const std::string piece : {"fir", "st\nsec", "ond\n"}) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (::write(writeEnd, piece.data(), piece.size()) < 0) break;
        }
        ::close(writeEnd);
    });
    FILE* stream = ::fdopen(fds[0], "r");
    LineReader reader(stream, 1 << 20);
    EXPECT_EQ(readAll(reader), (std::vector<std::string>{"first", "second"}));
    writer.join();
    std::fclose(stream);
}
