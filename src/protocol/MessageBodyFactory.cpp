// Message type code -> body class.
#include "protocol/MessageBodyFactory.h"

#include "protocol/MessageBodies.h"

namespace tarvo {
namespace {

// The number formed by the leading decimal digits; -1 when there are none or too many.
int leadingNumber(std::string_view code)
{
    int n = 0;
    size_t i = 0;
    for (; i < code.size() && code[i] >= '0' && code[i] <= '9'; ++i) {
        if (n > 100000)
            return -1;
        n = n * 10 + (code[i] - '0');
    }
    return i == 0 ? -1 : n;
}

std::unique_ptr<MessageBody> newBody(int code)
{
    switch (code) {
    case 2: return std::make_unique<StatusRequestMessageBody>();
    case 3: return std::make_unique<StatusResponseMessageBody>();
    case 12: return std::make_unique<BeatMessageBody>();
    case 13: return std::make_unique<LogMessageBody>();
    case 19: return std::make_unique<TroubleShootingRequestMessageBody>();
    case 20: return std::make_unique<TroubleShootingResponseMessageBody>();
    default: return nullptr;
    }
}

} // namespace

std::unique_ptr<MessageBody> MessageBodyFactory::createMessageBody(std::string_view messageType,
                                                                   std::string_view bodyText)
{
    std::unique_ptr<MessageBody> body = newBody(leadingNumber(messageType));
    if (body)
        body->parse(bodyText);
    return body;
}

} // namespace tarvo
