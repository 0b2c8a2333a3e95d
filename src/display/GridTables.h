// Layout of the host table and the PBU table: their record sets and their grid columns.
#pragma once

#include "framework/GridColumn.h"
#include "framework/RecordSet.h"

#include <memory>
#include <vector>

namespace tarvo {

// The grids keep these fields in ascending order.
inline constexpr std::string_view kHostSortField = "ChannelIP";
inline constexpr std::string_view kPbuSortField = "HostIp";
// Keys the grids restore their current row by.
inline constexpr std::string_view kHostKeyField = "ChannelIP";
inline constexpr std::string_view kPbuKeyField = "PbuIden";
// Check-mark fields counted in checkedHostCount and checkedPbuCount.
inline constexpr std::string_view kHostCheckField = "HOSTColumnCheck";
inline constexpr std::string_view kPbuCheckField = "Checked";

// Fields in table order with their sizes; ChannelIP is indexed.
std::vector<FieldDef> hostTableFields();
// Fields in table order with their sizes; HostIp and PbuIden are indexed.
std::vector<FieldDef> pbuTableFields();

std::unique_ptr<RecordSet> makeHostTable();
std::unique_ptr<RecordSet> makePbuTable();

// Grid columns left to right; PbuPrinted is a hidden column after position 13.
std::vector<ColumnDef> hostGridColumns();
std::vector<ColumnDef> pbuGridColumns();

} // namespace tarvo
