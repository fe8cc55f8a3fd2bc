#include "demo/Demo.hpp"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "demo/DemoData.hpp"

namespace Demo {

namespace {
std::atomic<bool> active{false};
}

bool isActive() { return active.load(); }

void load(AppModel& model) {
    using namespace detail;
    active = true;
    // Whole seconds: the engine's dates carry no fractions, so the dates set
    // directly (the plans') match those that went through JSON (the reports').
    const Date now = std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now());
    const std::string home = Paths::home();
    FileNode root = tree(home, now);
    model.volumes_ = {volume()};
    model.publish(AppModel::Change::volumes);
    model.fullDiskAccess_ = true;
    model.publish(AppModel::Change::volumes);
    model.scan_ = std::make_shared<const ScanResult>(scan(root, now));
    ++model.scanVersion;
    model.publish(AppModel::Change::scan);
    model.report_ = report(home, now);
    model.publish(AppModel::Change::analysis);
    model.destinations_ = destinations(home);
    model.publish(AppModel::Change::backups);
    model.plans_ = plans(home, now);
    model.publish(AppModel::Change::backups);
    model.history_ = history(home, now);
    model.publish(AppModel::Change::backups);
}

namespace detail {

void mismatch(const char* typeName, const std::string& error) {
    std::fprintf(stderr, "demo data does not match %s: %s\n", typeName, error.c_str());
    std::abort();
}

Date offset(Date now, double seconds) {
    return now + std::chrono::duration_cast<Date::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace detail
}  // namespace Demo
