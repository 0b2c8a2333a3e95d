// The host-like layout of the grid tests: its fields and their columns, with two counter
// columns ("Cpu", "Mem") for the paint tests where they are asked for.
#pragma once

#include "framework/GridView.h"

#include <vector>

namespace tarvo::test {

inline std::vector<FieldDef> gridFields(bool counters = false)
{
    std::vector<FieldDef> fields = {{"Check", 5, FieldKind::Boolean, false},
                                    {"Ip", 15, FieldKind::Text, true},
                                    {"Name", 40, FieldKind::Text, false},
                                    {"Level", 20, FieldKind::Text, false},
                                    {"Hidden", 20, FieldKind::Text, false}};
    if (counters)
        fields.insert(fields.end(), {{"Cpu", 8, FieldKind::Text, false},
                                     {"Mem", 8, FieldKind::Text, false}});
    return fields;
}

inline std::vector<ColumnDef> gridColumns(bool counters = false)
{
    std::vector<ColumnDef> columns = {{"Check", "选择", 46, ColumnKind::CheckBox, false},
                                      {"Ip", "线路IP", 104, ColumnKind::Text, false},
                                      {"Level", "图", 30, ColumnKind::Image, false},
                                      {"Hidden", "PBU是否显示", 50, ColumnKind::Text, true},
                                      {"Name", "报盘机别名", 83, ColumnKind::Text, false}};
    if (counters)
        columns.insert(columns.end(), {{"Cpu", "CPU", 60, ColumnKind::Text, false},
                                       {"Mem", "内存", 60, ColumnKind::Text, false}});
    return columns;
}

} // namespace tarvo::test
