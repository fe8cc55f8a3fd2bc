#include "agent/Utf8Stream.hpp"

#include "Support.hpp"

namespace {
bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

/// How many bytes a sequence starting with `lead` claims; 1 for a byte that
/// starts nothing.
size_t claimedLength(unsigned char lead) {
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

/// Where the unfinished character at the end of `bytes` starts, or its size
/// when the bytes end on a character boundary.
size_t completeLength(std::string_view bytes) {
    size_t size = bytes.size();
    for (size_t back = 1; back <= 3 && back <= size; ++back) {
        auto byte = static_cast<unsigned char>(bytes[size - back]);
        if (isContinuation(byte)) continue;
        return claimedLength(byte) > back ? size - back : size;
    }
    return size;
}
}  // namespace

std::string Utf8Stream::feed(std::string_view bytes) {
    pending.append(bytes);
    size_t complete = completeLength(pending);
    std::string text = Text::replacingInvalidUTF8(std::string_view(pending).substr(0, complete));
    pending.erase(0, complete);
    return text;
}

std::string Utf8Stream::finish() {
    std::string text = Text::replacingInvalidUTF8(pending);
    pending.clear();
    return text;
}
