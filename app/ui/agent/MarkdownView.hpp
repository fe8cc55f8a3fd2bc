// The agent's answer drawn with its small Markdown subset: one paragraph per
// line, headings, bullets and inline styles, the whole text selectable.
#pragma once

#include <QTextBrowser>
#include <QTextCharFormat>
#include <string>

#include "agent/MarkdownText.hpp"

class MarkdownView : public QTextBrowser {
    Q_OBJECT
public:
    /// Points between items, before a heading, a spacer's height, a bullet's
    /// gap after "•" and its indent per space in the answer.
    static constexpr int itemSpacing = 6;
    static constexpr int headingPadding = 4;
    static constexpr int spacerHeight = 2;
    static constexpr int bulletGap = 8;
    static constexpr int indentStep = 6;

    explicit MarkdownView(QWidget* parent = nullptr);

    /// Shows `text` (the whole answer so far); nothing happens when it is unchanged.
    void setAnswer(const std::string& text);
    const std::string& answer() const { return shown; }

    /// The character format of `run` on top of `base`: strong bold, emphasis
    /// italic, code in the monospaced family, strike-through struck out, a
    /// link underlined in accent and clickable.
    static QTextCharFormat format(const MarkdownText::Run& run, const QTextCharFormat& base);
    /// Opens `url` in the desktop's handler when it is http or https; else nothing.
    static bool open(const QUrl& url);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void rebuild();
    void fitHeight();

    std::string shown;
};
