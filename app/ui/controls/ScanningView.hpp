// What a page shows while the home folder is scanned and nothing is ready:
// a large spinner, a heading, the running counters, the path being read and
// a stop button.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>

#include "scan/Scanner.hpp"

class QLabel;

class ScanningView : public QWidget {
    Q_OBJECT
public:
    /// `stop` cancels the running scan, if any (it may do nothing).
    explicit ScanningView(std::function<void()> stop = {}, QWidget* parent = nullptr);

    /// The latest progress; none hides the counters and the path.
    void setProgress(const std::optional<ScanProgress>& progress);

    /// "1,234 个文件 · 5.6 MB" (through L(), grouped count, formatted bytes).
    static QString counters(const ScanProgress& progress);
    /// The path shortened against the home folder ("~/…"), cut in the middle to `maxWidth` in `font`.
    static QString shownPath(const std::string& path, const QFont& font, int maxWidth);

private:
    std::function<void()> stop;
    QLabel* counterLine;
    QLabel* pathLine;
};
