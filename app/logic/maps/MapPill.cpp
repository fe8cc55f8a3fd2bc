#include "maps/MapPill.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "Support.hpp"
#include "maps/Graphemes.hpp"

namespace {
constexpr double outerMargin = 12;
constexpr double paddingX = 13;
constexpr double paddingY = 7;
constexpr double spacing = 8;

// A share already rounded to one decimal, written the way a plain number is
// shown: no trailing ".0", so 0 reads "0" and 12.5 reads "12.5".
std::string shareText(double percent) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", percent);
    std::string written = text;
    if (written.ends_with(".0")) written.resize(written.size() - 2);
    if (written == "-0") written = "0";
    return written + "%";
}

// The clusters kept when `kept` of them survive a middle cut: the larger half in front.
std::string middleCut(const std::string& text, const std::vector<size_t>& bounds, size_t kept) {
    const size_t clusters = bounds.size() - 1;
    const size_t head = (kept + 1) / 2;
    const size_t tail = kept / 2;
    return text.substr(0, bounds[head]) + "…" + text.substr(bounds[clusters - tail]);
}
}  // namespace

namespace MapPill {
const MapFont callout{12, MapFont::Weight::regular, false};
const ThemeColor secondary{Theme::paper.rgb, 0.55};

MapPillContent content(const MapItem& item, int64_t total, std::optional<std::string> note) {
    const bool folder = !item.node || item.node->isDirectory;
    return {folder ? "folder" : "doc", item.node ? Paths::abbreviate(item.node->path) : item.label,
            Fmt::bytes(item.bytes), shareText(Fmt::percent(item.bytes, total)), std::move(note)};
}

MapPillLayout layout(const MapPillContent& content, Size viewSize, const TextMeasure& measure) {
    const MapFont sizeStyle{callout.size, MapFont::Weight::semibold, true};
    std::vector<std::pair<std::string, MapFont>> tail{{content.size, sizeStyle}, {content.share, callout}};
    if (content.note) tail.emplace_back(*content.note, callout);

    const double symbolSide = callout.size;
    double fixed = 2 * paddingX + symbolSide + spacing * static_cast<double>(tail.size() + 1);
    double lineHeight = measure(content.name, callout).height();
    std::vector<TextBox> boxes;
    for (const auto& [text, style] : tail) {
        boxes.push_back(measure(text, style));
        fixed += boxes.back().width;
        lineHeight = std::max(lineHeight, boxes.back().height());
    }
    const double room = std::max(0.0, viewSize.width - 2 * outerMargin - fixed);
    const std::string name = TextFit::elideMiddle(content.name, room, callout, measure);
    const double nameWidth = name.empty() ? 0 : measure(name, callout).width;

    MapPillLayout pill;
    const double height = std::max(lineHeight, symbolSide) + 2 * paddingY;
    pill.capsule = Rect(outerMargin, viewSize.height - outerMargin - height, fixed + nameWidth, height);
    pill.radius = height / 2;
    pill.fill = Theme::ink.rgb;
    pill.borderColor = MapTexts::faded(Theme::paper, 0.85);
    pill.border = Rect(pill.capsule.minX() + 0.5, pill.capsule.minY() + 0.5, pill.capsule.width() - 1,
                       pill.capsule.height() - 1);
    pill.symbol = content.symbol;
    pill.symbolColor = Theme::paper;
    const double midY = pill.capsule.midY();
    double x = pill.capsule.minX() + paddingX;
    pill.symbolBox = Rect(x, midY - symbolSide / 2, symbolSide, symbolSide);
    x += symbolSide + spacing;
    const auto place = [&](const std::string& text, const MapFont& style, const ThemeColor& color, double width) {
        pill.texts.push_back(MapTexts::centredAt(text, style, color, {x + width / 2, midY}, measure));
        x += width + spacing;
    };
    place(name, callout, Theme::paper, nameWidth);
    for (size_t i = 0; i < tail.size(); ++i)
        place(tail[i].first, tail[i].second, i == 0 ? Theme::paper : secondary, boxes[i].width);
    return pill;
}
}  // namespace MapPill

namespace TextFit {
std::string elideMiddle(const std::string& text, double width, const MapFont& style, const TextMeasure& measure) {
    if (measure(text, style).width <= width) return text;
    const std::vector<size_t> bounds = Graphemes::boundaries(text);
    const size_t clusters = bounds.size() - 1;
    // The most clusters that still fit, found by bisection over 0...clusters-1.
    size_t low = 0, high = clusters == 0 ? 0 : clusters - 1;
    if (measure("…", style).width > width) return "";
    while (low < high) {
        const size_t mid = (low + high + 1) / 2;
        if (measure(middleCut(text, bounds, mid), style).width <= width)
            low = mid;
        else
            high = mid - 1;
    }
    return middleCut(text, bounds, low);
}
}  // namespace TextFit
