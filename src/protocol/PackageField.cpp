// Writing and reading the two package fields of a status response.
#include "protocol/PackageField.h"
#include "protocol/FieldScan.h"

#include <stdexcept>

namespace tarvo {

void PackageField::checkTypeName(std::string_view typeName)
{
    // Names read from the wire are dictionary texts and are known by their address.
    static const std::string *const oes = FieldMapping::instance().entryOfName("oesPackage").name;
    static const std::string *const pbu = FieldMapping::instance().entryOfName("pbuPackage").name;
    if (typeName.data() == oes->data() || typeName.data() == pbu->data())
        return;
    if (typeName != "oesPackage" && typeName != "pbuPackage" && !typeName.empty())
        throw std::logic_error(std::string(typeName) + "is not a type name");
}

namespace {

// The length names a constructed package can have: the two of the dictionary, and "Length"
// for the unnamed package (whose length field therefore cannot be written).
const std::string NO_LENGTH_NAME;
const std::string UNNAMED_LENGTH_NAME = "Length";

} // namespace

PackageField::PackageField() : m_lengthTypeName(&NO_LENGTH_NAME) {}

PackageField::PackageField(std::string_view typeName, std::string value)
    : Field((checkTypeName(typeName), typeName), std::move(value))
    , m_lengthTypeName(typeName.empty() ? &UNNAMED_LENGTH_NAME
                       : typeName == "oesPackage"
                           ? FieldMapping::instance().entryOfName("oesPackageLength").name
                           : FieldMapping::instance().entryOfName("pbuPackageLength").name)
{
}

std::string PackageField::toString() const
{
    std::string item = Field::toString();
    const std::string &lengthId = FieldMapping::instance().typeIdOf(*m_lengthTypeName);
    std::string text;
    text.reserve(lengthId.size() + 12 + item.size());
    text += lengthId;
    text += '=';
    text += std::to_string(item.size());
    text += m_separator;
    text += item;
    return text;
}

bool PackageField::lengthMatches(std::string_view text, size_t count)
{
    // True when `text` is exactly the decimal form of `count`, as std::to_string writes it.
    char digits[24];
    size_t n = 0;
    do {
        digits[n++] = char('0' + count % 10);
        count /= 10;
    } while (count != 0);
    if (text.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (text[i] != digits[n - 1 - i])
            return false;
    return true;
}

void PackageField::parse(std::string_view packageText)
{
    // As senders write it: "<two digits>=N" ^A "<two digits>=content", both IDs known.
    const FieldMapping &mapping = FieldMapping::instance();
    const char *begin = packageText.data();
    const char *end = begin + packageText.size();
    const char *sep = findSeparator(begin, end);
    if (sep != end && sep - begin >= 3 && begin[2] == '=' && end - sep > 3 && sep[3] == '=') {
        const FieldMapping::Entry length = mapping.entryOfTwoDigits(begin[0], begin[1]);
        const FieldMapping::Entry item = mapping.entryOfTwoDigits(sep[1], sep[2]);
        if (length.name && item.name) {
            m_lengthTypeName = length.name;
            if (!lengthMatches(std::string_view(begin + 3, size_t(sep - begin - 3)),
                               size_t(end - sep - 1)))
                throw std::length_error("Package length not match!");
            m_typeName = item.name;
            m_typeId = item.id;
            assignValue(sep + 4, size_t(end - sep - 4));
            checkTypeName(*m_typeName);
            return;
        }
    }
    size_t a = packageText.find(m_separator);
    Field length;
    length.parse(packageText.substr(0, a));
    m_lengthTypeName = &length.getTypeName();
    size_t after = a == std::string_view::npos ? packageText.size() : a + 1;
    size_t m = packageText.size() - after;
    if (!lengthMatches(length.getValue(), m))
        throw std::length_error("Package length not match!");
    Field::parse(packageText.substr(after));
    // A length field must be followed by one of the two packages, nothing else.
    checkTypeName(getTypeName());
}

} // namespace tarvo
