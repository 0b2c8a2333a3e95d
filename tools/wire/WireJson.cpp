// Converting messages to and from their JSON form.
#include "WireJson.h"

#include "PackageRecords.h"

#include "platform/Gbk.h"
#include "protocol/MessageBodies.h"
#include "protocol/MessageBodyFactory.h"
#include "protocol/PackageField.h"

#include <algorithm>
#include <stdexcept>

namespace tarvo::wire {
namespace {

const char *const HEADER_MEMBERS[] = {"version", "orientation", "messageType", "sequence",
                                      "bodyLength", "checkSum"};
const char *const OTHER_MEMBERS[] = {"fields", "body", "oesRecords", "pbuRecords", "raw"};

bool isPackage(std::string_view name) { return name == "oesPackage" || name == "pbuPackage"; }

// The type names a body's pattern writes, in pattern order (none for an unusable pattern).
std::vector<std::string> patternNames(const MessageBody &body)
{
    std::vector<std::string> names;
    try {
        for (const std::string &item : MessageBody::patternItems(body.getPattern(),
                                                                 body.getMessageType()))
            names.push_back(item.substr(1));
    } catch (const std::exception &) {
    }
    return names;
}

// A member given as a text (a number is taken as its decimal text).
std::string textMember(const Json &object, const char *name, std::string fallback,
                       TextMode mode)
{
    auto it = object.find(name);
    if (it == object.end())
        return fallback;
    if (it->is_number_integer())
        return it->dump();
    if (!it->is_string())
        throw std::runtime_error(std::string("'") + name + "' is not a text");
    return fromJsonText(it->get<std::string>(), mode);
}

} // namespace

std::string toJsonText(std::string_view bytes, TextMode mode)
{
    if (mode == TextMode::Gbk)
        return gbk::toUtf8(bytes);
    std::string out;
    out.reserve(bytes.size() + 8);
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += char(c);
            continue;
        }
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    }
    return out;
}

