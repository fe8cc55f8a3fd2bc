#include "scan/ScanWalk.hpp"

#include <dirent.h>
#include <unistd.h>

#include <cstring>
#include <deque>

#include "base/FolderNames.hpp"
#include "platform/FileSystem.hpp"
#include "platform/FolderChain.hpp"

namespace ScanWalk {

namespace {

constexpr int64_t filesPerProgressBatch = 4096;
// The innermost folders of a walk keep their descriptors (outer ones are
// reopened on the way back); with every thread walking, the scan stays
// well inside the usual limit of 1024 open files.
constexpr size_t descriptorsPerWalk = 12;

/// One sequential walk below the fan-out depth. Files are counted into the
/// innermost open folder; a folder is folded into its parent when the walk
/// leaves it, and kept as a node only when it is large enough.
class SequentialWalk {
public:
    SequentialWalk(ScanContext& context, const Place& start) : ctx(context), start(start) {}

    std::optional<FileNode> run(const Facts& root) {
        walkDevice = root.device;
        path = start.path;
        if (!root.isFolder()) {
            countFile(root, Paths::lastComponentView(start.path));
        } else {
            enterFolder(root, start.name, start.way);
            while (depth > 0)
                if (!step()) return std::nullopt;
        }
        if (pendingFiles > 0) ctx.add(pendingFiles, pendingBytes, start.path);
        ctx.addLinks(links);
        return std::move(result);
    }

private:
    struct Builder {
        int64_t size = 0;
        int64_t count = 0;
        int64_t newest = 0;
        int64_t dirModified = 0;
        std::vector<FileNode> children;
    };
    struct Frame {
        Builder builder;
        Listing listing;
        size_t next = 0;
        bool opened = false;  // in the chain of open folders
        size_t pathLength = 0;
        dev_t device = 0;
        ino_t inode = 0;
        const ScanRecord::Node* way = nullptr;  // on the way to a recorded place
    };

    ScanContext& ctx;
    const Place& start;
    std::string path;          // the path of the entry being handled, like fts_path
    std::deque<Frame> frames;  // frames[0 ..< depth] are the open folders; a deque keeps references stable
    size_t depth = 0;
    FolderChain chain{descriptorsPerWalk};
    LinkTally links;
    int64_t pendingFiles = 0;
    int64_t pendingBytes = 0;
    dev_t walkDevice = 0;
    std::optional<FileNode> result;

    /// Handles the next entry of the innermost open folder; false when the
    /// scan was cancelled.
    bool step() {
        Frame& frame = frames[depth - 1];
        if (frame.next == frame.listing.entries.size()) {
            leaveFolder();
            return true;
        }
        const Listing::Entry& entry = frame.listing.entries[frame.next++];
        path.resize(frame.pathLength);
        if (path.back() != '/') path += '/';
        path += frame.listing.name(entry);

        if (!entry.statted) {
            ctx.addInaccessible(path);
            return true;
        }
        const ScanRecord::Node* way = frame.way
                                          ? ctx.recordEntry(frame.way, frame.listing.name(entry), path, entry.facts)
                                          : nullptr;
        if (!entry.facts.isFolder()) return countFile(entry.facts, frame.listing.name(entry));

        // A folder that is its own ancestor (a bind mount of a parent) is passed over.
        for (size_t level = 0; level < depth; ++level)
            if (frames[level].device == entry.facts.device && frames[level].inode == entry.facts.inode) return true;

        bool skip = false;
        if (FileSystem::isCloudOnlyFolder(path)) {
            ctx.addCloudOnly(path);
            skip = true;
        } else if (!ctx.excludeSet.empty() && ctx.excludeSet.count(path)) {
            skip = true;
        }
        if (skip) {
            pushFolder(entry.facts);
            leaveFolder();
            return true;
        }
        enterFolder(entry.facts, frame.listing.cName(entry), way);
        return true;
    }

