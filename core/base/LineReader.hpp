// Reading newline-delimited input a block at a time, with a cap on how long a
// kept line may be: a longer line is read to its end but not kept, so it
// costs no memory and the line after it is read as usual.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

class LineReader {
public:
    static constexpr size_t defaultBlockBytes = size_t{64} << 10;

    struct Line {
        /// Without its line feed; empty when the line was too long.
        std::string text;
        bool tooLong = false;
    };

    /// Reads `input` through its descriptor when it has one, taking whatever a
    /// read returns, so a line is handed over as soon as its line feed
    /// arrives; a stream without a descriptor (a memory stream) is read with
    /// fread. Nothing `input` buffered before is seen.
    LineReader(FILE* input, int64_t lineLimit, size_t blockBytes = defaultBlockBytes);

    /// The next line; none at the end of input. A last line without a line
    /// feed is a line too.
    std::optional<Line> next();

private:
    /// Refills the block; false at the end of input or on a read error.
    bool fill();
    /// One read of the descriptor into the block, waiting while a
    /// non-blocking one has nothing; what read returned.
    ssize_t readBlock();
    void append(Line& line, const char* bytes, size_t count) const;

    FILE* input;
    int fd;
    int64_t lineLimit;
    std::vector<char> block;
    size_t start = 0;
    size_t end = 0;
    bool finished = false;
};
