// The offload records at a destination and the places of sources in the
// layout. A record is a file of its own per offload, never one shared list:
// computers writing into one synced folder would otherwise drop each
// other's entries whenever the sync client picks one version of the list.
#include "backup/Archive.hpp"

#include <sys/statfs.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

#include "backup/Private.hpp"
#include "base/InputLimits.hpp"
#include "base/JSONCoding.hpp"
#include "base/StoredFile.hpp"
#include "config/Destinations.hpp"
#include "platform/Host.hpp"
#include "platform/Mounts.hpp"

namespace Archive {

namespace {

/// One offload's record as stored.
struct Record {
    std::string source;
    Date offloadedAt;
    std::vector<File> files;
};

constexpr auto fileFields = JSONCoding::fields(JSONCoding::field("path", &File::path),
                                               JSONCoding::field("size", &File::size),
                                               JSONCoding::field("modifiedSeconds", &File::modifiedSeconds),
                                               JSONCoding::field("modifiedNanoseconds", &File::modifiedNanoseconds));
constexpr auto recordFields = JSONCoding::fields(JSONCoding::field("source", &Record::source),
                                                 JSONCoding::field("offloadedAt", &Record::offloadedAt),
                                                 JSONCoding::field("files", &Record::files));

}  // namespace

void to_json(json& object, const File& file) { JSONCoding::write(object, file, fileFields); }
void from_json(const json& object, File& file) { JSONCoding::read(object, file, fileFields); }

namespace {

void to_json(json& object, const Record& record) { JSONCoding::write(object, record, recordFields); }
void from_json(const json& object, Record& record) { JSONCoding::read(object, record, recordFields); }

std::optional<Record> decoded(std::string_view text) {
    if (static_cast<int64_t>(text.size()) > InputLimits::storedFileBytes()) return std::nullopt;
    auto document = InputLimits::parse(text, StoredFile::depthLimit);
    if (!document) return std::nullopt;
    try {
        return document->get<Record>();
    } catch (const std::exception&) {
        return std::nullopt;  // not written whole by an offload: nothing it lists can be trusted
    }
}

bool typeIgnoresCase(std::string_view type) {
    // The mount table names a FUSE driver's file system "fuse.<driver>"
    // ("fuseblk.<driver>" on a block device): the driver tells the disk.
    for (std::string_view prefix : {"fuse.", "fuseblk."})
        if (type.starts_with(prefix)) type.remove_prefix(prefix.size());
    static const std::array<std::string_view, 16> types{
        "vfat",    "msdos",      "fat",     "fusefat", "exfat", "exfat-fuse", "ntfs",     "ntfs3",
        "ntfs-3g", "lowntfs-3g", "fuseblk", "cifs",    "smb3",  "smbfs",      "smbnetfs", "smb"};
    return std::find(types.begin(), types.end(), type) != types.end();
}

bool magicIgnoresCase(long type) {
    constexpr std::array<unsigned long, 8> magics{
        0x4d44,      // FAT
        0x2011BAB0,  // exFAT
        0x5346544e,  // NTFS
        0x7366746e,  // NTFS (ntfs3)
        0xFF534D42,  // CIFS
        0xFE534D42,  // SMB2
        0x517B,      // SMB
        0x65735546,  // FUSE: exFAT and NTFS drivers mostly
    };
    return std::find(magics.begin(), magics.end(), static_cast<unsigned long>(type)) != magics.end();
}

bool mountIgnoresCase(const std::string& folder) {
    const std::string resolved = BackupEngine::weaklyCanonical(folder).value_or(folder);
    if (auto table = Mounts::readTable()) {
        const auto mounts = Mounts::parse(*table);
        if (const Mounts::Mount* mount = Mounts::holding(mounts, resolved)) return typeIgnoresCase(mount->fsType);
    }
    struct statfs status;
    return ::statfs(resolved.c_str(), &status) == 0 && magicIgnoresCase(status.f_type);
}

}  // namespace

Hooks& Hooks::active() {
    static Hooks hooks{.ignoresCase = mountIgnoresCase};
    return hooks;
}

bool ignoresCase(const std::string& destination) { return Hooks::active().ignoresCase(destination); }

std::string folded(std::string_view name) {
    if (!Text::isValidUTF8(name)) return std::string(name);
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(
        icu::StringPiece(name.data(), static_cast<int32_t>(name.size())));
    // Composed first: whether a file system behind SMB or FUSE keeps "é" and
    // "e"+"´" apart cannot be told, and taking them for one only leaves a
    // name uncopied and reported, never a copy overwritten.
    if (const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status); U_SUCCESS(status)) {
        icu::UnicodeString composed = nfc->normalize(text, status);
        if (U_SUCCESS(status)) text = composed;
    }
    std::string key;
    text.foldCase(U_FOLD_CASE_DEFAULT).toUTF8String(key);
    return key;
}

