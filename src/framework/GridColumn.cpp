// Column lookups and the status disc colours.
#include "framework/GridColumn.h"

namespace tarvo {

int columnIndexOf(const std::vector<ColumnDef>& columns, std::string_view field)
{
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].field == field)
            return static_cast<int>(i);
    }
    return -1;
}

int visiblePositionOf(const std::vector<ColumnDef>& columns, int column)
{
    if (column < 0 || column >= static_cast<int>(columns.size()) || columns[column].hidden)
        return -1;
    int position = 0;
    for (int i = 0; i < column; ++i) {
        if (!columns[i].hidden)
            ++position;
    }
    return position;
}

std::optional<Rgb> discColour(std::string_view level)
{
    if (level == "1")
        return kDiscGreen;
    if (level == "2")
        return kDiscYellow;
    if (level == "3")
        return kDiscRed;
    return std::nullopt;
}

} // namespace tarvo
