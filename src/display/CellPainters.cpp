// Host and PBU cell painters. They run for every visible cell twice a second, so they read
// the row in place, look hosts up by string_view and build the PBU key on the stack.
#include "display/CellPainters.h"

#include <algorithm>
#include <cstring>

namespace tarvo {

namespace {

// A field's index, remembered between calls. Field names are unique within a set, so the
// remembered index is right whenever the set has that name there; otherwise it is looked
// up again (another table layout, or the first call).
class FieldSlot {
public:
    explicit constexpr FieldSlot(std::string_view name) : name_(name) {}

    int indexIn(const RecordSet& set)
    {
        const auto& fields = set.fields();
        if (index_ < 0 || index_ >= static_cast<int>(fields.size()) || fields[index_].name != name_)
            index_ = set.fieldIndex(name_);
        return index_;
    }

private:
    std::string_view name_;
    int index_ = -1;
};

// The row's value of a field; nullptr when the set has no such field (a null value).
const std::string* valueOf(const RecordSet& set, int position, FieldSlot& slot)
{
    const int field = slot.indexIn(set);
    return field < 0 ? nullptr : &set.valueAt(position, field);
}

bool isFlashFlagSet(const std::string* flag)
{
    return flag && *flag == "T";
}

thread_local FieldSlot hostChannelIpSlot{"ChannelIP"};
thread_local FieldSlot hostConnectionSlot{"Connection"};
thread_local FieldSlot hostEnvNoSlot{"EnvNo"};
thread_local FieldSlot pbuHostIpSlot{"HostIp"};
thread_local FieldSlot pbuOesSlot{"OES"};
thread_local FieldSlot pbuIdSlot{"ID"};
thread_local FieldSlot pbuOperatorSlot{"Operator"};
thread_local FieldSlot pbuOesStatusSlot{"OESStatus"};
thread_local FieldSlot pbuStatusSlot{"Status"};

} // namespace

std::vector<int> modelColumnsAt(const std::vector<ColumnDef>& columns,
                                std::span<const int> positions)
{
    std::vector<int> result;
    for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
        const int position = visiblePositionOf(columns, c);
        if (position >= 0
            && std::find(positions.begin(), positions.end(), position) != positions.end())
            result.push_back(c);
    }
    return result;
}

Rgb connectionColour(std::string_view connection)
{
    if (connection == "已连接")
        return kGreen;
    if (connection == "已断开")
        return kRed;
    if (connection == "未连接")
        return kMaroon;
    return kGrey;
}

Rgb oesStatusColour(std::string_view status)
{
    if (status == "运行")
        return kGreen;
    if (status == "停止")
        return kRed;
    return kGrey;
}

Rgb pbuStatusColour(std::string_view status)
{
    if (status == "运行")
        return kGreen;
    if (status == "停止")
        return kRed;
    if (status == "初始化中" || status == "正在登录" || status == "正在注销")
        return kMaroon;
    return kGrey;
}

const std::string* hostFlashFlag(const Host& host, int position)
{
    switch (position) {
    case 9: return &host.activePbusChanged;
    case 10: return &host.inactivePbusChanged;
    case 11: return &host.cpuUsageChanged;
    case 12: return &host.diskUsageChanged;
    case 13: return &host.memoryUsageChanged;
    default: return nullptr;
    }
}

const std::string* pbuFlashFlag(const Pbu& pbu, int position)
{
    switch (position) {
    case 6: return &pbu.oesStatusChanged;
    case 7: return &pbu.statusChanged;
    case 8: return &pbu.csIPChanged;
    case 9: return &pbu.localIPChanged;
    case 11: return &pbu.submittedChanged;
    case 12: return &pbu.responsedChanged;
    case 13: return &pbu.cjhbChanged;
    default: return nullptr;
    }
}

CellStyle dxdgHostCustomDrawCell(const CellPaintRequest& cell, const RecordSet& hostTable,
                                 const HostSubjectPool& pool, Rgb flashColour)
{
    CellStyle style;
    if (cell.selected)
        return style;
    // A row that has already left the set (the grid catches up at the end of a bracket)
    // has only null values.
    const int position = hostTable.positionOf(cell.recId);
    if (position < 0)
        return style;

    if (cell.field == "Connection") {
        if (const std::string* connection = valueOf(hostTable, position, hostConnectionSlot))
            style.font = connectionColour(*connection);
        return style;
    }
    if (cell.field == "EnvNo") {
        if (const std::string* env = valueOf(hostTable, position, hostEnvNoSlot)) {
            if (*env == "生产环境") {
                style.background = kOlive;
            } else if (env->empty()) {
                style.background = kWhite;
            } else {
                style.background = kLightRed;
                style.bold = true;
            }
        }
        return style;
    }

    if (cell.text.empty())
        return style;
    // The column decides before the pool is searched: the outcome is the same and most
    // cells do not flash.
    if (std::find(kHostFlashPositions.begin(), kHostFlashPositions.end(), cell.column)
        == kHostFlashPositions.end())
        return style;
    const std::string* channelIP = valueOf(hostTable, position, hostChannelIpSlot);
    if (!channelIP || channelIP->empty())
        return style;
    const HostSubject* host = pool.find(*channelIP);
    if (host && isFlashFlagSet(hostFlashFlag(*host, cell.column)))
        style.background = flashColour;
    return style;
}

CellStyle dxdgPBUCustomDrawCell(const CellPaintRequest& cell, const RecordSet& pbuTable,
                                const HostSubjectPool& pool, Rgb flashColour)
{
    CellStyle style;
    if (cell.selected)
        return style;
    const int position = pbuTable.positionOf(cell.recId);
    if (position < 0)
        return style;

    if (cell.field == "OESStatus") {
        if (const std::string* status = valueOf(pbuTable, position, pbuOesStatusSlot))
            style.font = oesStatusColour(*status);
    } else if (cell.field == "Status") {
        if (const std::string* status = valueOf(pbuTable, position, pbuStatusSlot))
            style.font = pbuStatusColour(*status);
    }

    if (cell.text.empty())
        return style;
    if (std::find(kPbuFlashPositions.begin(), kPbuFlashPositions.end(), cell.column)
        == kPbuFlashPositions.end())
        return style;
    const std::string* hostIp = valueOf(pbuTable, position, pbuHostIpSlot);
    if (!hostIp || hostIp->empty())
        return style;
    const HostSubject* host = pool.find(*hostIp);
    if (!host)
        return style;
    const std::string* oes = valueOf(pbuTable, position, pbuOesSlot);
    const std::string* id = valueOf(pbuTable, position, pbuIdSlot);
    const std::string* op = valueOf(pbuTable, position, pbuOperatorSlot);
    if (!oes || !id || !op)
        return style;

    // The operator number is ID followed by Operator; a number longer than the eleven
    // bytes the two cells hold therefore never matches and its row never flashes.
    char buffer[64];
    std::string spill;
    std::string_view operatorNumber;
    const size_t length = id->size() + op->size();
    if (length <= sizeof buffer) {
        std::memcpy(buffer, id->data(), id->size());
        std::memcpy(buffer + id->size(), op->data(), op->size());
        operatorNumber = std::string_view(buffer, length);
    } else {
        spill = *id + *op;
        operatorNumber = spill;
    }
    const Pbu* pbu = Host::findPbu(host->getPbuList(), *oes, operatorNumber);
    if (pbu && isFlashFlagSet(pbuFlashFlag(*pbu, cell.column)))
        style.background = flashColour;
    return style;
}

} // namespace tarvo
