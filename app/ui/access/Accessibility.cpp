#include "ui/access/Accessibility.hpp"

#include <QAccessible>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QTextDocumentFragment>
#include <QVariant>

#include "ui/access/AccessibleParts.hpp"
#include "ui/access/KeyboardAccess.hpp"
#include "ui/controls/Card.hpp"
#include "ui/controls/ConfirmSheet.hpp"
#include "ui/controls/ElidedLabel.hpp"
#include "ui/controls/MonoBar.hpp"
#include "ui/controls/MonoSegments.hpp"
#include "ui/controls/Tags.hpp"
#include "ui/controls/TextRuns.hpp"
#include "ui/maps/MapRegions.hpp"
#include "ui/pages/AddPlanSheet.hpp"
#include "ui/pages/CapacityBar.hpp"
#include "ui/pages/ExplorerBreadcrumb.hpp"

namespace {
/// The first text a widget shows, searching its children in order: a card's
/// title, the text beside a bar.
QString firstText(const QWidget* widget) {
    if (auto* label = qobject_cast<const QLabel*>(widget); label && !label->text().isEmpty()) return label->text();
    if (auto* elided = qobject_cast<const ElidedLabel*>(widget); elided && !elided->text().isEmpty())
        return elided->text();
    if (auto* runs = qobject_cast<const TextRuns*>(widget); runs && !runs->text().isEmpty()) return runs->text();
    for (QObject* child : widget->children()) {
        auto* inner = qobject_cast<QWidget*>(child);
        if (!inner || inner->isHidden()) continue;
        if (QString text = firstText(inner); !text.isEmpty()) return text;
    }
    return {};
}

/// The text shown right after `widget` among its siblings (a bar's caption).
QString followingText(const QWidget* widget) {
    const QWidget* parent = widget->parentWidget();
    if (!parent) return {};
    bool after = false;
    for (QObject* child : parent->children()) {
        if (child == widget) {
            after = true;
            continue;
        }
        auto* sibling = qobject_cast<QWidget*>(child);
        if (!after || !sibling || sibling->isHidden()) continue;
        if (QString text = firstText(sibling); !text.isEmpty()) return text;
    }
    return {};
}

QAccessibleInterface* segmentsInterface(MonoSegments* segments) {
    AccessibleParts parts;
    parts.count = [](QWidget* w) { return int(static_cast<MonoSegments*>(w)->options().size()); };
    parts.name = [](QWidget* w, int i) { return static_cast<MonoSegments*>(w)->options()[size_t(i)].title; };
    parts.rect = [](QWidget* w, int i) {
        return static_cast<MonoSegments*>(w)->optionRects()[size_t(i)].toAlignedRect();
    };
    parts.role = QAccessible::PageTab;
    parts.state = [](QWidget* w, int i) {
        auto* control = static_cast<MonoSegments*>(w);
        QAccessible::State state;
        state.selectable = true;
        state.checkable = true;
        state.selected = state.checked = control->options()[size_t(i)].value == control->selection();
        return state;
    };
    parts.press = [](QWidget* w, int i) { static_cast<MonoSegments*>(w)->choose(size_t(i)); };
    // The control reads as its selected option's title.
    AccessibleTexts texts = AccessibleTexts::named([](const QWidget* w) {
        auto* control = static_cast<const MonoSegments*>(w);
        for (const MonoSegments::Option& option : control->options())
            if (option.value == control->selection()) return option.title;
        return QString();
    });
    return new AccessiblePartedControl(segments, QAccessible::PageTabList, std::move(texts), std::move(parts));
}

QAccessibleInterface* breadcrumbInterface(ExplorerBreadcrumb* crumbs) {
    AccessibleParts parts;
    parts.count = [](QWidget* w) { return int(static_cast<ExplorerBreadcrumb*>(w)->parts().size()); };
    parts.name = [](QWidget* w, int i) { return static_cast<ExplorerBreadcrumb*>(w)->parts()[size_t(i)].name; };
    parts.rect = [](QWidget* w, int i) {
        return static_cast<ExplorerBreadcrumb*>(w)->parts()[size_t(i)].rect.toAlignedRect();
    };
    parts.state = [](QWidget* w, int i) {
        auto* control = static_cast<ExplorerBreadcrumb*>(w);
        QAccessible::State state;
        state.disabled = !control->parts()[size_t(i)].enabled;
        state.focused = control->hasFocus() && control->currentPart() == size_t(i);
        return state;
    };
    parts.press = [](QWidget* w, int i) { static_cast<ExplorerBreadcrumb*>(w)->activate(size_t(i)); };
    // The breadcrumb reads as the path it shows.
    AccessibleTexts texts = AccessibleTexts::named([](const QWidget* w) {
        QStringList names;
        for (const Crumb& crumb : static_cast<const ExplorerBreadcrumb*>(w)->crumbs())
            names << QString::fromStdString(crumb.name);
        return names.join(" / ");
    });
    return new AccessiblePartedControl(crumbs, QAccessible::ToolBar, std::move(texts), std::move(parts));
}

QAccessibleInterface* mapInterface(QWidget* map) {
    AccessibleParts parts;
    parts.count = [](QWidget* w) { return int(MapRegions::of(w).size()); };
    parts.name = [](QWidget* w, int i) { return MapRegions::name(w, MapRegions::of(w)[size_t(i)]); };
    parts.rect = [](QWidget* w, int i) { return MapRegions::of(w)[size_t(i)].bounds.toAlignedRect(); };
    parts.role = QAccessible::ListItem;
    parts.state = [](QWidget* w, int i) {
        QAccessible::State state;
        state.selectable = true;
        state.selected = MapRegions::hovered(w) == i;
        return state;
    };
    parts.press = [](QWidget* w, int i) { MapRegions::hover(w, i); };
    return new AccessiblePartedControl(map, QAccessible::List, {}, std::move(parts));
}

QAccessibleInterface* controlInterface(QWidget* widget) {
    if (auto* tag = qobject_cast<CapsuleTag*>(widget))
        return new AccessibleControl(tag, QAccessible::StaticText, AccessibleTexts::named([](const QWidget* w) {
                                         return static_cast<const CapsuleTag*>(w)->look().text;
                                     }));
    if (auto* runs = qobject_cast<TextRuns*>(widget))
        return new AccessibleControl(runs, QAccessible::StaticText, AccessibleTexts::named([](const QWidget* w) {
                                         return static_cast<const TextRuns*>(w)->text();
                                     }));
    if (auto* elided = qobject_cast<ElidedLabel*>(widget))
        return new AccessibleControl(elided, QAccessible::StaticText, AccessibleTexts::named([](const QWidget* w) {
                                         return static_cast<const ElidedLabel*>(w)->text();
                                     }));
    if (auto* bar = qobject_cast<MonoBar*>(widget))
        return new AccessibleControl(bar, QAccessible::ProgressBar, {followingText, {}, [](const QWidget* w) {
                                                                         return static_cast<const MonoBar*>(w)->value();
                                                                     }});
    if (auto* capacity = qobject_cast<CapacityBar*>(widget))
        return new AccessibleControl(
            capacity, QAccessible::ProgressBar,
            {[](const QWidget* w) { return static_cast<const CapacityBar*>(w)->freeLabel(); },
             {},
             [](const QWidget* w) { return static_cast<const CapacityBar*>(w)->usedFraction(); }});
    if (auto* card = qobject_cast<Card*>(widget))
        return new AccessibleControl(card, QAccessible::Grouping, AccessibleTexts::named(firstText));
    if (auto* sheet = qobject_cast<ConfirmSheet*>(widget))
        return new AccessibleControl(
            sheet, QAccessible::Dialog,
            AccessibleTexts::named(
                [](const QWidget* w) {
                    return QString::fromStdString(static_cast<const ConfirmSheet*>(w)->request().title);
                },
                [](const QWidget* w) {
                    return QString::fromStdString(static_cast<const ConfirmSheet*>(w)->request().message);
                }));
    if (auto* plan = qobject_cast<AddPlanSheet*>(widget))
        return new AccessibleControl(plan, QAccessible::Dialog, AccessibleTexts::named(firstText));
    if (auto* segments = qobject_cast<MonoSegments*>(widget)) return segmentsInterface(segments);
    if (auto* crumbs = qobject_cast<ExplorerBreadcrumb*>(widget)) return breadcrumbInterface(crumbs);
    if (MapRegions::isMap(widget)) return mapInterface(widget);
    return nullptr;
}

const char* const derivedDescription = "ostrevaneDescriptionFromToolTip";

/// Tooltips are rich text (so they wrap), and Qt reads a widget's tooltip as
/// its accessible description when it has none: a reader would hear the
/// markup. Each rich tooltip gives its widget a plain description instead,
/// kept in step with the tooltip; a description a control set itself stays.
class PlainDescriptions : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ToolTipChange)
            if (auto* widget = qobject_cast<QWidget*>(watched)) describe(widget);
        return false;
    }

private:
    static void describe(QWidget* widget) {
        const QString current = widget->accessibleDescription();
        if (!current.isEmpty() && current != widget->property(derivedDescription).toString()) return;
        const QString tip = widget->toolTip();
        const QString plain = Qt::mightBeRichText(tip) ? QTextDocumentFragment::fromHtml(tip).toPlainText().trimmed()
                                                       : QString();
        widget->setProperty(derivedDescription, plain);
        widget->setAccessibleDescription(plain);
    }
};

/// Qt asks once per class in an object's ancestry, most derived first; the
/// answer for the most derived class that is one of ours wins.
QAccessibleInterface* factory(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget || className != QLatin1String(object->metaObject()->className())) return nullptr;
    return controlInterface(widget);
}
}  // namespace

namespace Accessibility {
void install() {
    static bool installed = false;
    if (!installed) {
        QAccessible::installFactory(factory);
        qApp->installEventFilter(new PlainDescriptions(qApp));
        installed = true;
    }
    KeyboardAccess::install();
}

void announceDescription(QWidget* control) {
    QAccessibleEvent event(control, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&event);
}
}  // namespace Accessibility
