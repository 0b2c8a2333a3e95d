// Description of a grid column and the pure per-cell paint hook (standard C++ only).
#pragma once

#include "framework/RecordSet.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarvo {

enum class ColumnKind {
    Text,
    CheckBox,  // editable; shows "True" as a tick, anything else unticked
    Image,     // shows a status disc for "1", "2", "3", nothing otherwise
};

struct ColumnDef {
    std::string field;
    std::string caption;  // GBK
    int width = 64;       // pixels
    ColumnKind kind = ColumnKind::Text;
    bool hidden = false;
};

// Index of the column showing a field, or -1.
int columnIndexOf(const std::vector<ColumnDef>& columns, std::string_view field);
// Position among the visible columns (hidden ones not counted), or -1 for a hidden column.
int visiblePositionOf(const std::vector<ColumnDef>& columns, int column);

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Colours of the status discs of the image columns.
inline constexpr Rgb kDiscGreen{8, 174, 0};
inline constexpr Rgb kDiscYellow{255, 255, 0};
inline constexpr Rgb kDiscRed{254, 1, 1};
// Disc colour for a warning level text: "1", "2", "3"; nothing for anything else.
std::optional<Rgb> discColour(std::string_view level);

// What the paint hook is told about one cell before it is drawn.
struct CellPaintRequest {
    RecId recId = kNoRecId;
    int row = 0;             // row index in the grid's sorted order
    int column = 0;          // visible position of the column
    std::string_view field;  // the column's field
    bool selected = false;
    std::string_view text;   // the cell's text, GBK
};

// What the hook changes; unset members keep the grid's defaults.
struct CellStyle {
    std::optional<Rgb> background;
    std::optional<Rgb> font;
    bool bold = false;
    friend bool operator==(const CellStyle&, const CellStyle&) = default;
};

using CellPainter = std::function<CellStyle(const CellPaintRequest&)>;

// The hook a grid uses until the console installs its own: changes nothing.
inline CellStyle defaultCellStyle(const CellPaintRequest&) { return {}; }

} // namespace tarvo
