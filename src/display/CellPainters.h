// Cell painting of the host and PBU grids: state colours, environment marks and the flash
// background of changed values, as pure functions of the cell, its table and the host pool.
#pragma once

#include "framework/GridColumn.h"
#include "framework/RecordSet.h"
#include "host/HostSubjectPool.h"

#include <array>
#include <span>
#include <vector>

namespace tarvo {

// Display colours.
inline constexpr Rgb kGreen{0, 128, 0};         // "已连接", "运行"
inline constexpr Rgb kRed{255, 0, 0};           // "已断开", "停止", error-list "Error" lines
inline constexpr Rgb kMaroon{128, 0, 0};        // "未连接", "初始化中", "正在登录", "正在注销"
inline constexpr Rgb kGrey{128, 128, 128};      // any other state text
inline constexpr Rgb kOlive{128, 128, 0};       // background of "生产环境"
inline constexpr Rgb kLightRed{255, 196, 196};  // background of a test environment
inline constexpr Rgb kWhite{255, 255, 255};     // empty environment, flash phase 1, lists
inline constexpr Rgb kYellow{255, 255, 0};      // flash phase 2, selected list lines
inline constexpr Rgb kBlue{0, 0, 255};          // ordinary error-list lines

// Visible positions of the columns that flash while their change flag is "T".
// Host: activePBUs, InactivePBUs, CpuUsage, DiskUsage, MemoryUsage.
inline constexpr std::array<int, 5> kHostFlashPositions{9, 10, 11, 12, 13};
// PBU: OESStatus, Status, CSIP, LocalIP, Submitted, Responsed, CJHB.
inline constexpr std::array<int, 7> kPbuFlashPositions{6, 7, 8, 9, 11, 12, 13};

// Model columns of a layout at the given visible positions (positions it lacks are left out).
std::vector<int> modelColumnsAt(const std::vector<ColumnDef>& columns,
                                std::span<const int> positions);

// Font of a connection text, of a program state and of a PBU state.
Rgb connectionColour(std::string_view connection);
Rgb oesStatusColour(std::string_view status);
Rgb pbuStatusColour(std::string_view status);

// The change flag of a host or PBU behind a flashing column (by visible position), or
// nullptr for a column that does not flash.
const std::string* hostFlashFlag(const Host& host, int position);
const std::string* pbuFlashFlag(const Pbu& pbu, int position);

// Style of one host-grid cell. A selected cell keeps the grid's selection colours.
// Connection gets a state font, EnvNo its environment background (bold for a test
// environment); a non-empty cell of a flashing column whose host flag is "T" gets
// flashColour. The row is read through cell.recId without moving the table's cursor.
CellStyle dxdgHostCustomDrawCell(const CellPaintRequest& cell, const RecordSet& hostTable,
                                 const HostSubjectPool& pool, Rgb flashColour);

// Style of one PBU-grid cell: OESStatus and Status get a state font; a non-empty cell of a
// flashing column whose PBU (found in its host by OES and ID + Operator) has the flag "T"
// gets flashColour as well.
CellStyle dxdgPBUCustomDrawCell(const CellPaintRequest& cell, const RecordSet& pbuTable,
                                const HostSubjectPool& pool, Rgb flashColour);

} // namespace tarvo
