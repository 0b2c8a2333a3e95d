// Pattern-driven writing and field-by-field reading of message bodies.
#include "protocol/MessageBody.h"

#include "protocol/Convert.h"
#include "protocol/FieldScan.h"
#include "protocol/PackageField.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace tarvo {
namespace {

const Field EMPTY_FIELD;

// The two package length fields, known by their IDs "69" and "71" (one ID per name).
bool isPackageLength(const std::string &typeId)
{
    return typeId.size() == 2
           && ((typeId[0] == '6' && typeId[1] == '9') || (typeId[0] == '7' && typeId[1] == '1'));
}

} // namespace

MessageBody::~MessageBody() = default;

std::string MessageBody::getMessageType() const { return {}; }

std::unique_ptr<MessageBody> MessageBody::execute()
{
    throw std::logic_error("class is not executable");
}

std::string MessageBody::getResult() const { return {}; }

std::string MessageBody::getPattern() const
{
    throw std::logic_error("this is an abstract class message body");
}

std::vector<std::string> MessageBody::patternItems(const std::string &pattern,
                                                   const std::string &messageType)
{
    std::vector<std::string> items;
    size_t start = 0; // 1-based position after the last "<", 0 when outside an item
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '<') {
            start = i + 2;
        } else if (pattern[i] == '>') {
            if (start == 0 || start - 1 == i)
                throw std::logic_error("Invalid pattern: '" + pattern
                                       + "', type =                                  "
                                       + messageType);
            items.push_back(pattern.substr(start - 1, i - (start - 1)));
            start = 0;
        }
    }
    return items;
}

std::string MessageBody::toString() const
{
    const std::string pattern = getPattern();
    if (pattern.empty())
        return {};
    std::string text;
    for (const std::string &item : patternItems(pattern, getMessageType())) {
        const char marker = item.front();
        const std::string_view name = std::string_view(item).substr(1);
        const Field &field = getField(name);
        if (field.isEmpty()) {
            if (marker == '!')
                throw std::logic_error("Neccessary Field '" + std::string(name)
                                       + "' not exists in class");
            continue;
        }
        text += field.toString();
        text += m_separator;
    }
    return text;
}

void MessageBody::parse(std::string_view bodyText)
{
    if (bodyText.empty())
        return;
    size_t position = 1;
    // Made when a field is not plainly written.
    std::optional<Field> scratch;
    const FieldMapping &mapping = FieldMapping::instance();
    const char *const end = bodyText.data() + bodyText.size();
    // The row of the last field read straight into the body, while scratch lags behind it.
    FieldMapping::Entry last;
    while (position < bodyText.size()) {
        const size_t fieldStart = position;
        // A field as senders write it, "<two digits of a known ID>=value", is read straight
        // into a new field; anything else goes through `scratch`, which then throws the
        // reader's own errors.
        const char *p = bodyText.data() + (position - 1);
        const FieldMapping::Entry entry =
            end - p >= 3 && p[2] == '=' ? mapping.entryOfTwoDigits(p[0], p[1])
                                        : FieldMapping::Entry{};
        // The package length field read: its ID and value.
        std::string_view lengthId;
        std::string_view lengthValue;
        if (entry.name) {
            const char *value = p + 3;
            const char *sep = findSeparator(value, end);
            position = sep == end ? bodyText.size() + 1 : size_t(sep - bodyText.data()) + 2;
            const std::string_view text(value, size_t(sep - value));
            last = entry;
            if (!isPackageLength(*entry.id)) {
                addField(std::unique_ptr<Field>(new Field(entry, text)));
                continue;
            }
            // The next field's errors quote the length field, as they quote a field read
            // through `scratch`.
            lengthId = *entry.id;
            lengthValue = text;
        } else {
            if (!scratch)
                scratch.emplace();
            // Only the type of the field before matters to the errors of this one.
            if (last.name)
                *scratch = Field(last, {});
            scratch->parseNext(bodyText, position);
            last = {};
            if (!isPackageLength(scratch->getTypeId())) {
                // The value moves; the type stays in `scratch`, whose name the next field's
                // errors quote.
                addField(std::make_unique<Field>(std::move(*scratch)));
                continue;
            }
            lengthId = scratch->getTypeId();
            lengthValue = scratch->getValue();
        }
        const int32_t n = toInt(lengthValue);
        if (n < 0)
            throw std::length_error("Package length not match!");
        // The package text is the length field, its separator and the N bytes after it (fewer
        // when the body ends sooner), all of which lie back to back in the body text. A length
        // field that ends the body has no separator; the text then gets one appended.
        std::string_view packageText;
        std::string ownText;
        if (position <= bodyText.size()) {
            const size_t end = std::min(bodyText.size(), position - 1 + size_t(n));
            packageText = bodyText.substr(fieldStart - 1, end - (fieldStart - 1));
        } else {
            ownText.reserve(lengthId.size() + lengthValue.size() + 2);
            ownText += lengthId;
            ownText += '=';
            ownText += lengthValue;
            ownText += m_separator;
            packageText = ownText;
        }
        position += size_t(n) + 1;
        auto package = std::make_unique<PackageField>();
        package->parse(packageText);
        addField(std::move(package));
    }
}

void MessageBody::addField(std::unique_ptr<Field> field)
{
    if (!field)
        return;
    const std::string_view name = field->getTypeName();
    const auto before = [](std::string_view a, std::string_view b) {
        if (!a.empty() && !b.empty() && a[0] != b[0])
            return (unsigned char)a[0] < (unsigned char)b[0];
        return a < b;
    };
    // The list is sorted by name and holds each name once: the new field's place is after
    // the last entry not above it, and a field already stored under its name is that entry.
    // Every type name is a text of the dictionary, so equal names are the same text.
    size_t at = m_fields.size();
    while (at > 0 && before(name, m_fields[at - 1].first))
        --at;
    if (at > 0 && m_fields[at - 1].first.data() == name.data())
        return;
    if (m_fields.capacity() == 0)
        m_fields.reserve(8);
    m_fields.emplace_back(name, std::move(field));
    for (size_t i = m_fields.size() - 1; i > at; --i)
        m_fields[i].swap(m_fields[i - 1]);
}

void MessageBody::addField(std::string_view typeName, std::string value)
{
    addField(std::make_unique<Field>(typeName, std::move(value)));
}

const Field &MessageBody::getField(std::string_view typeName) const
{
    const size_t n = typeName.size();
    const char *const wanted = typeName.data();
    // Names of 8 to 16 bytes, most of them, are compared as two overlapping words.
    if (n >= 8 && n <= 16) {
        uint64_t head, tail;
        std::memcpy(&head, wanted, 8);
        std::memcpy(&tail, wanted + n - 8, 8);
        for (const auto &[name, field] : m_fields) {
            if (name.size() != n)
                continue;
            uint64_t h, t;
            std::memcpy(&h, name.data(), 8);
            std::memcpy(&t, name.data() + n - 8, 8);
            if (h == head && t == tail)
                return *field;
        }
        return EMPTY_FIELD;
    }
    for (const auto &[name, field] : m_fields)
        if (name.size() == n && (n == 0 || name[0] == wanted[0]) && name == typeName)
            return *field;
    return EMPTY_FIELD;
}

const std::string &MessageBody::getFieldValue(std::string_view typeName) const
{
    return getField(typeName).getValue();
}

} // namespace tarvo
