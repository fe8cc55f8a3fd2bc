#include "snapshot/PageRender.hpp"

#include <QApplication>

#include "platform/QtDispatcher.hpp"
#include "snapshot/Gallery.hpp"
#include "ui/pages/AgentPage.hpp"

namespace PageRender {
QImage agent(QSize size) {
    QtDispatcher dispatcher;
    auto* page = new AgentPage(dispatcher);
    page->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QImage image = Gallery::standalone(page, size);
    return image;
}
}  // namespace PageRender
