// Finding duplicates takes three passes over ever fewer files: the files
// large enough and their allocations from the scanned tree (free) with the
// sparse files a walk of the disk finds beside them, then
// identity and byte length on disk (one lstat per such file), then the
// contents of the files that share a length. Contents are read in parallel, but every result
// lands in the slot of its file and the groups are formed afterwards in a
// fixed order, so the outcome is the same as reading one file at a time.
#include "service/Duplicates.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "base/JSONCoding.hpp"
#include "base/Paths.hpp"
#include "platform/FileReading.hpp"
#include "platform/FolderChain.hpp"
#include "platform/Trash.hpp"
#include "scan/SparseFiles.hpp"
#include "service/LibCrypto.hpp"
#include "text/Localization.hpp"

namespace Service {

namespace {

constexpr size_t quickSpan = 131072;         // 128 KiB from each end
constexpr int64_t quickWholeLimit = 262144;  // at most this long: the start alone
constexpr size_t fullChunk = 1048576;        // memory stays bounded whatever the file
// Verify mode first compares a cheap sample of each file, so that files that
// differ near either end are never read whole.
constexpr size_t sampleSpan = 16384;

// ---------------------------------------------------------------------------
// Hashing

class Sha256 {
public:
    Sha256() : crypto(LibCrypto::digests()), context(nullptr, Free{crypto}) {
        if (!crypto) return;
        context.reset(crypto->newContext());
        if (!context || crypto->init(context.get(), algorithm(*crypto), nullptr) != 1) context.reset();
    }
    bool valid() const { return context != nullptr; }
    void feed(const void* bytes, size_t count) {
        if (context && count > 0 && crypto->update(context.get(), bytes, count) != 1) context.reset();
    }
    void feedLength(int64_t length) {
        std::array<unsigned char, 8> littleEndian{};
        auto value = static_cast<uint64_t>(length);
        for (auto& byte : littleEndian) {
            byte = static_cast<unsigned char>(value & 0xff);
            value >>= 8;
        }
        feed(littleEndian.data(), littleEndian.size());
    }
    std::optional<std::string> hex() {
        if (!context) return std::nullopt;
        std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
        unsigned int length = 0;
        if (crypto->finish(context.get(), digest.data(), &length) != 1) return std::nullopt;
        static constexpr char digits[] = "0123456789abcdef";
        std::string text;
        text.reserve(length * 2);
        for (unsigned int i = 0; i < length; ++i) {
            text.push_back(digits[digest[i] >> 4]);
            text.push_back(digits[digest[i] & 0x0f]);
        }
        return text;
    }

private:
    struct Free {
        const LibCrypto::Digests* crypto;
        void operator()(EVP_MD_CTX* context) const { crypto->freeContext(context); }
    };
    const LibCrypto::Digests* crypto;
    std::unique_ptr<EVP_MD_CTX, Free> context;

    // Fetched once: the implicit fetch behind EVP_sha256() costs a lookup on
    // every initialisation.
    static const EVP_MD* algorithm(const LibCrypto::Digests& crypto) {
        static const EVP_MD* fetched = [&] {
            const EVP_MD* md = crypto.fetch(nullptr, "SHA256", nullptr);
            return md ? md : crypto.sha256();
        }();
        return fetched;
    }
};

/// One buffer per thread, reused across files.
std::vector<unsigned char>& readBuffer() {
    thread_local std::vector<unsigned char> buffer(fullChunk);
    return buffer;
}

/// Feeds up to `count` bytes at `offset`; false when the read fails.
bool feedRange(Sha256& hash, const FileReading::File& file, int64_t offset, size_t count) {
    auto& buffer = readBuffer();
    auto got = file.readAt(offset, buffer.data(), std::min(count, buffer.size()));
    if (!got) return false;
    hash.feed(buffer.data(), *got);
    return true;
}

/// The length, the first `span` bytes and, when the file is longer than
/// `wholeLimit`, the last `span` bytes.
std::optional<std::string> endsFingerprint(const FileReading::File& file, size_t span, int64_t wholeLimit) {
    auto length = file.length();
    if (!length) return std::nullopt;
    Sha256 hash;
    hash.feedLength(*length);
    if (!feedRange(hash, file, 0, span)) return std::nullopt;
    if (*length > wholeLimit && !feedRange(hash, file, *length - static_cast<int64_t>(span), span)) return std::nullopt;
    return hash.hex();
}

std::optional<std::string> wholeFingerprint(const FileReading::File& file) {
    file.adviseSequential();
    auto& buffer = readBuffer();
    Sha256 hash;
    int64_t offset = 0;
    while (true) {
        // A failed read leaves no fingerprint: a digest of the bytes before
        // the failure could match a different file that failed at the same place.
        auto got = file.readAt(offset, buffer.data(), buffer.size());
        if (!got) return std::nullopt;
        if (*got == 0) break;
        hash.feed(buffer.data(), *got);
        offset += static_cast<int64_t>(*got);
    }
    return hash.hex();
}

enum class Reading { quick, whole, sample };

/// What says whether a file is still the one whose bytes were read: the same
/// file on disk, of the same length, neither written nor replaced since.
struct Stamp {
    dev_t device = 0;
    ino_t inode = 0;
    int64_t length = 0;
    int64_t modified = 0;  // nanoseconds
    int64_t changed = 0;   // nanoseconds

