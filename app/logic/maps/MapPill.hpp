// The capsule that names the item under the pointer, shared by all maps: its
// content as texts and its geometry at the bottom-leading corner of a map.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "maps/MapItem.hpp"
#include "maps/MapText.hpp"

struct MapPillContent {
    /// Design symbol name: "folder" for a folder or the remainder item, "doc" for a file.
    std::string symbol;
    /// The node's path abbreviated ("~" for home); the label for the remainder item.
    std::string name;
    /// Fmt::bytes of the item's bytes.
    std::string size;
    /// The share of the map's total in percent, one decimal at most, then "%" ("0%" for a total of 0).
    std::string share;
    std::optional<std::string> note;
    bool operator==(const MapPillContent&) const = default;
};

/// Where everything of the pill goes, in the map view's coordinates.
struct MapPillLayout {
    Rect capsule;  ///< filled with `fill`, corner radius half its height
    double radius = 0;
    Swatch fill;  ///< Theme::ink
    Rect border;  ///< the capsule inset by half the border width, so the stroke lies inside
    double borderWidth = 1;
    ThemeColor borderColor;  ///< Theme::paper at 0.85
    std::string symbol;
    Rect symbolBox;  ///< a square the symbol glyph is centred in
    ThemeColor symbolColor;
    /// Name (middle-elided to fit), size, share and the note when present, left to right.
    std::vector<MapText> texts;
};

namespace MapPill {
/// The callout text style the pill sets its row in.
extern const MapFont callout;
/// The foreground of the secondary texts (share and note).
extern const ThemeColor secondary;

/// The pill's content for `item` on a map of `total` bytes.
MapPillContent content(const MapItem& item, int64_t total, std::optional<std::string> note = std::nullopt);
/// The pill laid out over a map of `viewSize`: 12 points in from the left and
/// bottom edges, 13 / 7 points of padding, 8 points between elements. The
/// name gives way (elided in the middle) so the capsule fits the view's width
/// less the margins; the other texts stay whole.
MapPillLayout layout(const MapPillContent& content, Size viewSize, const TextMeasure& measure);
}  // namespace MapPill

namespace TextFit {
/// `text` elided in the middle with "…" (cut between grapheme clusters) to
/// the widest form no wider than `width`; whole when it fits; "…" alone when
/// nothing more fits; empty when not even that does.
std::string elideMiddle(const std::string& text, double width, const MapFont& style, const TextMeasure& measure);
}  // namespace TextFit
