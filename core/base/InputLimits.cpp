#include "base/InputLimits.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/Files.hpp"
#include "base/UniqueFd.hpp"

namespace InputLimits {

namespace {

/// Builds the value as the library's own DOM parser does, but refuses an
/// array or object opened beyond the depth limit; the parse stops there.
class BoundedBuilder {
public:
    using Builder = nlohmann::detail::json_sax_dom_parser<json>;
    using number_integer_t = json::number_integer_t;
    using number_unsigned_t = json::number_unsigned_t;
    using number_float_t = json::number_float_t;
    using string_t = json::string_t;
    using binary_t = json::binary_t;

    BoundedBuilder(json& result, int maxDepth) : builder(result, false), maxDepth(maxDepth) {}

    bool null() { return builder.null(); }
    bool boolean(bool value) { return builder.boolean(value); }
    bool number_integer(number_integer_t value) { return builder.number_integer(value); }
    bool number_unsigned(number_unsigned_t value) { return builder.number_unsigned(value); }
    bool number_float(number_float_t value, const string_t& text) { return builder.number_float(value, text); }
    bool string(string_t& value) { return builder.string(value); }
    bool binary(binary_t& value) { return builder.binary(value); }
    bool start_object(std::size_t size) { return enter() && builder.start_object(size); }
    bool key(string_t& value) { return builder.key(value); }
    bool end_object() { return leave() && builder.end_object(); }
    bool start_array(std::size_t size) { return enter() && builder.start_array(size); }
    bool end_array() { return leave() && builder.end_array(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
        failed = true;
        return false;
    }

    bool succeeded() const { return !failed && !builder.is_errored(); }
    bool wentTooDeep() const { return tooDeep; }

private:
    bool enter() {
        if (++depth <= maxDepth) return true;
        failed = tooDeep = true;
        return false;
    }
    bool leave() {
        --depth;
        return true;
    }

    Builder builder;
    int maxDepth;
    int depth = 0;
    bool failed = false;
    bool tooDeep = false;
};

}  // namespace

Hooks& Hooks::active() {
    static Hooks current;
    return current;
}

std::optional<std::string> readStoredFile(const std::filesystem::path& path, Read& outcome) {
    return readStoredFile(AT_FDCWD, path.string(), outcome);
}

std::optional<std::string> readStoredFile(int folder, const std::string& name, Read& outcome) {
    // Read only when it is a regular file: a named pipe put in a file's
    // place would otherwise hold the reader.
    int error = 0;
    struct stat info {};
    UniqueFd file = Files::openRegularFile(folder, name.c_str(), 0, error, &info);
    if (!file.valid()) {
        outcome = error == ENOENT ? Read::missing : Read::unreadable;
        return std::nullopt;
    }
    const int64_t limit = storedFileBytes();
    if (info.st_size > limit) {
        outcome = Read::tooLarge;
        return std::nullopt;
    }
    std::string contents;
    contents.reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    while (true) {
        ssize_t count = ::read(file.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) {
            outcome = Read::unreadable;
            return std::nullopt;
        }
        if (count == 0) break;
        // The file may grow while it is read.
        if (static_cast<int64_t>(contents.size()) + count > limit) {
            outcome = Read::tooLarge;
            return std::nullopt;
        }
        contents.append(buffer, static_cast<size_t>(count));
    }
    outcome = Read::read;
    return contents;
}

std::optional<json> parse(std::string_view text, int maxDepth, bool* tooDeep) {
    json result;
    BoundedBuilder builder(result, maxDepth);
    bool parsed = false;
    if (tooDeep) *tooDeep = false;
    const auto marked = JSONOut::markingStrayByteEscapes(text);
    const std::string_view source = marked ? std::string_view(*marked) : text;
    try {
        parsed = json::sax_parse(source.begin(), source.end(), &builder, nlohmann::detail::input_format_t::json, true);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (tooDeep) *tooDeep = builder.wentTooDeep();
    if (!parsed || !builder.succeeded()) return std::nullopt;
    if (marked) JSONOut::unmarkStrayBytes(result);
    return result;
}

}  // namespace InputLimits
