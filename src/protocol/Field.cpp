// Field text form, field parsing and the field dictionary (the memory they recycle is in
// FieldMemory.cpp).
#include "protocol/Field.h"
#include "protocol/AssignText.h"
#include "protocol/FieldScan.h"

#include <memory>
#include <new>
#include <stdexcept>

namespace tarvo {
namespace {

struct DictionaryRow
{
    const char *id;
    const char *name;
};

// ID and name of every field type; the empty pair names the empty field.
constexpr DictionaryRow DICTIONARY[] = {
    {"00", "version"},        {"01", "orientation"},       {"04", "messageType"},
    {"12", "sequence"},       {"15", "bodyLength"},        {"34", "operatorNumber"},
    {"36", "serviceType"},    {"37", "timeGap"},           {"38", "envNo"},
    {"51", "result"},         {"52", "oesVersion"},        {"53", "hostName"},
    {"56", "hostLocalIP"},    {"57", "hostExtIP"},         {"58", "hostStatus"},
    {"60", "cpuUsage"},       {"61", "memoryUsage"},       {"62", "diskUsage"},
    {"63", "oesType"},        {"64", "oesStatus"},         {"65", "pbuBidNumber"},
    {"66", "pbuResponseNumber"}, {"67", "pbuTradeNumber"}, {"69", "oesPackageLength"},
    {"70", "oesPackage"},     {"71", "pbuPackageLength"},  {"72", "pbuPackage"},
    {"74", "csIP"},           {"75", "capability"},        {"76", "work"},
    {"77", "warningLevel"},   {"82", "sysLog"},            {"83", "pbuStatus"},
    {"85", "oesExist"},       {"89", "oesName"},           {"90", "MaxOrderNumber"},
    {"91", "ShootingType"},   {"92", "HostTime"},          {"99", "checkSum"},
    {"", ""},
};

} // namespace

void *Field::operator new(std::size_t size) { return allocateSmall(size); }

void Field::operator delete(void *p, std::size_t size) noexcept { releaseSmall(p, size); }

void assignOtherLength(std::string &to, const char *p, size_t n) { to.assign(p, n); }

FieldMapping::FieldMapping()
{
    for (const DictionaryRow &row : DICTIONARY) {
        m_idToName.emplace(row.id, row.name);
        m_nameToId.emplace(row.name, row.id);
    }
    for (const auto &[id, name] : m_idToName) {
        const Entry entry{&id, &m_nameToId.find(name)->first};
        if (id.size() == 2)
            m_ofTwoDigits[size_t((id[0] - '0') * 10 + (id[1] - '0'))] = entry;
        else if (id.empty())
            m_empty = entry;
    }
}

const FieldMapping &FieldMapping::instance()
{
    // A function-local static is initialised exactly once, even when first reached from
    // several threads at the same time.
    static const FieldMapping mapping;
    return mapping;
}

FieldMapping::Entry FieldMapping::entryOfOtherId(std::string_view typeId) const
{
    auto it = m_idToName.find(typeId);
    if (it == m_idToName.end())
        throw std::runtime_error("Wrong type ID:" + std::string(typeId));
    return {&it->first, &m_nameToId.find(it->second)->first};
}

FieldMapping::Entry FieldMapping::entryOfName(std::string_view typeName) const
{
    auto it = m_nameToId.find(typeName);
    if (it == m_nameToId.end())
        throw std::runtime_error("Wrong type name:" + std::string(typeName));
    return {&it->second, &it->first};
}

const std::string &FieldMapping::typeNameOf(std::string_view typeId) const
{
    return *entryOfId(typeId).name;
}

const std::string &FieldMapping::typeIdOf(std::string_view typeName) const
{
    return *entryOfName(typeName).id;
}

Field::Field()
    : m_typeName(FieldMapping::instance().emptyEntry().name)
    , m_typeId(FieldMapping::instance().emptyEntry().id)
{
}

Field::Field(std::string_view typeName, std::string value) : m_value(std::move(value))
{
    const FieldMapping::Entry entry = FieldMapping::instance().entryOfName(typeName);
    m_typeName = entry.name;
    m_typeId = entry.id;
}

std::string Field::toString() const
{
    std::string text;
    text.reserve(m_typeId->size() + 1 + m_value.size());
    text += *m_typeId;
    text += '=';
    text += m_value;
    return text;
}

void Field::setTypeId(std::string_view id)
{
    const FieldMapping::Entry entry = FieldMapping::instance().entryOfId(id);
    m_typeId = entry.id;
    m_typeName = entry.name;
}

void Field::parseAt(std::string_view text, size_t i)
{
    if (text.empty())
        throw std::logic_error("Field not complete(1), typeName=" + *m_typeName);
    if (i == text.size())
        throw std::logic_error("Field not complete(2), typeName=" + *m_typeName);
    if (text[i] != '=')
        throw std::runtime_error("Field Parse Error str=" + std::string(text));
    setTypeId(text.substr(0, i));
    assignValue(text.data() + i + 1, text.size() - i - 1);
}

void Field::parse(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i;
    parseAt(text, i);
}

void Field::parseNext(std::string_view text, size_t &position)
{
    if (position < 1 || position > text.size()) {
        position = text.size() + 1;
        parse(std::string_view{});
        return;
    }
    size_t start = position - 1;
    const char *end = text.data() + text.size();
    const char *found = findSeparator(text.data() + start, end);
    if (found == end) {
        position = text.size() + 1;
        parse(text.substr(start));
        return;
    }
    const size_t sep = size_t(found - text.data());
    position = sep + 2;
    parse(text.substr(start, sep - start));
}

void Field::parseExpected(std::string_view expectedName, std::string_view text, size_t &position)
{
    parseNext(text, position);
    if (*m_typeName != expectedName)
        throw std::runtime_error(std::string(expectedName) + " field not exists " + *m_typeName
                                 + " instead");
}

} // namespace tarvo
