// Reading and writing the OES and PBU items of the status packages.
#include "host/Oes.h"
#include "host/Pbu.h"
#include "host/StatusNames.h"

#include "protocol/AssignText.h"
#include "protocol/Field.h"
#include "protocol/FieldScan.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace tarvo {
namespace {

// One field of an item, expected to be `name` (wire ID `id`), into `member`. A field that is
// exactly "<id>=value" is read in place; anything else goes through Field, which throws the
// protocol's own error texts. `previousId` is the ID of the field read before (empty for the
// item's first), so that Field's messages name the field before the bad one just as a read
// through Field alone does.
[[gnu::noinline]] void readThroughField(std::string_view name, const std::string &id,
                                        std::string_view text, size_t &position,
                                        std::string &member, std::string_view &previousId)
{
    Field field;
    if (!previousId.empty())
        field.setTypeId(previousId);
    field.parseExpected(name, text, position);
    member = field.getValue();
    previousId = id;
}

// The first three bytes of a field "<id>=" as one word (an impossible word for an ID that is
// not two characters), compared under HEAD_MASK with the four bytes at a field's start.
uint32_t wordOf(const unsigned char (&bytes)[4])
{
    uint32_t word;
    std::memcpy(&word, bytes, 4);
    return word;
}

const uint32_t HEAD_MASK = wordOf({0xFF, 0xFF, 0xFF, 0});

uint32_t headOf(const std::string &id)
{
    if (id.size() != 2)
        return ~0u;
    return wordOf({(unsigned char)id[0], (unsigned char)id[1], '=', 0});
}

// True when the four bytes at `p` (which must lie within the text) start with `head`.
inline bool startsWithHead(const char *p, uint32_t head)
{
    uint32_t word;
    std::memcpy(&word, p, 4);
    return (word & HEAD_MASK) == head;
}

inline void readInto(std::string_view name, const std::string &id, uint32_t head,
                     std::string_view text, size_t &position, std::string &member,
                     std::string_view &previousId)
{
    // Four bytes at least: "<id>=" and one more (a value byte or its separator).
    if (position >= 1 && position + 3 <= text.size()) {
        const char *p = text.data() + (position - 1);
        if (startsWithHead(p, head)) {
            const char *end = text.data() + text.size();
            const char *value = p + 3;
            const char *sep = findSeparator(value, end);
            assignText(member, value, size_t(sep - value));
            position = sep == end ? text.size() + 1 : size_t(sep - text.data()) + 2;
            previousId = id;
            return;
        }
    }
    readThroughField(name, id, text, position, member, previousId);
}

// The wire IDs of the item fields, looked up once.
const std::string &idOf(std::string_view name)
{
    return FieldMapping::instance().typeIdOf(name);
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
    static const std::string *const ids[] = {&idOf("oesExist"), &idOf("oesName"),
                                              &idOf("oesType"), &idOf("oesStatus"),
                                              &idOf("oesVersion"), &idOf("warningLevel")};
    static const uint32_t heads[] = {headOf(*ids[0]), headOf(*ids[1]), headOf(*ids[2]),
                                     headOf(*ids[3]), headOf(*ids[4]), headOf(*ids[5])};
    std::string_view last;
    readInto("oesExist", *ids[0], heads[0], text, position, oesExist, last);
    readInto("oesName", *ids[1], heads[1], text, position, oesName, last);
    readInto("oesType", *ids[2], heads[2], text, position, oesType, last);
    readInto("oesStatus", *ids[3], heads[3], text, position, oesStatus, last);
    readInto("oesVersion", *ids[4], heads[4], text, position, oesVersion, last);
    readInto("warningLevel", *ids[5], heads[5], text, position, warningLevel, last);
}

bool Oes::readPlainPair(std::string_view text, Oes &a, Oes &b)
{
    static const std::string *const ids[] = {&idOf("oesExist"), &idOf("oesName"),
                                              &idOf("oesType"), &idOf("oesStatus"),
                                              &idOf("oesVersion"), &idOf("warningLevel")};
    static const uint32_t heads[] = {headOf(*ids[0]), headOf(*ids[1]), headOf(*ids[2]),
                                     headOf(*ids[3]), headOf(*ids[4]), headOf(*ids[5])};
    // The twelve values are found first, so that a text read otherwise leaves both alone.
    std::string_view values[12];
    const char *p = text.data();
    const char *const end = p + text.size();
    SeparatorWalk separators(p, end);
    for (size_t i = 0; i < 12; ++i) {
        // Four bytes at least: "<id>=" and a value byte or the separator.
        if (end - p < 4 || !startsWithHead(p, heads[i % 6]))
            return false;
        const char *value = p + 3;
        // The head holds no separator: the next one ends this value.
        const char *sep = separators.next();
        values[i] = std::string_view(value, size_t(sep - value));
        // Only the last value may end with the text.
        if (sep == end && i != 11)
            return false;
        p = sep == end ? end : sep + 1;
    }
    Oes *const records[2] = {&a, &b};
    for (size_t k = 0; k < 2; ++k) {
        Oes &o = *records[k];
        const std::string_view *v = values + 6 * k;
        assignText(o.oesExist, v[0].data(), v[0].size());
        assignText(o.oesName, v[1].data(), v[1].size());
        assignText(o.oesType, v[2].data(), v[2].size());
        assignText(o.oesStatus, v[3].data(), v[3].size());
        assignText(o.oesVersion, v[4].data(), v[4].size());
        assignText(o.warningLevel, v[5].data(), v[5].size());
    }
    return true;
}

void Oes::assign(const Oes &other)
{
    if (this == &other)
        return;
    for (auto member : {&Oes::oesExist, &Oes::oesType, &Oes::oesName, &Oes::oesStatus,
                        &Oes::oesVersion, &Oes::warningLevel})
        assignText(this->*member, (other.*member).data(), (other.*member).size());
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
    static const std::string *const ids[] = {
        &idOf("oesName"),
        &idOf("operatorNumber"),
        &idOf("oesType"),
        &idOf("pbuStatus"),
        &idOf("pbuBidNumber"),
        &idOf("pbuResponseNumber"),
        &idOf("pbuTradeNumber"),
        &idOf("MaxOrderNumber"),
        &idOf("csIP"),
        &idOf("hostExtIP"),
        &idOf("capability"),
        &idOf("work"),
        &idOf("warningLevel"),
    };
    static const auto heads = [] {
        std::array<uint32_t, 13> words{};
        for (size_t i = 0; i < words.size(); ++i)
            words[i] = headOf(*ids[i]);
        return words;
    }();
    static constexpr const char *NAMES[] = {
        "oesName",        "operatorNumber", "oesType",    "pbuStatus", "pbuBidNumber",
        "pbuResponseNumber", "pbuTradeNumber", "MaxOrderNumber", "csIP", "hostExtIP",
        "capability",     "work",           "warningLevel"};
    static constexpr std::string Pbu::*MEMBERS[] = {
        &Pbu::oesName,        &Pbu::operatorNumber, &Pbu::oesType,    &Pbu::pbuStatus,
        &Pbu::pbuBidNumber,   &Pbu::pbuResponseNumber, &Pbu::pbuTradeNumber,
        &Pbu::MaxOrderNumber, &Pbu::csIP,           &Pbu::hostExtIP,  &Pbu::capability,
        &Pbu::work,           &Pbu::warningLevel};
    // Fields as senders write them are read one after another by pointer; from the first
    // other one on, each goes through readInto, which judges it.
    size_t i = 0;
    if (position >= 1 && position <= text.size()) {
        const char *p = text.data() + (position - 1);
        const char *const end = text.data() + text.size();
        bool ended = false;
        for (; i < 13; ++i) {
            if (end - p < 4 || !startsWithHead(p, heads[i]))
                break;
            const char *value = p + 3;
            const char *sep = findSeparator(value, end);
            assignText(this->*MEMBERS[i], value, size_t(sep - value));
            if (sep == end) {
                ended = true;
                ++i;
                break;
            }
            p = sep + 1;
        }
        position = ended ? text.size() + 1 : size_t(p - text.data()) + 1;
    }
    std::string_view last = i > 0 ? std::string_view(*ids[i - 1]) : std::string_view();
    for (; i < 13; ++i)
        readInto(NAMES[i], *ids[i], heads[i], text, position, this->*MEMBERS[i], last);
}

void Pbu::resetDisplayState()
{
    stale = false;
    for (std::string *flag : {&oesStatusChanged, &statusChanged, &csIPChanged, &localIPChanged,
                              &submittedChanged, &responsedChanged, &cjhbChanged})
        if (flag->size() != 1 || (*flag)[0] != 'F')
            flag->assign(1, 'F');
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
