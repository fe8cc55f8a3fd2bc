#include "snapshot/PageRender.hpp"

#include <QApplication>

#include "demo/Demo.hpp"
#include "desktop/QtDispatcher.hpp"
#include "model/Executor.hpp"
#include "snapshot/Gallery.hpp"
#include "ui/pages/AgentPage.hpp"

namespace PageRender {
QImage agent(QSize size) {
    QtDispatcher dispatcher;
    // The image is taken at once: the setup's checks would come too late to
    // show, so they are queued here and never run.
    ManualExecutor checks;
    auto* page = new AgentPage(dispatcher, checks, QCoreApplication::applicationDirPath().toStdString(),
                               Demo::isActive);
    page->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QImage image = Gallery::standalone(page, size);
    return image;
}
}  // namespace PageRender
