// Text decoding for output that arrives in pieces of arbitrary size.
#pragma once

#include <string>
#include <string_view>

/// Decodes a byte stream as UTF-8 across reads: a character split between two
/// reads is held back until its last byte arrives, so no text is lost at a
/// read boundary. Bytes that can never form a character become U+FFFD.
class Utf8Stream {
public:
    /// The text completed by `bytes`; an unfinished character at the end is
    /// kept for the next call.
    std::string feed(std::string_view bytes);
    /// The end of the stream: whatever is still held back, as U+FFFD.
    std::string finish();

private:
    std::string pending;
};
