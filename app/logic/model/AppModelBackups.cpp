// The model's backup operations and configuration edits.
#include "model/AppModel.hpp"

void AppModel::run(const BackupPlan&) {}
void AppModel::runAllPlans() {}
void AppModel::backup(const std::string&, const BackupDestination&) {}
void AppModel::offload(const std::string&, const BackupDestination&) {}
void AppModel::cancelBackup() {}
void AppModel::addPlan(const std::string&, const std::string&) {}
void AppModel::removePlan(const BackupPlan&) {}
void AppModel::addCustomDestination(const std::string&) {}
void AppModel::removeCustomDestination(const BackupDestination&) {}
void AppModel::startBackup(const std::string&, BackupWork) {}
void AppModel::finishBackup(const CancelTokenPtr&, Outcome<BackupOutcome>) {}
void AppModel::changeConfig(const std::function<void(AppConfig&)>&) {}
