#include "ui/access/KeyboardAccess.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextEdit>

#include "ui/controls/FocusChain.hpp"
#include "ui/controls/FocusRing.hpp"

namespace {
QPointer<KeyboardAccess> installed;
QPointer<FocusRing> sharedRing;

/// A focused custom button that Return clicks: enabled, not one of Qt's push
/// buttons (they handle Return themselves) and not inside a sheet.
QAbstractButton* returnTarget(QObject* watched) {
    auto* button = qobject_cast<QAbstractButton*>(watched);
    if (!button || qobject_cast<QPushButton*>(button)) return nullptr;
    if (!button->hasFocus() || !button->isEnabled() || FocusChain::inSheet(button)) return nullptr;
    return button;
}
}  // namespace

KeyboardAccess::KeyboardAccess(QObject* parent) : QObject(parent) {}

void KeyboardAccess::install() {
    if (installed) return;
    installed = new KeyboardAccess(qApp);
    qApp->installEventFilter(installed);
    connect(qApp, &QApplication::focusChanged, installed, [](QWidget*, QWidget* now) { installed->follow(now); });
}

FocusRing* KeyboardAccess::ring() { return sharedRing; }

void KeyboardAccess::follow(QWidget* focused) {
    const bool wanted = focused && !focused->isWindow() && !FocusRing::isDrawnByWidget(focused) &&
                        focused->window()->testAttribute(Qt::WA_KeyboardFocusChange);
    if (!wanted) {
        if (sharedRing) sharedRing->setWidget(nullptr);
        return;
    }
    // The frame takes the focused control's parent for its own; the ring is
    // made on first use and deleted with whichever window holds it then.
    if (!sharedRing) sharedRing = new FocusRing;
    sharedRing->setWidget(focused);
    sharedRing->update();
}

bool KeyboardAccess::tab(QObject* watched, bool next) {
    auto* widget = qobject_cast<QWidget*>(watched);
    QWidget* focused = QApplication::focusWidget();
    // Once per press: where the key first arrives (the focus, or a window without one).
    if (!widget || (focused ? widget != focused : !widget->isWindow())) return false;
    QWidget* window = widget->window();
    if (window->windowType() == Qt::Popup || FocusChain::inSheet(widget)) return false;
    // Editors that type a tab keep it.
    if (auto* editor = qobject_cast<QPlainTextEdit*>(widget); editor && !editor->tabChangesFocus()) return false;
    if (auto* editor = qobject_cast<QTextEdit*>(widget); editor && !editor->tabChangesFocus()) return false;
    return FocusChain::move(FocusChain::visualOrder(window), focused, next);
}

void KeyboardAccess::pointerPressed(QObject* watched) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !widget->window()->testAttribute(Qt::WA_KeyboardFocusChange)) return;
    // The pointer took over: no control shows the keyboard's ring until a key moves the focus again.
    widget->window()->setAttribute(Qt::WA_KeyboardFocusChange, false);
    QWidget* focused = QApplication::focusWidget();
    follow(focused);
    if (focused) focused->update();
}

bool KeyboardAccess::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) pointerPressed(watched);
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_Tab && modifiers == Qt::NoModifier) return tab(watched, true);
    if (key->key() == Qt::Key_Backtab || (key->key() == Qt::Key_Tab && modifiers == Qt::ShiftModifier))
        return tab(watched, false);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
    if (key->modifiers() & ~Qt::KeypadModifier) return false;
    QAbstractButton* button = returnTarget(watched);
    if (!button) return false;
    if (!key->isAutoRepeat()) button->click();
    return true;
}
