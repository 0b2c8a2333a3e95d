// A field whose value is a list of records (separators included), sent after a length field.
#pragma once

#include "protocol/Field.h"

namespace tarvo {

// "oesPackage" or "pbuPackage" (or the empty name while reading). Wire form:
// <length type ID>=N ^A <package type ID>=<content>, where N counts the whole package
// item "70=" + content; the body writer appends the final separator.
class PackageField : public Field
{
public:
    PackageField();
    // Throws std::logic_error "<typeName>is not a type name" for any name other than
    // "oesPackage", "pbuPackage" or the empty one; "Wrong type name:" as Field does.
    PackageField(std::string_view typeName, std::string value);

    std::string toString() const override;

    // Reads "<length field> ^A <package item>". Throws std::length_error "Package length
    // not match!" when the length field's text is not the decimal count of the bytes after
    // the separator; field parse errors as Field::parse.
    void parse(std::string_view packageText);

    const std::string &getLengthTypeName() const { return *m_lengthTypeName; }

private:
    static void checkTypeName(std::string_view typeName);
    static bool lengthMatches(std::string_view text, size_t count);

    // A dictionary name once read; "<package name>Length" as constructed.
    const std::string *m_lengthTypeName;
    char m_separator = FIELD_SEPARATOR;
};

} // namespace tarvo
