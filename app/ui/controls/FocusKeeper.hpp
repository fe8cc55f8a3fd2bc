// Keeps the keyboard on the page when the page changes under its focus. A
// control hidden, disabled or deleted while it holds the focus (its section
// rebuilt after an action, a scan replacing the page's content, a sheet
// closing after its action) would leave the focus to Qt, which hands it to
// the window's next widget in creation order: often the sidebar's first row.
// Instead the focus goes to the control the user last chose, made anew, or,
// when that one is gone, to the control in its place or the next one on the
// same page, its header included (a page left with no control of its own
// keeps the keyboard on its header).
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class FocusKeeper : public QObject {
    Q_OBJECT
public:
    /// Watches the focus on `page()` (the page shown now) and on `header`
    /// above it, for as long as `owner` lives.
    FocusKeeper(QWidget* owner, QWidget* header, std::function<QWidget*()> page);

    /// The page may have changed: while the focus waits on a stand-in for a
    /// control that was gone (a page that showed only its progress), it goes
    /// back to that control, or a better stand-in, once the page shows it again.
    void pageChanged();

    /// Puts the focus back on the page from a passing overlay (the notice)
    /// whose way back is gone: on the control last chosen on this page, made
    /// anew, or the one in its place or after it; else on the page's first
    /// control, else on the header's.
    void returnToPage();

    /// What identifies a control across a rebuild: its class, its accessible
    /// name and the scopes around it on the page.
    static std::string keyOf(QWidget* control);
    /// Names what `container` shows (a suggestion's, a plan's id), so that
    /// its controls are told from the same controls of its siblings.
    static void setScope(QWidget* container, const std::string& identity);

private:
    /// The control the user put the focus on, among the page's Tab stops then.
    struct Place {
        QPointer<QWidget> page;
        std::vector<std::string> keys;
        size_t index = 0;
    };

    void follow(QWidget* old, QWidget* now);
    bool onPage(const QWidget* widget) const;
    /// The Tab stops of the header, then of the page.
    std::vector<QWidget*> stops() const;
    /// Whether the focus leaving `old` for `now` was forced: `old` was hidden,
    /// disabled or deleted (or the focus cleared) on the page or in a sheet.
    bool isLoss(QWidget* old, QWidget* now) const;
    /// Whether the focus, lost at `lostControl`, should be placed again now.
    bool shouldRestore() const;
    /// Whether the focus still rests, untouched, on the stand-in placed for the chosen control.
    bool waitsOnStandIn() const;
    /// Runs after the events already queued (a rebuilt section shows its new
    /// controls through them), `hops` times over.
    void restoreLater(int hops);
    void restore();

    QWidget* header;
    std::function<QWidget*()> page;
    std::optional<Place> chosen;
    bool scheduled = false;
    /// The control whose loss is pending, and whether it was on the page (not in a sheet).
    QPointer<QWidget> lostControl;
    bool lossFromPage = false;
    /// The stand-in the focus was given and the page's keys then, while the chosen control is missing.
    QPointer<QWidget> standIn;
    std::vector<std::string> keysAtStandIn;
    bool restoring = false;
    /// Counts focus moves that were no rebuild's: a restore yields to any made after the loss.
    unsigned choices = 0;
    unsigned choicesAtLoss = 0;
};
