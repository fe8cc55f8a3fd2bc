#include "ui/theme/Symbols.hpp"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QRawFont>
#include <cmath>

namespace {
const QString iconFamily = QStringLiteral("Material Icons");

// Codepoints as published with the font (scss/_variables.scss of the package).
const std::vector<Symbols::Glyph> rows = {
    {"app.badge", "apps", 0xe5c3},
    {"archivebox", "archive", 0xe149},
    {"arrow.clockwise", "refresh", 0xe5d5},
    {"arrow.down.circle", "arrow_circle_down", 0xf181},
    {"arrow.right", "arrow_forward", 0xe5c8},
    {"arrow.triangle.2.circlepath", "sync", 0xe627},
    {"arrow.triangle.2.circlepath.icloud.fill", "cloud_sync", 0xeb5a},
    {"checkmark", "check", 0xe5ca},
    {"checkmark.circle", "check_circle_outline", 0xe92d},
    {"checkmark.circle.fill", "check_circle", 0xe86c},
    {"chevron.down", "expand_more", 0xe5cf},
    {"chevron.left", "chevron_left", 0xe5cb},
    {"chevron.right", "chevron_right", 0xe5cc},
    {"circle", "radio_button_unchecked", 0xe836},
    {"circle.fill", "circle", 0xef4a},
    {"circle.lefthalf.filled", "contrast", 0xeb37},
    {"cloud.fill", "cloud", 0xe2bd},
    {"cube.box.fill", "view_in_ar", 0xe9fe},
    {"doc", "insert_drive_file", 0xe24d},
    {"doc.badge.ellipsis", "file_present", 0xea0e},
    {"doc.on.doc", "content_copy", 0xe14d},
    {"exclamationmark.triangle.fill", "warning", 0xe002},
    {"externaldrive.fill", "save", 0xe161},
    {"folder", "folder_open", 0xe2c8},
    {"folder.badge.plus", "create_new_folder", 0xe2cc},
    {"folder.fill", "folder", 0xe2c7},
    {"gauge.with.dots.needle.50percent", "speed", 0xe9e4},
    {"hammer", "handyman", 0xf10b},
    {"house", "home", 0xe88a},
    {"icloud.and.arrow.down", "cloud_download", 0xe2c0},
    {"icloud.and.arrow.up", "cloud_upload", 0xe2c3},
    {"icloud.fill", "cloud", 0xe2bd},
    {"icloud.slash", "cloud_off", 0xe2c1},
    {"info.circle", "info_outline", 0xe88f},
    {"internaldrive", "storage", 0xe1db},
    {"internaldrive.fill", "storage", 0xe1db},
    {"iphone", "smartphone", 0xe32c},
    {"largecircle.fill.circle", "radio_button_checked", 0xe837},
    {"lock.shield", "security", 0xe32a},
    {"magnifyingglass", "search", 0xe8b6},
    {"minus.circle", "remove_circle_outline", 0xe15d},
    {"mountain.2", "landscape", 0xe3f7},
    {"network", "lan", 0xeb2f},
    {"plus", "add", 0xe145},
    {"shippingbox.fill", "inventory_2", 0xe1a1},
    {"sparkles", "auto_awesome", 0xe65f},
    {"square.grid.3x3.topleft.filled", "grid_view", 0xe9b0},
    {"terminal", "terminal", 0xeb8e},
    {"trash", "delete", 0xe872},
    {"tree", "park", 0xea63},
    {"triangle.fill", "change_history", 0xe86b},
    {"xmark", "close", 0xe5cd},
    {"1.circle", "looks_one", 0xe400},
    {"2.circle", "looks_two", 0xe401},
    {"3.circle", "looks_3", 0xe3fb},
};

// A Material glyph fills about 20 of its 24-unit em; a text symbol is about
// as tall as the text's capitals plus a little.
constexpr double glyphScale = 1.2;

bool fontInstalled() {
    static const bool installed = QFontDatabase::families().contains(iconFamily);
    return installed;
}

bool fontHas(char32_t codepoint) {
    static QHash<char32_t, bool> known;
    if (auto found = known.constFind(codepoint); found != known.constEnd()) return *found;
    QFont font(iconFamily);
    font.setPixelSize(24);
    const QRawFont raw = QRawFont::fromFont(font);
    const bool has = fontInstalled() && raw.isValid() && raw.familyName() == iconFamily &&
                     raw.supportsCharacter(uint(codepoint));
    known.insert(codepoint, has);
    return has;
}

void drawDot(QPainter& painter, const QRectF& box, const QColor& color, double textSize) {
    const double radius = std::max(1.0, textSize * 0.18);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(box.center(), radius, radius);
}
}  // namespace

namespace Symbols {
const std::vector<Glyph>& table() { return rows; }

std::optional<Glyph> glyph(std::string_view symbol) {
    for (const Glyph& row : rows) {
        if (row.symbol == symbol) return row;
    }
    return std::nullopt;
}

bool available(std::string_view symbol) {
    const auto row = glyph(symbol);
    return row && fontHas(row->codepoint);
}

double side(double textSize) { return std::round(textSize * glyphScale); }

QFont font(double textSize) {
    QFont font(iconFamily);
    font.setPixelSize(std::max(1, int(side(textSize))));
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

void draw(QPainter& painter, const QRectF& box, std::string_view symbol, const QColor& color, double textSize) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const auto row = glyph(symbol);
    if (!row || !fontHas(row->codepoint)) {
        drawDot(painter, box, color, textSize);
    } else {
        painter.setFont(font(textSize));
        painter.setPen(color);
        // The font's em box runs from the baseline up one em, so centring the em centres the icon.
        const double em = side(textSize);
        const QString text = QString::fromUcs4(&row->codepoint, 1);
        const double advance = QFontMetricsF(painter.font()).horizontalAdvance(text);
        painter.drawText(QPointF(box.center().x() - advance / 2, box.center().y() + em / 2), text);
    }
    painter.restore();
}
}  // namespace Symbols
