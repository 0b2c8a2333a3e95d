// The body of a message: fields keyed by type name, written in the order of a pattern.
#pragma once

#include "protocol/Field.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

// Abstract base of the six bodies. A body is written by walking its pattern
// ("<!name><!name>...", "!" marking a necessary field) and read field by field until the
// text ends, without the pattern. The body owns its fields.
class MessageBody
{
public:
    MessageBody() = default;
    virtual ~MessageBody();
    MessageBody(const MessageBody &) = delete;
    MessageBody &operator=(const MessageBody &) = delete;

    // One body is made and dropped for every message read: its memory is recycled per thread.
    static void *operator new(std::size_t size) { return allocateSmall(size); }
    static void operator delete(void *p, std::size_t size) noexcept { releaseSmall(p, size); }

    // The two-digit message type code; empty for the base class.
    virtual std::string getMessageType() const;
    // Performs the request this body carries and returns the body to answer with, or
    // nothing. Throws std::logic_error "class is not executable" unless overridden.
    virtual std::unique_ptr<MessageBody> execute();
    // A response's result text; empty unless overridden.
    virtual std::string getResult() const;
    // The pattern; throws std::logic_error "this is an abstract class message body".
    virtual std::string getPattern() const;

    // The wire text: every pattern item's field followed by the separator. Throws
    // std::logic_error for an invalid pattern or a missing necessary field.
    std::string toString() const;
    // Adds the fields of `bodyText`. Field, conversion and package errors propagate;
    // fields read before the error stay in the body.
    void parse(std::string_view bodyText);

    // Takes ownership; a field already stored under the same type name wins.
    void addField(std::unique_ptr<Field> field);
    void addField(std::string_view typeName, std::string value);
    // The stored field, or the empty field when none is stored under that name.
    const Field &getField(std::string_view typeName) const;
    // The stored field's value, or the empty text.
    const std::string &getFieldValue(std::string_view typeName) const;

    // Stored fields ordered by type name, each under its type name (a dictionary text that
    // lives as long as the process).
    using FieldEntry = std::pair<std::string_view, std::unique_ptr<Field>>;
    using FieldList = std::vector<FieldEntry, SmallAllocator<FieldEntry>>;
    const FieldList &fields() const { return m_fields; }

    // The items of a pattern: marker character + type name, in pattern order. Throws the
    // "Invalid pattern: '" error naming `messageType` for an empty or unopened item.
    static std::vector<std::string> patternItems(const std::string &pattern,
                                                 const std::string &messageType);

private:
    // Sorted by name; a body holds a handful of fields, so a flat list beats a tree.
    FieldList m_fields;
    char m_separator = FIELD_SEPARATOR;
};

} // namespace tarvo