std::vector<std::string> recordFolder() { return {Destinations::backupFolderName, ".offloads", Host::computerName()}; }

/// "<UTC seconds>-<process>-<random>.json".
std::string recordName() {
    const auto now = std::chrono::system_clock::now();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
    return std::to_string(seconds) + "-" + std::to_string(::getpid()) + "-" + Text::randomIdentifier() +
           Text::randomIdentifier() + ".json";
}

std::string encoded(const std::string& path, const std::string& source, const std::vector<File>& files) {
    json document = Record{source, std::chrono::system_clock::now(), files};
    return StoredFile::encoded(path, document);
}

void Records::add(std::string_view text) {
    auto record = decoded(text);
    if (!record) return;
    for (File& file : record->files) {
        std::string key = keyOf(file.path);
        files.emplace(std::move(key), std::move(file));
    }
}

Records Records::of(const std::vector<std::string>& texts, bool ignoringCase) {
    Records records;
    records.ignoringCase = ignoringCase;
    for (const auto& text : texts) records.add(text);
    return records;
}

std::string Records::keyOf(const std::string& relative) const { return ignoringCase ? folded(relative) : relative; }

Records Records::read(int destination, bool ignoringCase) {
    Records records;
    records.ignoringCase = ignoringCase;
    BackupEngine::TargetFolder folder = BackupEngine::openTargetChain(destination, recordFolder(), false);
    if (!folder.fd.valid()) return records;
    std::vector<std::string> names;
    BackupEngine::readNames(folder.fd.get(), names);
    for (const auto& name : names) {
        // Writers name their temporaries "<record>.tmp-…": never a record.
        if (!name.ends_with(".json")) continue;
        InputLimits::Read outcome;
        if (auto text = InputLimits::readStoredFile(folder.fd.get(), name, outcome)) records.add(*text);
    }
    return records;
}

bool Records::holds(const File& existing) const {
    auto [first, last] = files.equal_range(keyOf(existing.path));
    return std::any_of(first, last, [&](const auto& entry) {
        const File& file = entry.second;
        return file.size == existing.size && file.modifiedSeconds == existing.modifiedSeconds &&
               file.modifiedNanoseconds == existing.modifiedNanoseconds;
    });
}

bool Records::holds(const std::string& relative, const struct stat& existing) const {
    return S_ISREG(existing.st_mode) &&
           holds(File{relative, static_cast<int64_t>(existing.st_size), static_cast<int64_t>(existing.st_mtim.tv_sec),
                      static_cast<int64_t>(existing.st_mtim.tv_nsec)});
}

std::string write(int destination, const std::string& path, const std::string& source, const std::vector<File>& files) {
    const auto parts = recordFolder();
    BackupEngine::TargetFolder folder = BackupEngine::openTargetChain(destination, parts, true);
    if (!folder.fd.valid()) throw OstrevaneError(std::strerror(folder.error));
    const std::string name = recordName();
    std::string place = path;
    for (const auto& part : parts) place = Paths::joined(place, part);
    const std::string record = Paths::joined(place, name);
    Files::writeAtomically(folder.fd.get(), name, encoded(record, source, files));
    // The record's name too must be on the disk before the source goes; a
    // file system that cannot sync a folder leaves that to the offload's
    // flush of the whole disk.
    if (::fsync(folder.fd.get()) != 0 && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        const int error = errno;
        ::unlinkat(folder.fd.get(), name.c_str(), 0);
        throw OstrevaneError(std::strerror(error));
    }
    return record;
}

void withdraw(int destination, const std::string& record) {
    BackupEngine::TargetFolder folder = BackupEngine::openTargetChain(destination, recordFolder(), false);
    if (folder.fd.valid()) ::unlinkat(folder.fd.get(), std::string(Paths::lastComponentView(record)).c_str(), 0);
}

std::optional<std::string> layoutTwin(const std::string& source, bool ignoringCase) {
    const std::string home = Paths::home();
    // Text every path below the home starts with, compared as text only.
    const std::string prefix = home.ends_with("/") ? home : home + "/";
    if (!source.starts_with(prefix)) return std::nullopt;
    const std::string place = source.substr(prefix.size());
    const size_t slash = place.find('/');
    const std::string top = place.substr(0, slash);
    const std::string rest = slash == std::string::npos ? "" : place.substr(slash + 1);
    auto is = [&](const std::string& name) { return ignoringCase ? Text::equalIgnoringCase(top, name) : top == name; };
    if (is("Home")) return Paths::joined(home, rest);
    if (is("_root")) return Paths::joined("/", rest);
    return std::nullopt;
}

}  // namespace Archive
