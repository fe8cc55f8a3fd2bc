// Who each item of the Trash is: an emptying that keeps to what the user was
// shown tells the items apart by this, never by the date a record gives,
// which is local time to the second, in whatever zone the program that
// trashed it ran.
#include <sys/stat.h>

#include "platform/Trash.hpp"

namespace Trash {

std::optional<EntryIdentity> identityOf(const Entry& entry) {
    struct stat status {};
    if (!entry.trash->files.valid() || Hooks::active().statusAt(entry.trash->files.get(), entry.name, status) != 0)
        return std::nullopt;
    return EntryIdentity{entry.trash->path,
                         entry.name,
                         status.st_dev,
                         status.st_ino,
                         static_cast<unsigned>(status.st_mode & S_IFMT),
                         static_cast<int64_t>(status.st_ctim.tv_sec),
                         static_cast<int64_t>(status.st_ctim.tv_nsec)};
}

}  // namespace Trash