    void pushFolder(const Facts& facts, const ScanRecord::Node* way = nullptr) {
        if (frames.size() <= depth) frames.emplace_back();
        Frame& frame = frames[depth++];
        frame.builder = Builder{facts.allocated, 0, 0, facts.modified, {}};
        frame.listing.entries.clear();
        frame.next = 0;
        frame.opened = false;
        frame.pathLength = path.size();
        frame.device = facts.device;
        frame.inode = facts.inode;
        frame.way = way;
    }

    /// Opens a folder relative to its parent and reads its entries. A folder
    /// on another device is counted with its own allocation but not entered;
    /// one that cannot be opened is reported and counted the same way.
    void enterFolder(const Facts& facts, const char* name, const ScanRecord::Node* way) {
        pushFolder(facts, way);
        if (facts.device != walkDevice) {
            leaveFolder();
            return;
        }
        int descriptor = FileSystem::canOpenFolder(path) ? chain.enter(name, facts.device, facts.inode, start.parent)
                                                         : -1;
        if (descriptor < 0) {
            ctx.addInaccessible(path);
            leaveFolder();
            return;
        }
        Frame& frame = frames[depth - 1];
        frame.opened = true;
        frame.listing.read(descriptor);
    }

    void leaveFolder() {
        Frame& frame = frames[depth - 1];
        if (frame.opened) chain.leave();
        Builder built = std::move(frame.builder);
        frame.builder.children.clear();
        path.resize(frame.pathLength);
        --depth;
        ctx.recordKept(path, built.size, frame.device, frame.inode);

        std::optional<FileNode> node;
        if (depth == 0 || (built.size >= ctx.options.minNodeSize && path.size() <= ctx.options.maxNodePath)) {
            sortLargestFirst(built.children);
            node = FileNode{std::string(Paths::lastComponentView(path)),
                            path,
                            true,
                            built.size,
                            built.count,
                            dateOf(built.newest >= 1 ? built.newest : built.dirModified),
                            std::move(built.children)};
        }
        if (depth == 0) {
            result = std::move(node);
            return;
        }
        Builder& parent = frames[depth - 1].builder;
        parent.size += built.size;
        parent.count += built.count;
        parent.newest = std::max(parent.newest, built.newest);
        if (node) parent.children.push_back(std::move(*node));
    }

    /// Counts a non-folder entry; false when a progress batch found the scan cancelled.
    bool countFile(const Facts& facts, std::string_view name) {
        int64_t size = facts.allocated;
        // Every link counts for now; the scan settles them at its end.
        bool firstMet = facts.links < 2 || links.count(facts.device, facts.inode, size, path);
        if (depth == 0) {
            result = fileNode(name, path, size, facts.modified);
        } else {
            Builder& top = frames[depth - 1].builder;
            top.size += size;
            top.count += 1;
            if (facts.isRegular()) top.newest = std::max(top.newest, facts.modified);
            if (size >= ctx.options.minNodeSize && path.size() <= ctx.options.maxNodePath)
                top.children.push_back(fileNode(name, path, size, facts.modified));
        }
        pendingFiles += 1;
        if (firstMet) pendingBytes += size;
        if (pendingFiles == filesPerProgressBatch) {
            ctx.add(pendingFiles, pendingBytes, path);
            if (ctx.cancelled()) return false;
            pendingFiles = 0;
            pendingBytes = 0;
        }
        return true;
    }
};

}  // namespace

void Listing::read(int folder) {
    names.clear();
    entries.clear();
    FolderNames::forEach(folder, [&](const char* name) {
        Entry entry;
        entry.nameStart = static_cast<uint32_t>(names.size());
        entry.nameLength = static_cast<uint32_t>(std::strlen(name));
        names.append(name, entry.nameLength + 1);
        entries.push_back(entry);
    });
    for (auto& entry : entries) {
        struct stat status;
        if (::fstatat(folder, cName(entry), &status, AT_SYMLINK_NOFOLLOW) == 0) {
            entry.statted = true;
            entry.facts = Facts::of(status);
        }
    }
}

std::optional<FileNode> walk(ScanContext& ctx, const Place& start, const Facts& root) {
    return SequentialWalk(ctx, start).run(root);
}

}  // namespace ScanWalk
