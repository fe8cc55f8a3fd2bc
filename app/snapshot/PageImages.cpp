#include "snapshot/PageImages.hpp"

#include <QApplication>
#include <QVBoxLayout>
#include <functional>

#include "ui/controls/ConfirmSheet.hpp"
#include "ui/pages/BackupPage.hpp"
#include "ui/pages/SuggestionsPage.hpp"

namespace {
using PageMaker = std::function<QWidget*(ConfirmSheetHost* host)>;

QImage render(const PageMaker& make, QSize size) {
    QWidget frame;
    frame.setAttribute(Qt::WA_DontShowOnScreen);
    auto* layout = new QVBoxLayout(&frame);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* host = new ConfirmSheetHost(&frame);
    layout->addWidget(make(host));
    frame.setFixedSize(size);
    frame.show();
    // Two rounds: deferred deletions and the scroll area's second layout pass.
    for (int round = 0; round < 2; ++round) {
        QApplication::sendPostedEvents();
        QApplication::processEvents();
        frame.layout()->activate();
    }
    return frame.grab().toImage().convertToFormat(QImage::Format_ARGB32);
}
}  // namespace

namespace PageImages {
QImage suggestions(const std::shared_ptr<AppModel>& model, QSize size) {
    return render([&](ConfirmSheetHost* host) { return new SuggestionsPage(PageContext::over(model, host)); }, size);
}

QImage backup(const std::shared_ptr<AppModel>& model, QSize size) {
    return render([&](ConfirmSheetHost* host) { return new BackupPage(PageContext::over(model, host)); }, size);
}
}  // namespace PageImages