    bool operator==(const Stamp&) const = default;
};

int64_t nanoseconds(const timespec& time) { return static_cast<int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec; }

Stamp stampOf(const struct stat& status) {
    return {status.st_dev, status.st_ino, static_cast<int64_t>(status.st_size), nanoseconds(status.st_mtim),
            nanoseconds(status.st_ctim)};
}

struct Outcome {
    bool opened = false;
    std::optional<std::string> fingerprint;
    /// The file as it was when opened, before any of it was read.
    Stamp stamp;
};

std::optional<std::string> fingerprintOf(const FileReading::File& file, Reading reading) {
    switch (reading) {
    case Reading::quick: return endsFingerprint(file, quickSpan, quickWholeLimit);
    case Reading::whole: return wholeFingerprint(file);
    case Reading::sample: return endsFingerprint(file, sampleSpan, 2 * static_cast<int64_t>(sampleSpan));
    }
    return std::nullopt;
}

Outcome read(const std::string& path, Reading reading) {
    auto file = FileReading::File::open(path);
    if (!file) return {};
    auto status = file->status();
    if (!status) return {true, std::nullopt, {}};
    return {true, fingerprintOf(*file, reading), stampOf(*status)};
}

// ---------------------------------------------------------------------------
// Candidates

const std::array<std::string_view, 5> bundleExtensions = {"app", "photoslibrary", "musiclibrary", "framework",
                                                          "xcarchive"};

/// The home trash of any home, not only the searcher's: root searching
/// "/home" meets every user's.
bool isInsideAHomeTrash(const std::string& path) {
    constexpr std::string_view trash = "/.local/share/Trash";
    for (size_t at = path.find(trash); at != std::string::npos; at = path.find(trash, at + 1)) {
        size_t end = at + trash.size();
        if (end == path.size() || path[end] == '/') return true;
    }
    return false;
}

bool isPrunedFolder(std::string_view name, const std::string& path, const std::string& library) {
    if (name == "node_modules" || name == ".git" || path == library) return true;
    // A copy in the Trash is no copy to keep: whoever deletes "the other
    // one" and then empties the Trash loses both.
    if (Trash::isInsideTrash(path) || isInsideAHomeTrash(path)) return true;
    // The part after the last dot, a leading one too: ".app" is an app bundle.
    auto extension = Paths::lowercasedExtension(name, Paths::LeadingDot::startsExtension);
    return std::find(bundleExtensions.begin(), bundleExtensions.end(), extension) != bundleExtensions.end();
}

struct Identity {
    bool regular = false;
    dev_t device = 0;
    ino_t inode = 0;
    int64_t length = 0;
};

/// A file that may have copies, with its allocated size.
struct Candidate {
    std::string path;
    int64_t allocated = 0;
};

/// Where a candidate was found: in the tree, with its identity still to be
/// looked up, or on disk by the walk for sparse files, with it known.
struct Found {
    std::string path;
    int64_t allocated = 0;
    bool known = false;
    Identity identity;
};

/// File nodes of at least `minSize` allocated bytes, in walk order, then the
/// sparse files of at least `minSize` bytes' length the tree does not hold
/// at that size (the scan keeps no node below its floor however long the
/// file), in path order.
std::vector<Found> candidateFiles(const FileNode& node, int64_t minSize) {
    const std::string library = Paths::joined(Paths::home(), "Library");
    std::vector<Found> files;
    std::unordered_set<std::string_view> inTree;
    node.walk([&](const FileNode& visited) {
        // A folder is never smaller than a file inside it, so nothing large
        // enough is lost by not entering it.
        if (visited.size < minSize) return false;
        if (visited.isDirectory) return !isPrunedFolder(visited.name, visited.path, library);
        files.push_back({visited.path, visited.size, false, {}});
        inTree.insert(visited.path);
        return false;
    });
    // The walk of the tree does not enter a pruned folder it starts at; nor may the walk of the disk.
    if (!node.isDirectory || isPrunedFolder(node.name, node.path, library)) return files;
    auto sparse = SparseFiles::below(node.path, minSize, [&](std::string_view name, const std::string& path) {
        return isPrunedFolder(name, path, library);
    });
    for (auto& file : sparse) {
        if (inTree.count(file.path)) continue;
        files.push_back({std::move(file.path), file.allocated, true, {true, file.device, file.inode, file.length}});
    }
    return files;
}

/// The files of one byte length that may hold duplicates, one per file on disk.
struct SizeClass {
    int64_t length = 0;
    std::vector<Candidate> files;
};

struct IdentityHash {
    size_t operator()(const std::pair<dev_t, ino_t>& key) const {
        return std::hash<uint64_t>()(static_cast<uint64_t>(key.second) * 0x9E3779B97F4A7C15ull ^ key.first);
    }
};

/// What lstat says of a path of any length.
std::optional<struct stat> linkStatus(const std::string& path) {
    ParentAndName place = parentAndName(path);
    if (place.fd == -1) return std::nullopt;
    struct stat status {};
    if (::fstatat(place.fd, place.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    return status;
}

/// Not regular when lstat cannot say.
Identity identityOf(const std::string& path) {
    auto status = linkStatus(path);
    if (!status || !S_ISREG(status->st_mode)) return {};
    return {true, status->st_dev, status->st_ino, static_cast<int64_t>(status->st_size)};
}

/// Byte lengths shared by at least two files, longest first. Identical files
/// can hold different numbers of blocks (a sparse copy, an allocation not
/// yet made), so files are classed by their length, never by their
/// allocation. Only regular files count (a symbolic link or a pipe holds no
/// content of its own), and hard links to one file on disk count once, under
/// the first link met: deleting one of them frees nothing. The scan counted
/// such a file's bytes at one link only, so it takes the largest size any of
/// its links has in the tree.
std::vector<SizeClass> sizeClasses(const FileNode& node, int64_t minSize) {
    std::vector<Found> files = candidateFiles(node, minSize);
    std::vector<Identity> identities(files.size());
    tbb::parallel_for(size_t(0), files.size(), [&](size_t i) {
        identities[i] = files[i].known ? files[i].identity : identityOf(files[i].path);
    });

    std::unordered_map<std::pair<dev_t, ino_t>, size_t, IdentityHash> firstLink;  // index into files
    std::unordered_map<int64_t, std::vector<Candidate>> byLength;
    std::vector<std::pair<int64_t, size_t>> placeOf(files.size());  // where each first link went
    for (size_t i = 0; i < files.size(); ++i) {
        const Identity& identity = identities[i];
        if (!identity.regular) continue;
        auto [found, added] = firstLink.emplace(std::make_pair(identity.device, identity.inode), i);
        if (added) {
            auto& list = byLength[identity.length];
            placeOf[i] = {identity.length, list.size()};
            list.push_back({files[i].path, files[i].allocated});
        } else {
            auto [length, index] = placeOf[found->second];
            int64_t& allocated = byLength[length][index].allocated;
            allocated = std::max(allocated, files[i].allocated);
        }
    }
    std::vector<SizeClass> classes;
    for (auto& [length, candidates] : byLength)
        if (candidates.size() >= 2) classes.push_back({length, std::move(candidates)});
    std::sort(classes.begin(), classes.end(),
              [](const SizeClass& a, const SizeClass& b) { return a.length > b.length; });
    return classes;
}

// ---------------------------------------------------------------------------
// Contents

/// One fingerprint slot per file of every class, in class order.
std::vector<Outcome> readAll(const std::vector<Candidate>& files, const std::vector<bool>& wanted, Reading reading) {
    std::vector<Outcome> outcomes(files.size());
    // Largest first, one file per task: a few large files then run side by
    // side instead of queueing behind each other.
    std::vector<size_t> order;
    for (size_t i = 0; i < files.size(); ++i)
        if (wanted[i]) order.push_back(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return files[a].allocated > files[b].allocated; });
    tbb::parallel_for(
        tbb::blocked_range<size_t>(0, order.size(), 1),
        [&](const tbb::blocked_range<size_t>& range) {
            for (size_t k = range.begin(); k != range.end(); ++k)
                outcomes[order[k]] = read(files[order[k]].path, reading);
        },
        tbb::simple_partitioner());
    return outcomes;
}

/// A file written or replaced while it was read, or since (an editor saving
/// by renaming a new file over the old one), may no longer hold the bytes its
/// fingerprint vouches for: it takes part in no group, since whoever trusts
/// the group may trash it as a copy. Checked once every file was read.
void dropChanged(const std::vector<Candidate>& files, std::vector<Outcome>& outcomes) {
    tbb::parallel_for(size_t(0), files.size(), [&](size_t i) {
        if (!outcomes[i].fingerprint) return;
        auto status = linkStatus(files[i].path);
        if (!status || stampOf(*status) != outcomes[i].stamp) outcomes[i].fingerprint.reset();
    });
}

/// Verify mode reads whole files only where a cheap sample of both ends left
/// more than one file of a class alike. A file whose sample could not be read
/// keeps its whole class in play, since only a whole read can rule it out.
std::vector<bool> filesWorthReadingWhole(const std::vector<SizeClass>& classes, const std::vector<Candidate>& files) {
    std::vector<bool> everything(files.size(), true);
    auto samples = readAll(files, everything, Reading::sample);
    std::vector<bool> wanted(files.size(), false);
    size_t start = 0;
    for (const auto& sizeClass : classes) {
        size_t end = start + sizeClass.files.size();
        bool unsure = false;
        std::unordered_map<std::string, int> counts;
        for (size_t i = start; i < end; ++i) {
            if (samples[i].opened && !samples[i].fingerprint) unsure = true;
            if (samples[i].fingerprint) ++counts[*samples[i].fingerprint];
        }
        for (size_t i = start; i < end; ++i) {
            if (!samples[i].opened) continue;  // could not be opened: no fingerprint
            wanted[i] = unsure || !samples[i].fingerprint || counts[*samples[i].fingerprint] >= 2;
        }
        start = end;
    }
    return wanted;
}

// ---------------------------------------------------------------------------
// Groups

/// Paths compare code point by code point once canonically equivalent
/// spellings are made alike; plain byte order settles the rest.
std::string comparable(const std::string& path) {
    bool ascii = std::all_of(path.begin(), path.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) return path;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return path;
    icu::UnicodeString normalised = nfc->normalize(icu::UnicodeString::fromUTF8(path), status);
    if (U_FAILURE(status)) return path;
    std::string result;
    normalised.toUTF8String(result);
    return result;
}

std::vector<std::string> sortedPaths(const std::vector<Candidate>& files) {
    std::vector<std::pair<std::string, std::string>> keyed;
    keyed.reserve(files.size());
    for (const Candidate& file : files) keyed.emplace_back(comparable(file.path), file.path);
    std::sort(keyed.begin(), keyed.end());
    std::vector<std::string> paths;
    paths.reserve(keyed.size());
    for (auto& [key, path] : keyed) paths.push_back(std::move(path));
    return paths;
}

/// The copies may hold different numbers of blocks (a sparse copy, an
/// allocation not yet made): what keeping only the smallest frees is every
/// other copy's allocation, which is (copies - 1) x each when they agree.
DuplicateGroup makeGroup(const std::vector<Candidate>& files, bool verified) {
    DuplicateGroup group;
    int64_t total = 0;
    for (const Candidate& file : files) total += file.allocated;
    group.bytesEach = std::min_element(files.begin(), files.end(), [](const Candidate& a, const Candidate& b) {
                          return a.allocated < b.allocated;
                      })->allocated;
    group.sizeEach = Fmt::bytes(group.bytesEach);
    group.wastedBytes = total - group.bytesEach;
    group.wasted = Fmt::bytes(group.wastedBytes);
    group.verified = verified;
    group.paths = sortedPaths(files);
    return group;
}

/// Within a class, files join the list of their fingerprint in class order,
/// and the lists become groups in the order their fingerprints first appeared.
void collectGroups(const SizeClass& sizeClass, const Outcome* outcomes, bool verified,
                   std::vector<DuplicateGroup>& groups) {
    std::unordered_map<std::string, size_t> listOf;
    std::vector<std::vector<Candidate>> lists;
    for (size_t i = 0; i < sizeClass.files.size(); ++i) {
        const auto& fingerprint = outcomes[i].fingerprint;
        if (!fingerprint) continue;
        auto [found, added] = listOf.emplace(*fingerprint, lists.size());
        if (added) lists.emplace_back();
        lists[found->second].push_back(sizeClass.files[i]);
    }
    for (const auto& list : lists)
        if (list.size() >= 2) groups.push_back(makeGroup(list, verified));
}

}  // namespace

std::optional<std::string> fingerprint(const std::string& path, bool full) {
    return read(path, full ? Reading::whole : Reading::quick).fingerprint;
}

DuplicateReport duplicates(const FileNode& node, int64_t minSize, bool verify, int64_t limit) {
    auto classes = sizeClasses(node, minSize);
    std::vector<Candidate> files;
    for (const auto& sizeClass : classes) files.insert(files.end(), sizeClass.files.begin(), sizeClass.files.end());

    std::vector<bool> wanted = verify ? filesWorthReadingWhole(classes, files) : std::vector<bool>(files.size(), true);
    auto outcomes = readAll(files, wanted, verify ? Reading::whole : Reading::quick);
    dropChanged(files, outcomes);

    std::vector<DuplicateGroup> groups;
    size_t start = 0;
    for (const auto& sizeClass : classes) {
        collectGroups(sizeClass, outcomes.data() + start, verify, groups);
        start += sizeClass.files.size();
    }
    std::stable_sort(groups.begin(), groups.end(),
                     [](const DuplicateGroup& a, const DuplicateGroup& b) { return a.wastedBytes > b.wastedBytes; });

    DuplicateReport report;
    report.path = node.path;
    for (const auto& group : groups) report.totalWastedBytes += group.wastedBytes;
    report.totalWasted = Fmt::bytes(report.totalWastedBytes);
    report.note = verify ? L("已对整个文件做 SHA-256 校验。")
                         : L("按大小 + 首尾内容指纹匹配,几乎可以确定相同;删除前可加 verify 做全文件校验。以 "
                             "reflink 方式复制的副本并不重复占用空间。");
    size_t kept = static_cast<size_t>(std::clamp<int64_t>(limit, 0, static_cast<int64_t>(groups.size())));
    groups.resize(kept);
    report.groups = std::move(groups);
    return report;
}

// ---------------------------------------------------------------------------
// JSON

namespace {

constexpr auto groupFields = JSONCoding::fields(JSONCoding::field("bytesEach", &DuplicateGroup::bytesEach),
                                                JSONCoding::field("sizeEach", &DuplicateGroup::sizeEach),
                                                JSONCoding::field("wastedBytes", &DuplicateGroup::wastedBytes),
                                                JSONCoding::field("wasted", &DuplicateGroup::wasted),
                                                JSONCoding::field("verified", &DuplicateGroup::verified),
                                                JSONCoding::field("paths", &DuplicateGroup::paths));

constexpr auto reportFields = JSONCoding::fields(
    JSONCoding::field("path", &DuplicateReport::path), JSONCoding::field("groups", &DuplicateReport::groups),
    JSONCoding::field("totalWastedBytes", &DuplicateReport::totalWastedBytes),
    JSONCoding::field("totalWasted", &DuplicateReport::totalWasted), JSONCoding::field("note", &DuplicateReport::note));

}  // namespace

void to_json(json& document, const DuplicateGroup& group) { JSONCoding::write(document, group, groupFields); }
void from_json(const json& document, DuplicateGroup& group) { JSONCoding::read(document, group, groupFields); }
void to_json(json& document, const DuplicateReport& report) { JSONCoding::write(document, report, reportFields); }
void from_json(const json& document, DuplicateReport& report) { JSONCoding::read(document, report, reportFields); }

}  // namespace Service
