#include "base/LineReader.hpp"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

LineReader::LineReader(FILE* input, int64_t lineLimit, size_t blockBytes)
    : input(input), fd(::fileno(input)), lineLimit(lineLimit), block(blockBytes == 0 ? 1 : blockBytes) {}

ssize_t LineReader::readBlock() {
    while (true) {
        ssize_t count = ::read(fd, block.data(), block.size());
        if (count >= 0) return count;
        if (errno == EINTR) continue;
        // An input left non-blocking by whoever started us has nothing yet:
        // wait for it rather than take that for the end.
        if (errno != EAGAIN && errno != EWOULDBLOCK) return count;
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, -1) < 0 && errno != EINTR) return -1;
    }
}

bool LineReader::fill() {
    if (finished) return false;
    start = end = 0;
    ssize_t count;
    if (fd >= 0) {
        count = readBlock();
    } else {
        count = static_cast<ssize_t>(std::fread(block.data(), 1, block.size(), input));
    }
    if (count <= 0) {
        finished = true;
        return false;
    }
    end = static_cast<size_t>(count);
    return true;
}

void LineReader::append(Line& line, const char* bytes, size_t count) const {
    if (line.tooLong || count == 0) return;
    if (static_cast<int64_t>(line.text.size() + count) > lineLimit) {
        line.tooLong = true;
        std::string().swap(line.text);
        return;
    }
    line.text.append(bytes, count);
}

std::optional<LineReader::Line> LineReader::next() {
    Line line;
    bool started = false;
    while (true) {
        if (start == end && !fill()) {
            if (!started) return std::nullopt;
            return line;
        }
        started = true;
        const char* begin = block.data() + start;
        const auto* newline = static_cast<const char*>(std::memchr(begin, '\n', end - start));
        const size_t count = newline ? static_cast<size_t>(newline - begin) : end - start;
        append(line, begin, count);
        start += count;
        if (newline) {
            ++start;
            return line;
        }
    }
}
