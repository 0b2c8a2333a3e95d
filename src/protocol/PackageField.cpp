// Writing and reading the two package fields of a status response.
#include "protocol/PackageField.h"

#include <stdexcept>

namespace tarvo {

void PackageField::checkTypeName(std::string_view typeName)
{
    if (typeName != "oesPackage" && typeName != "pbuPackage" && !typeName.empty())
        throw std::logic_error(std::string(typeName) + "is not a type name");
}

PackageField::PackageField(std::string_view typeName, std::string value)
    : Field((checkTypeName(typeName), typeName), std::move(value))
    , m_lengthTypeName(std::string(typeName) + "Length")
{
}

std::string PackageField::toString() const
{
    std::string item = Field::toString();
    const std::string &lengthId = FieldMapping::instance().typeIdOf(m_lengthTypeName);
    std::string text;
    text.reserve(lengthId.size() + 12 + item.size());
    text += lengthId;
    text += '=';
    text += std::to_string(item.size());
    text += m_separator;
    text += item;
    return text;
}

void PackageField::parse(std::string_view packageText)
{
    size_t a = packageText.find(m_separator);
    Field length;
    length.parse(packageText.substr(0, a));
    m_lengthTypeName = length.getTypeName();
    size_t after = a == std::string_view::npos ? packageText.size() : a + 1;
    size_t m = packageText.size() - after;
    if (std::to_string(m) != length.getValue())
        throw std::length_error("Package length not match!");
    Field::parse(packageText.substr(after));
    // A length field must be followed by one of the two packages, nothing else.
    checkTypeName(getTypeName());
}

} // namespace tarvo
