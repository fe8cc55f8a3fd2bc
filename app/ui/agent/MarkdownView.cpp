#include "ui/agent/MarkdownView.hpp"

#include <QDesktopServices>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <cmath>

#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Typography.hpp"

namespace {
constexpr double headingSize = 14;

QTextCharFormat baseFormat(const QFont& font, const QColor& color) {
    QTextCharFormat format;
    format.setFont(font);
    format.setForeground(color);
    return format;
}

void insertRuns(QTextCursor& cursor, const std::vector<MarkdownText::Run>& runs, const QTextCharFormat& base) {
    for (const auto& run : runs) cursor.insertText(QString::fromStdString(run.text), MarkdownView::format(run, base));
}
}  // namespace

MarkdownView::MarkdownView(QWidget* parent) : QTextBrowser(parent) {
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse);
    viewport()->setAutoFillBackground(false);
    setStyleSheet(QStringLiteral("QTextBrowser { background: transparent; }"));
    document()->setDocumentMargin(0);
    setFont(Typography::font(TextStyle::body));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(this, &QTextBrowser::anchorClicked, this, [](const QUrl& url) { open(url); });
    fitHeight();
}

void MarkdownView::setAnswer(const std::string& text) {
    if (text == shown) return;
    shown = text;
    rebuild();
}

QTextCharFormat MarkdownView::format(const MarkdownText::Run& run, const QTextCharFormat& base) {
    QTextCharFormat result = base;
    if (run.strong) result.setFontWeight(QFont::Bold);
    if (run.emphasis) result.setFontItalic(true);
    if (run.strikethrough) result.setFontStrikeOut(true);
    if (run.code) {
        const double size = base.font().pixelSize() > 0 ? base.font().pixelSize() : Typography::size(TextStyle::body);
        const QFont mono = Typography::mono(size);
        result.setFontFamilies(mono.families());
        result.setFontFixedPitch(true);
        result.setBackground(qColor(Theme::paper.rgb, 0.08));
    }
    if (run.link) {
        result.setAnchor(true);
        result.setAnchorHref(QString::fromStdString(*run.link));
        result.setFontUnderline(true);
        result.setForeground(qColor(Theme::accent));
    }
    return result;
}

bool MarkdownView::open(const QUrl& url) {
    if (!MarkdownText::isOpenableLink(url.toString().toStdString())) return false;
    return QDesktopServices::openUrl(url);
}

void MarkdownView::rebuild() {
    QTextDocument* doc = document();
    doc->clear();
    const QFont body = font();
    const QTextCharFormat plain = baseFormat(body, Foreground::primary());
    const QTextCharFormat heading = baseFormat(Typography::font(headingSize, QFont::Bold), Foreground::primary());
    const QTextCharFormat bullet = baseFormat(body, Foreground::secondary());
    const double bulletHang = Typography::width(body, QStringLiteral("•")) + bulletGap;

    QTextCursor cursor(doc);
    bool first = true;
    for (const auto& line : MarkdownText::lines(shown)) {
        QTextBlockFormat block;
        block.setTopMargin(first ? 0 : itemSpacing);
        if (!first) cursor.insertBlock();
        first = false;
        switch (line.kind) {
        case MarkdownText::Kind::spacer:
            block.setLineHeight(spacerHeight, QTextBlockFormat::FixedHeight);
            cursor.setBlockFormat(block);
            break;
        case MarkdownText::Kind::heading:
            block.setTopMargin(block.topMargin() + headingPadding);
            cursor.setBlockFormat(block);
            insertRuns(cursor, line.runs, heading);
            break;
        case MarkdownText::Kind::bullet: {
            const double left = indentStep * line.indent + bulletHang;
            block.setLeftMargin(left);
            block.setTextIndent(-bulletHang);
            block.setTabPositions({QTextOption::Tab(bulletHang, QTextOption::LeftTab)});
            cursor.setBlockFormat(block);
            cursor.insertText(QStringLiteral("•\t"), bullet);
            insertRuns(cursor, line.runs, plain);
            break;
        }
        case MarkdownText::Kind::paragraph:
            cursor.setBlockFormat(block);
            insertRuns(cursor, line.runs, plain);
            break;
        }
    }
    fitHeight();
}

void MarkdownView::fitHeight() {
    document()->setTextWidth(viewport()->width() > 0 ? viewport()->width() : width());
    const int height = int(std::ceil(document()->size().height()));
    if (height != this->height() || minimumHeight() != maximumHeight()) setFixedHeight(height);
}

void MarkdownView::resizeEvent(QResizeEvent* event) {
    QTextBrowser::resizeEvent(event);
    fitHeight();
}
