// Who an item of a trash folder is, as a measurement of the Trash saw it: an
// emptying that keeps to what the user was shown deletes only the items it
// finds exactly as they were measured.
#pragma once

#include <sys/types.h>

#include <compare>
#include <cstdint>
#include <set>
#include <string>

namespace Trash {

/// One item: the trash folder it lies in (its path as opened), its name in
/// files/, and its device, inode, file type (the S_IFMT bits) and change
/// time to the nanosecond, links not followed. A name is no identity, and an
/// inode freed by an emptying may come back under the same name; the new
/// item then has a later change time.
struct EntryIdentity {
    std::string trash;
    std::string name;
    dev_t device = 0;
    ino_t inode = 0;
    unsigned type = 0;
    int64_t changedSeconds = 0;
    int64_t changedNanoseconds = 0;

    auto operator<=>(const EntryIdentity&) const = default;
};

/// Every item a measurement of the trash folders counted.
using MeasuredEntries = std::set<EntryIdentity>;

}  // namespace Trash