std::string fromJsonText(std::string_view utf8, TextMode mode)
{
    if (mode == TextMode::Gbk)
        return gbk::fromUtf8(utf8);
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = utf8[i];
        if (c < 0x80) {
            out += char(c);
            continue;
        }
        const bool twoByteLatin = (c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()
                                  && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80;
        if (!twoByteLatin)
            throw std::runtime_error("a raw text holds a character above U+00FF");
        out += char(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
        ++i;
    }
    return out;
}

Json messageToJson(const Message &message, std::string_view bodyText, TextMode mode)
{
    Json j = Json::object();
    j["version"] = toJsonText(message.getVersion(), mode);
    j["orientation"] = toJsonText(message.getOrientation(), mode);
    j["messageType"] = toJsonText(message.getMessageType(), mode);
    j["sequence"] = toJsonText(message.getSequence(), mode);
    j["bodyLength"] = toJsonText(message.getBodyLength(), mode);
    j["checkSum"] = toJsonText(message.getCheckSum(), mode);

    Json fields = Json::object();
    const MessageBody *body = message.getBody();
    if (body) {
        for (const std::string &name : patternNames(*body)) {
            const Field &field = body->getField(name);
            if (!field.isEmpty())
                fields[name] = toJsonText(field.getValue(), mode);
        }
        for (const auto &[name, field] : body->fields())
            if (!fields.contains(name))
                fields[name] = toJsonText(field->getValue(), mode);
    }
    j["fields"] = std::move(fields);
    if (!body && !bodyText.empty())
        j["body"] = toJsonText(bodyText, mode);

    if (dynamic_cast<const StatusResponseMessageBody *>(body)) {
        if (!body->getField("oesPackage").isEmpty())
            if (auto records = oesRecordsOf(body->getFieldValue("oesPackage"), mode))
                j["oesRecords"] = std::move(*records);
        if (!body->getField("pbuPackage").isEmpty())
            if (auto records = pbuRecordsOf(body->getFieldValue("pbuPackage"), mode))
                j["pbuRecords"] = std::move(*records);
    }
    if (mode == TextMode::Raw)
        j["raw"] = true;
    return j;
}

std::string jsonToWire(const Json &object, std::vector<std::string> &notes)
{
    if (!object.is_object())
        throw std::runtime_error("not a JSON object");
    if (auto it = object.find("error"); it != object.end())
        throw std::runtime_error("an error line cannot be encoded (error: " + it->dump() + ")");
    for (const auto &[key, value] : object.items()) {
        const auto known = [&](const char *const name) { return key == name; };
        if (std::none_of(std::begin(HEADER_MEMBERS), std::end(HEADER_MEMBERS), known)
            && std::none_of(std::begin(OTHER_MEMBERS), std::end(OTHER_MEMBERS), known))
            throw std::runtime_error("unknown member '" + key + "'");
    }
    TextMode mode = TextMode::Gbk;
    if (auto it = object.find("raw"); it != object.end()) {
        if (!it->is_boolean())
            throw std::runtime_error("'raw' is not true or false");
        if (it->get<bool>())
            mode = TextMode::Raw;
    }

    if (!object.contains("messageType"))
        throw std::runtime_error("missing 'messageType'");
    const std::string messageType = textMember(object, "messageType", "", mode);
    MessageBodyFactory factory;
    std::unique_ptr<MessageBody> body = factory.createMessageBody(messageType, "");
    if (!body)
        throw std::runtime_error("message type '" + gbk::toUtf8(messageType)
                                 + "' has no body class and cannot be encoded");
    if (object.contains("body"))
        throw std::runtime_error("'body' is only shown for types without a body class; give "
                                 "the body as 'fields'");

    const bool isStatus = dynamic_cast<StatusResponseMessageBody *>(body.get()) != nullptr;
    // Record arrays win over the raw package: the body keeps the first field of a name.
    for (const char *array : {"oesRecords", "pbuRecords"}) {
        auto it = object.find(array);
        if (it == object.end())
            continue;
        if (!isStatus)
            throw std::runtime_error(std::string("'") + array
                                     + "' belongs to a status response (messageType 03)");
        const bool oes = array[0] == 'o';
        std::string content = oes ? oesContentOf(*it, mode) : pbuContentOf(*it, mode);
        body->addField(std::make_unique<PackageField>(oes ? "oesPackage" : "pbuPackage",
                                                      std::move(content)));
    }

    const std::vector<std::string> written = patternNames(*body);
    if (auto it = object.find("fields"); it != object.end()) {
        if (!it->is_object())
            throw std::runtime_error("'fields' is not an object");
        for (const auto &[name, value] : it->items()) {
            if (!value.is_string() && !value.is_number_integer())
                throw std::runtime_error("field '" + name + "' is not a text");
            std::string bytes = value.is_string() ? fromJsonText(value.get<std::string>(), mode)
                                                  : value.dump();
            try {
                FieldMapping::instance().typeIdOf(name);
            } catch (const std::exception &) {
                throw std::runtime_error("unknown field type name '" + name + "'");
            }
            if (std::find(written.begin(), written.end(), name) == written.end())
                notes.push_back("field '" + name + "' is not written in a message of type "
                                + body->getMessageType());
            if (isPackage(name)) {
                body->addField(std::make_unique<PackageField>(name, std::move(bytes)));
                continue;
            }
            if (bytes.find(FIELD_SEPARATOR) != std::string::npos)
                throw std::runtime_error("field '" + name + "' holds the separator byte 0x01, "
                                         "which only a package may carry");
            body->addField(name, std::move(bytes));
        }
    }

    std::string version = textMember(object, "version", PROTOCOL_VERSION, mode);
    std::string orientation = textMember(object, "orientation", "C", mode);
    std::string sequence = textMember(object, "sequence", "0", mode);
    for (const std::string *text : {&version, &orientation, &sequence})
        if (text->find(FIELD_SEPARATOR) != std::string::npos)
            throw std::runtime_error("a header text holds the separator byte 0x01");
    try {
        Message message(std::move(version), std::move(orientation), std::move(sequence),
                        std::move(body));
        return message.encode();
    } catch (const std::logic_error &e) {
        throw std::runtime_error(gbk::toUtf8(e.what()));
    }
}

std::string resultText(int result)
{
    switch (result) {
    case Message::DECODE_INCOMPLETE: return "incomplete";
    case Message::DECODE_MONITOR_OLDER:
        return "monitor older (-2): the console side has the lower protocol version";
    case Message::DECODE_PROBE_OLDER:
        return "probe older (-3): the agent side has the lower protocol version";
    case Message::DECODE_BAD_TRAILER:
        return "bad trailer (-4): no checkSum field after the body";
    default: return "result " + std::to_string(result);
    }
}

} // namespace tarvo::wire
