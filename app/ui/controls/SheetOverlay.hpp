// An in-window sheet: a panel centred over its page on a dimmed overlay that
// takes every mouse event and keeps the keyboard focus while shown. Escape
// runs the cancel action, Return the default action (when it is enabled).
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

class SheetOverlay : public QWidget {
    Q_OBJECT
public:
    explicit SheetOverlay(QWidget* page);

    /// The opacity of the black veil over the page: enough that the page
    /// behind clearly recedes while its layout stays recognisable.
    static constexpr double dimming = 0.5;

    /// Shows `panel` (the overlay takes it over), replacing any panel shown now.
    void present(QWidget* panel);
    /// Removes the panel and hides the overlay; nothing happens when none is shown.
    void close();
    QWidget* panel() const { return shown; }
    bool isPresenting() const { return shown != nullptr; }
    /// Re-centres the panel after its content changed height.
    void place();

    std::function<void()> onCancel;
    /// Runs on Return; return false when the default action is disabled.
    std::function<bool()> onDefault;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    QWidget* shown = nullptr;
    QPointer<QWidget> focusBefore;
};
