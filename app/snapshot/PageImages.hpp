// The suggestions and backup pages rendered alone, for the snapshot mode and
// for looking at a page while it is built.
#pragma once

#include <QImage>
#include <QSize>
#include <memory>

#include "model/AppModel.hpp"

namespace PageImages {
/// The page area of the window at its first size: 1180 − 216 by about 730.
inline const QSize pageSize(964, 730);

/// The suggestions page of `model` at `size`. Needs a QApplication.
QImage suggestions(const std::shared_ptr<AppModel>& model, QSize size = pageSize);
/// The backup page of `model` at `size`. Needs a QApplication.
QImage backup(const std::shared_ptr<AppModel>& model, QSize size = pageSize);
}  // namespace PageImages
