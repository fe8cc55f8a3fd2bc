#include "ui/controls/FocusKeeper.hpp"

#include <QAccessible>
#include <QApplication>
#include <QTimer>
#include <QVariant>
#include <algorithm>

#include "pages/FocusSuccessor.hpp"
#include "ui/controls/FocusChain.hpp"

namespace {
const char* const scopeProperty = "ostrevaneFocusScope";

bool usable(const QWidget* widget) { return widget && widget->isVisible() && widget->isEnabled(); }

std::vector<std::string> keysOf(const std::vector<QWidget*>& stops) {
    std::vector<std::string> keys;
    for (QWidget* stop : stops) keys.push_back(FocusKeeper::keyOf(stop));
    return keys;
}
}  // namespace

FocusKeeper::FocusKeeper(QWidget* owner, QWidget* header, std::function<QWidget*()> page)
    : QObject(owner), header(header), page(std::move(page)) {
    connect(qApp, &QApplication::focusChanged, this, &FocusKeeper::follow);
}

std::string FocusKeeper::keyOf(QWidget* control) {
    QString name = control->accessibleName();
    if (QAccessibleInterface* face = QAccessible::queryAccessibleInterface(control))
        name = face->text(QAccessible::Name);
    std::string key = std::string(control->metaObject()->className()) + "\n" + name.toStdString();
    for (const QWidget* w = control; w; w = w->parentWidget())
        if (const QVariant scope = w->property(scopeProperty); scope.isValid())
            key += "\n" + scope.toString().toStdString();
    return key;
}

void FocusKeeper::setScope(QWidget* container, const std::string& identity) {
    container->setProperty(scopeProperty, QString::fromStdString(identity));
}

bool FocusKeeper::onPage(const QWidget* widget) const {
    QWidget* shown = page();
    return shown && widget && (shown->isAncestorOf(widget) || header->isAncestorOf(widget));
}

std::vector<QWidget*> FocusKeeper::stops() const {
    std::vector<QWidget*> all = FocusChain::visualOrder(header);
    const std::vector<QWidget*> own = FocusChain::visualOrder(page());
    all.insert(all.end(), own.begin(), own.end());
    return all;
}

bool FocusKeeper::isLoss(QWidget* old, QWidget* now) const {
    if (!old || (!onPage(old) && !FocusChain::inSheet(old))) return false;
    // A cleared focus is checked again when the restore runs: deleted, or
    // still there (the window lost its activation, or code cleared it).
    return !now || !old->isVisible() || !old->isEnabled();
}

void FocusKeeper::follow(QWidget* old, QWidget* now) {
    if (restoring) return;
    if (isLoss(old, now)) {
        const bool fromPage = onPage(old) && !FocusChain::inSheet(old);
        if (!scheduled) {
            scheduled = true;
            choicesAtLoss = choices;
            lossFromPage = false;
            restoreLater(2);
        }
        lostControl = old;
        lossFromPage = lossFromPage || fromPage;
        return;
    }
    // A window losing or regaining its activation moves the focus to or from
    // nothing; that is no choice of a control.
    if (old && now) ++choices;
    if (!now || !onPage(now) || FocusChain::inSheet(now)) return;
    const std::vector<QWidget*> all = stops();
    const auto at = std::find(all.begin(), all.end(), now);
    if (at == all.end()) return;
    chosen = Place{page(), keysOf(all), size_t(at - all.begin())};
}

void FocusKeeper::restoreLater(int hops) {
    QTimer::singleShot(0, this, [this, hops] {
        if (hops > 1)
            restoreLater(hops - 1);
        else
            restore();
    });
}

bool FocusKeeper::shouldRestore() const {
    // Another move since (a key, a click, a new page's sidebar row) wins.
    if (choices != choicesAtLoss || !chosen || !chosen->page || chosen->page != page()) return false;
    // The focus was cleared from a control that is still there: not a rebuild's doing.
    if (usable(lostControl)) return false;
    QWidget* focused = QApplication::focusWidget();
    // A sheet the action opened keeps the keyboard.
    if (focused && FocusChain::inSheet(focused) && usable(focused)) return false;
    // A sheet that closed hands the focus back itself; only a lost one is placed again.
    return lossFromPage || !usable(focused);
}

bool FocusKeeper::waitsOnStandIn() const {
    return standIn && QApplication::focusWidget() == standIn && choices == choicesAtLoss && chosen &&
           chosen->page == page();
}

void FocusKeeper::pageChanged() {
    if (scheduled || !waitsOnStandIn()) return;
    scheduled = true;
    restoreLater(2);
}

void FocusKeeper::restore() {
    scheduled = false;
    const bool retry = waitsOnStandIn();
    if (!retry && !shouldRestore()) return;
    const std::vector<QWidget*> all = stops();
    const std::vector<std::string> keys = keysOf(all);
    // A stand-in is moved only when the page changed since it was given.
    if (retry && keys == keysAtStandIn) return;
    const auto found = FocusSuccessor::find(chosen->keys, chosen->index, keys);
    if (!found) return;
    QWidget* target = all[found->index];
    restoring = true;
    target->setFocus(Qt::OtherFocusReason);
    restoring = false;
    FocusChain::scrollTo(target);
    standIn = found->same ? nullptr : target;
    keysAtStandIn = found->same ? std::vector<std::string>{} : keys;
}

void FocusKeeper::returnToPage() {
    const std::vector<QWidget*> all = stops();
    if (all.empty()) return;
    QWidget* target = nullptr;
    if (chosen && chosen->page == page())
        if (const auto found = FocusSuccessor::find(chosen->keys, chosen->index, keysOf(all)))
            target = all[found->index];
    if (!target) {
        const std::vector<QWidget*> own = FocusChain::visualOrder(page());
        target = own.empty() ? all.front() : own.front();
    }
    target->setFocus(Qt::OtherFocusReason);
    FocusChain::scrollTo(target);
}
