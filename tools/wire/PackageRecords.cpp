// Expanding status packages into records and writing them back, through the host records.
#include "PackageRecords.h"

#include "host/Oes.h"
#include "host/Pbu.h"

#include <stdexcept>

namespace tarvo::wire {
namespace {

template <typename Record>
struct Member
{
    const char *name;
    const std::string &(Record::*get)() const;
    void (Record::*set)(std::string);
};

// Record layout order: the order the members travel in.
const Member<Oes> OES_MEMBERS[] = {
    {"oesExist", &Oes::getOesExist, &Oes::setOesExist},
    {"oesName", &Oes::getOesName, &Oes::setOesName},
    {"oesType", &Oes::getOesType, &Oes::setOesType},
    {"oesStatus", &Oes::getOesStatus, &Oes::setOesStatus},
    {"oesVersion", &Oes::getOesVersion, &Oes::setOesVersion},
    {"warningLevel", &Oes::getWarningLevel, &Oes::setWarningLevel},
};

const Member<Pbu> PBU_MEMBERS[] = {
    {"oesName", &Pbu::getOesName, &Pbu::setOesName},
    {"operatorNumber", &Pbu::getOperatorNumber, &Pbu::setOperatorNumber},
    {"oesType", &Pbu::getOesType, &Pbu::setOesType},
    {"pbuStatus", &Pbu::getPbuStatus, &Pbu::setPbuStatus},
    {"pbuBidNumber", &Pbu::getPbuBidNumber, &Pbu::setPbuBidNumber},
    {"pbuResponseNumber", &Pbu::getPbuResponseNumber, &Pbu::setPbuResponseNumber},
    {"pbuTradeNumber", &Pbu::getPbuTradeNumber, &Pbu::setPbuTradeNumber},
    {"MaxOrderNumber", &Pbu::getMaxOrderNumber, &Pbu::setMaxOrderNumber},
    {"csIP", &Pbu::getCsIP, &Pbu::setCsIP},
    {"hostExtIP", &Pbu::getHostExtIP, &Pbu::setHostExtIP},
    {"capability", &Pbu::getCapability, &Pbu::setCapability},
    {"work", &Pbu::getWork, &Pbu::setWork},
    {"warningLevel", &Pbu::getWarningLevel, &Pbu::setWarningLevel},
};

template <typename Record, size_t N>
std::optional<Json> recordsOf(std::string_view content, const Member<Record> (&members)[N],
                              TextMode mode)
{
    Json records = Json::array();
    std::string written;
    size_t position = 1;
    try {
        while (position <= content.size()) {
            Record record;
            record.readItem(content, position);
            written += record.toString();
            Json object = Json::object();
            for (const Member<Record> &m : members)
                object[m.name] = toJsonText((record.*m.get)(), mode);
            records.push_back(std::move(object));
        }
    } catch (const std::exception &) {
        return std::nullopt;
    }
    // Only a content that the records write back byte for byte is shown as records.
    if (written != content)
        return std::nullopt;
    return records;
}

template <typename Record, size_t N>
std::string contentOf(const Json &records, const Member<Record> (&members)[N], TextMode mode,
                      const char *arrayName)
{
    if (!records.is_array())
        throw std::runtime_error(std::string(arrayName) + " is not an array");
    std::string content;
    for (size_t i = 0; i < records.size(); ++i) {
        const Json &object = records[i];
        const std::string where = std::string(arrayName) + "[" + std::to_string(i) + "]";
        if (!object.is_object())
            throw std::runtime_error(where + " is not an object");
        Record record;
        for (const auto &[key, value] : object.items()) {
            const Member<Record> *member = nullptr;
            for (const Member<Record> &m : members)
                if (key == m.name)
                    member = &m;
            if (!member)
                throw std::runtime_error(where + ": unknown member '" + key + "'");
            if (!value.is_string() && !value.is_number())
                throw std::runtime_error(where + "." + key + " is not a text");
            const std::string text = value.is_string() ? value.template get<std::string>() : value.dump();
            std::string bytes = fromJsonText(text, mode);
            if (bytes.find(FIELD_SEPARATOR) != std::string::npos)
                throw std::runtime_error(where + "." + key + " holds the separator byte 0x01");
            (record.*member->set)(std::move(bytes));
        }
        content += record.toString();
    }
    return content;
}

} // namespace

std::optional<Json> oesRecordsOf(std::string_view content, TextMode mode)
{
    return recordsOf(content, OES_MEMBERS, mode);
}

std::optional<Json> pbuRecordsOf(std::string_view content, TextMode mode)
{
    return recordsOf(content, PBU_MEMBERS, mode);
}

std::string oesContentOf(const Json &records, TextMode mode)
{
    return contentOf(records, OES_MEMBERS, mode, "oesRecords");
}

std::string pbuContentOf(const Json &records, TextMode mode)
{
    return contentOf(records, PBU_MEMBERS, mode, "pbuRecords");
}

} // namespace tarvo::wire
