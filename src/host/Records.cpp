// Reading and writing the OES and PBU items of the status packages.
#include "host/Oes.h"
#include "host/Pbu.h"
#include "host/StatusNames.h"

#include "protocol/Field.h"

namespace tarvo {
namespace {

void readInto(Field &field, std::string_view name, std::string_view text, size_t &position,
              std::string &member)
{
    field.parseExpected(name, text, position);
    member = field.getValue();
}

void writeField(std::string &out, std::string_view name, const std::string &value)
{
    out += FieldMapping::instance().typeIdOf(name);
    out += '=';
    out += value;
    out += FIELD_SEPARATOR;
}

} // namespace

Oes::Oes() : oesStatus(statusNames[0]) {}

void Oes::readItem(std::string_view text, size_t &position)
{
    Field f;
    readInto(f, "oesExist", text, position, oesExist);
    readInto(f, "oesName", text, position, oesName);
    readInto(f, "oesType", text, position, oesType);
    readInto(f, "oesStatus", text, position, oesStatus);
    readInto(f, "oesVersion", text, position, oesVersion);
    readInto(f, "warningLevel", text, position, warningLevel);
}

void Oes::assign(const Oes &other)
{
    oesExist = other.oesExist;
    oesType = other.oesType;
    oesName = other.oesName;
    oesStatus = other.oesStatus;
    oesVersion = other.oesVersion;
    warningLevel = other.warningLevel;
}

std::string Oes::toString() const
{
    std::string out;
    writeField(out, "oesExist", oesExist);
    writeField(out, "oesName", oesName);
    writeField(out, "oesType", oesType);
    writeField(out, "oesStatus", oesStatus);
    writeField(out, "oesVersion", oesVersion);
    writeField(out, "warningLevel", warningLevel);
    return out;
}

Pbu::Pbu(std::string oesName, std::string operatorNumber)
    : operatorNumber(std::move(operatorNumber))
    , oesName(std::move(oesName))
{
}

Pbu::Pbu(std::string operatorNumber, std::string oesType, std::string pbuStatus,
         std::string pbuBidNumber, std::string pbuResponseNumber, std::string pbuTradeNumber,
         std::string maxOrderNumber, std::string csIP, std::string hostExtIP,
         std::string capability, std::string work, std::string warningLevel)
    : operatorNumber(std::move(operatorNumber))
    , oesType(std::move(oesType))
    , pbuStatus(std::move(pbuStatus))
    , pbuBidNumber(std::move(pbuBidNumber))
    , pbuResponseNumber(std::move(pbuResponseNumber))
    , pbuTradeNumber(std::move(pbuTradeNumber))
    , MaxOrderNumber(std::move(maxOrderNumber))
    , csIP(std::move(csIP))
    , hostExtIP(std::move(hostExtIP))
    , capability(std::move(capability))
    , work(std::move(work))
    , warningLevel(std::move(warningLevel))
{
}

void Pbu::readItem(std::string_view text, size_t &position)
{
    Field f;
    readInto(f, "oesName", text, position, oesName);
    readInto(f, "operatorNumber", text, position, operatorNumber);
    readInto(f, "oesType", text, position, oesType);
    readInto(f, "pbuStatus", text, position, pbuStatus);
    readInto(f, "pbuBidNumber", text, position, pbuBidNumber);
    readInto(f, "pbuResponseNumber", text, position, pbuResponseNumber);
    readInto(f, "pbuTradeNumber", text, position, pbuTradeNumber);
    readInto(f, "MaxOrderNumber", text, position, MaxOrderNumber);
    readInto(f, "csIP", text, position, csIP);
    readInto(f, "hostExtIP", text, position, hostExtIP);
    readInto(f, "capability", text, position, capability);
    readInto(f, "work", text, position, work);
    readInto(f, "warningLevel", text, position, warningLevel);
}

std::string Pbu::toString() const
{
    std::string out;
    out.reserve(64 + operatorNumber.size() + oesName.size() + csIP.size() + hostExtIP.size());
    writeField(out, "oesName", oesName);
    writeField(out, "operatorNumber", operatorNumber);
    writeField(out, "oesType", oesType);
    writeField(out, "pbuStatus", pbuStatus);
    writeField(out, "pbuBidNumber", pbuBidNumber);
    writeField(out, "pbuResponseNumber", pbuResponseNumber);
    writeField(out, "pbuTradeNumber", pbuTradeNumber);
    writeField(out, "MaxOrderNumber", MaxOrderNumber);
    writeField(out, "csIP", csIP);
    writeField(out, "hostExtIP", hostExtIP);
    writeField(out, "capability", capability);
    writeField(out, "work", work);
    writeField(out, "warningLevel", warningLevel);
    return out;
}

} // namespace tarvo
