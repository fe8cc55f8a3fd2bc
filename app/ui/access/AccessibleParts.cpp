#include "ui/access/AccessibleParts.hpp"

#include <QWidget>
#include <algorithm>
#include <cmath>

namespace {
/// One painted part: it holds its control's interface and its index and asks
/// the control's description for everything else.
class AccessiblePart : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    AccessiblePart(const AccessiblePartedControl* owner, int index) : owner(owner), index(index) {}

    bool isValid() const override { return owner->isValid() && index < owner->parts().count(owner->control()); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return owner->window(); }
    QAccessibleInterface* parent() const override { return const_cast<AccessiblePartedControl*>(owner); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name || !isValid()) return {};
        return owner->parts().name(owner->control(), index);
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid()) return {};
        QWidget* widget = owner->control();
        const QRect local = owner->parts().rect(widget, index);
        return QRect(widget->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override { return owner->parts().role; }
    QAccessible::State state() const override {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        if (owner->parts().state) state = owner->parts().state(owner->control(), index);
        if (!owner->control()->isVisible()) state.invisible = true;
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ActionInterface && owner->parts().press)
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }

    QStringList actionNames() const override {
        return owner->parts().press ? QStringList{pressAction()} : QStringList{};
    }
    void doAction(const QString& action) override {
        if (action == pressAction() && owner->parts().press && isValid()) owner->parts().press(owner->control(), index);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    const AccessiblePartedControl* owner;
    int index;
};
}  // namespace

AccessibleControl::AccessibleControl(QWidget* widget, QAccessible::Role role, AccessibleTexts texts)
    : QAccessibleWidget(widget, role), texts(std::move(texts)) {}

QString AccessibleControl::text(QAccessible::Text t) const {
    QString own = QAccessibleWidget::text(t);
    if (!own.isEmpty()) return own;
    if (t == QAccessible::Name && texts.name) return texts.name(widget());
    if (t == QAccessible::Description && texts.description) return texts.description(widget());
    if (t == QAccessible::Value && texts.value) return QString::number(std::lround(texts.value(widget()) * 100)) + "%";
    return own;
}

void* AccessibleControl::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::ValueInterface && texts.value) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QVariant AccessibleControl::currentValue() const {
    return texts.value ? std::clamp(texts.value(widget()), 0.0, 1.0) * 100 : 0.0;
}

AccessiblePartedControl::AccessiblePartedControl(QWidget* widget, QAccessible::Role role, AccessibleTexts texts,
                                                 AccessibleParts parts)
    : AccessibleControl(widget, role, std::move(texts)), described(std::move(parts)) {}

AccessiblePartedControl::~AccessiblePartedControl() {
    for (QAccessible::Id id : std::as_const(made)) QAccessible::deleteAccessibleInterface(id);
}

int AccessiblePartedControl::childCount() const { return isValid() ? described.count(widget()) : 0; }

QAccessibleInterface* AccessiblePartedControl::child(int index) const {
    if (index < 0 || index >= childCount()) return nullptr;
    if (const auto found = made.constFind(index); found != made.constEnd())
        return QAccessible::accessibleInterface(*found);
    auto* part = new AccessiblePart(this, index);
    made.insert(index, QAccessible::registerAccessibleInterface(part));
    return part;
}

int AccessiblePartedControl::indexOfChild(const QAccessibleInterface* child) const {
    for (auto it = made.constBegin(); it != made.constEnd(); ++it)
        if (QAccessible::accessibleInterface(it.value()) == child) return it.key() < childCount() ? it.key() : -1;
    return -1;
}

QAccessibleInterface* AccessiblePartedControl::childAt(int x, int y) const {
    const int count = childCount();
    for (int i = 0; i < count; ++i) {
        QAccessibleInterface* part = child(i);
        if (part && part->rect().contains(x, y)) return part;
    }
    return nullptr;
}
