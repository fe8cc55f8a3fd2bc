// What the design's platform gives its system controls and Ostrevane's own
// controls need from here: Tab and Shift+Tab visit the controls in the order
// they are seen (FocusChain's), the focus ring follows the keyboard focus,
// and Return or Enter on a focused button clicks it (Space already does),
// except inside a sheet, where Return keeps the sheet's own meaning.
#pragma once

#include <QObject>

class FocusRing;

class KeyboardAccess : public QObject {
    Q_OBJECT
public:
    /// Installs the application-wide behaviour once; later calls do nothing.
    /// Needs the QApplication.
    static void install();

    /// The one ring (null before `install`).
    static FocusRing* ring();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit KeyboardAccess(QObject* parent);
    void follow(QWidget* focused);
    /// A mouse button went down on `watched`.
    void pointerPressed(QObject* watched);
    /// Tab or Shift+Tab arriving at `watched`; returns whether it moved the focus here.
    bool tab(QObject* watched, bool next);
};
