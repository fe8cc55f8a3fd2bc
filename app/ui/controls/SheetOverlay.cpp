#include "ui/controls/SheetOverlay.hpp"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>

#include "ui/controls/FocusChain.hpp"
#include "ui/controls/Shapes.hpp"
#include "ui/theme/QtTheme.hpp"

SheetOverlay::SheetOverlay(QWidget* page) : QWidget(page) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_NoMousePropagation);
    FocusChain::markSheet(this);
    page->installEventFilter(this);
    hide();
}

void SheetOverlay::present(QWidget* panel) {
    if (shown) {
        shown->hide();
        shown->deleteLater();
    } else {
        focusBefore = QApplication::focusWidget();
    }
    shown = panel;
    panel->setParent(this);
    setGeometry(parentWidget()->rect());
    place();
    show();
    raise();
    panel->show();
    panel->installEventFilter(this);
    setFocus(Qt::OtherFocusReason);
}

void SheetOverlay::close() {
    if (!shown) return;
    shown->hide();
    shown->deleteLater();
    shown = nullptr;
    hide();
    if (focusBefore) focusBefore->setFocus(Qt::OtherFocusReason);
    focusBefore = nullptr;
}

void SheetOverlay::place() {
    if (!shown) return;
    const QSize size = shown->sizeHint().expandedTo(shown->minimumSize()).boundedTo(shown->maximumSize());
    const int height = shown->hasHeightForWidth() ? shown->heightForWidth(size.width()) : size.height();
    shown->resize(size.width(), height);
    shown->move((width() - shown->width()) / 2, std::max(0, (this->height() - shown->height()) / 2));
    update();
}

bool SheetOverlay::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize && shown) {
        setGeometry(parentWidget()->rect());
        place();
    }
    if (watched == shown && event->type() == QEvent::LayoutRequest) place();
    return QWidget::eventFilter(watched, event);
}

void SheetOverlay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgbF(0, 0, 0, float(dimming)));
    if (shown) {
        const QRectF frame = QRectF(shown->geometry()).adjusted(-1, -1, 1, 1);
        Shapes::fillRounded(painter, frame, 2, Qt::transparent, qColor(Theme::line));
    }
}

void SheetOverlay::mousePressEvent(QMouseEvent* event) { event->accept(); }

void SheetOverlay::keyPressEvent(QKeyEvent* event) {
    // Keys never reach the page behind the sheet.
    event->accept();
    if (event->key() == Qt::Key_Escape && onCancel) onCancel();
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && onDefault) onDefault();
}

// Tab goes round the panel's controls and never reaches the page behind it.
bool SheetOverlay::focusNextPrevChild(bool next) { return shown ? FocusChain::cycle(shown, next) : true; }
