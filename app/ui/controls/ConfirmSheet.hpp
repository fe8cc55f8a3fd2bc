// The one confirmation sheet: a heading, an explanation, Cancel and the
// confirm button. ConfirmSheet is the panel itself (the snapshot draws it
// alone); ConfirmSheetHost presents it over a page on the sheet overlay.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>

#include "pages/ConfirmRequest.hpp"
#include "ui/controls/SheetOverlay.hpp"

class MonoButton;
class QLabel;

/// The panel: 430 points wide, padded 22, as tall as its texts need.
/// Escape cancels; Return confirms only a request that is not destructive.
class ConfirmSheet : public QWidget {
    Q_OBJECT
public:
    /// `dismiss` closes the sheet; it runs before the request's action on confirm.
    ConfirmSheet(ConfirmRequest request, std::function<void()> dismiss, QWidget* parent = nullptr);

    const ConfirmRequest& request() const { return shown; }
    MonoButton* cancelButton() const { return cancel; }
    MonoButton* confirmButton() const { return confirm; }

    /// Cancel: dismiss only. Confirm: dismiss, then the action, both at once.
    void cancelRequest();
    void confirmRequest();
    /// Escape cancels, Return or Enter confirms a request that is not
    /// destructive; returns whether the key meant anything here.
    bool handleKey(int key);

    /// The panel's height at `width`: the wrapped texts and the buttons, whether or not it is shown yet.
    int heightForWidth(int width) const override;
    bool hasHeightForWidth() const override { return true; }
    QSize sizeHint() const override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    ConfirmRequest shown;
    std::function<void()> dismiss;
    QLabel* title;
    QLabel* message;
    MonoButton* cancel;
    MonoButton* confirm;
};

/// Presents one sheet at a time over `page` on the one sheet overlay: a
/// confirm request (Escape cancels, Return confirms as the sheet itself would)
/// or a page's own panel (the add-plan sheet), with what its keys do.
class ConfirmSheetHost : public SheetOverlay {
    Q_OBJECT
public:
    explicit ConfirmSheetHost(QWidget* page);

    /// Shows `request`, replacing any request shown now (as a new sheet).
    void present(ConfirmRequest request);
    /// Shows a page's own `panel` (taken over), replacing any sheet shown now.
    /// Escape runs `cancel`; Return runs `confirm`, which returns false when
    /// Return means nothing now. The page closes it with dismiss().
    void presentPanel(QWidget* panel, std::function<void()> cancel, std::function<bool()> confirm);
    /// Closes the sheet without running anything; nothing happens when none is shown.
    void dismiss();
    /// The request shown, if any.
    const std::optional<ConfirmRequest>& request() const { return current; }
    /// The confirm sheet shown, if any (not a page's own panel).
    ConfirmSheet* sheet() const { return current ? static_cast<ConfirmSheet*>(panel()) : nullptr; }

Q_SIGNALS:
    /// A request was presented, replaced or dismissed.
    void requestChanged();

private:
    using SheetOverlay::close;
    using SheetOverlay::present;

    std::optional<ConfirmRequest> current;
    /// The keys of a page's own panel while one is shown.
    std::function<void()> panelCancel;
    std::function<bool()> panelConfirm;
};
