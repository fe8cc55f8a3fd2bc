#include "maps/Graphemes.hpp"

#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include <memory>

namespace {
// Making a character break iterator loads rules; one per thread is kept and
// pointed at each text in turn.
icu::BreakIterator* characterIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> made(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(made) : nullptr;
    }();
    return iterator.get();
}

// Fallback without ICU data: every UTF-8 sequence start is a boundary.
std::vector<size_t> codePointBoundaries(std::string_view text) {
    std::vector<size_t> offsets;
    for (size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) offsets.push_back(i);
    if (offsets.empty() || offsets.front() != 0) offsets.insert(offsets.begin(), 0);
    offsets.push_back(text.size());
    return offsets;
}
}  // namespace

namespace Graphemes {
std::vector<size_t> boundaries(std::string_view text) {
    if (text.empty()) return {0};
    icu::BreakIterator* iterator = characterIterator();
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    if (!iterator || U_FAILURE(status)) {
        utext_close(utext);
        return codePointBoundaries(text);
    }
    iterator->setText(utext, status);
    std::vector<size_t> offsets;
    // With a UTF-8 UText the iterator reports native (byte) offsets.
    for (int32_t at = iterator->first(); U_SUCCESS(status) && at != icu::BreakIterator::DONE; at = iterator->next())
        offsets.push_back(static_cast<size_t>(at));
    utext_close(utext);
    if (U_FAILURE(status) || offsets.size() < 2) return codePointBoundaries(text);
    return offsets;
}

size_t count(std::string_view text) { return boundaries(text).size() - 1; }

std::string prefix(std::string_view text, size_t n) {
    std::vector<size_t> offsets = boundaries(text);
    if (n + 1 >= offsets.size()) return std::string(text);
    return std::string(text.substr(0, offsets[n]));
}

std::string suffix(std::string_view text, size_t n) {
    std::vector<size_t> offsets = boundaries(text);
    if (n + 1 >= offsets.size()) return std::string(text);
    return std::string(text.substr(offsets[offsets.size() - 1 - n]));
}
}  // namespace Graphemes
