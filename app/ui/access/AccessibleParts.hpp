// Screen-reader interfaces for Ostrevane's painted controls: a widget with a
// fixed role whose name, description and value come from functions, and a
// widget whose painted parts (segments, crumbs, map regions) are reported
// as children of their own.
#pragma once

#include <QAccessibleWidget>
#include <QHash>
#include <functional>
#include <optional>

/// How a painted control reads: name and description (empty to fall back on
/// the widget's accessible name and description), and a value for bars.
struct AccessibleTexts {
    using Text = std::function<QString(const QWidget*)>;
    Text name;
    Text description;
    /// A value from 0 to 1; set only for progress bars.
    std::function<double(const QWidget*)> value;

    static AccessibleTexts named(Text name, Text description = {}) {
        return {std::move(name), std::move(description), {}};
    }
};

/// A widget that reports `role` and the texts; with a value it also offers
/// the value interface (0 to 100, read as a percentage).
class AccessibleControl : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    AccessibleControl(QWidget* widget, QAccessible::Role role, AccessibleTexts texts);

    QString text(QAccessible::Text t) const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return 100.0; }
    QVariant minimumValue() const override { return 0.0; }
    QVariant minimumStepSize() const override { return 0.0; }

private:
    AccessibleTexts texts;
};

/// The painted parts of a widget, read afresh on every question.
struct AccessibleParts {
    std::function<int(QWidget*)> count;
    std::function<QString(QWidget*, int)> name;
    /// In the widget's coordinates.
    std::function<QRect(QWidget*, int)> rect;
    QAccessible::Role role = QAccessible::PushButton;
    /// Extra states of a part (selected, disabled, ...).
    std::function<QAccessible::State(QWidget*, int)> state;
    /// The part's press action; none when the parts cannot be pressed.
    std::function<void(QWidget*, int)> press;
};

/// A control whose children are its painted parts (it has no child widgets).
class AccessiblePartedControl : public AccessibleControl {
public:
    AccessiblePartedControl(QWidget* widget, QAccessible::Role role, AccessibleTexts texts, AccessibleParts parts);
    ~AccessiblePartedControl() override;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;

    const AccessibleParts& parts() const { return described; }
    QWidget* control() const { return widget(); }

private:
    AccessibleParts described;
    /// The parts' interfaces, registered with Qt once and kept for the control's life.
    mutable QHash<int, QAccessible::Id> made;
};
