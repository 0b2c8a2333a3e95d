// Creates the body class that a message type code selects.
#pragma once

#include "protocol/MessageBody.h"

#include <memory>
#include <string_view>

namespace tarvo {

class MessageBodyFactory
{
public:
    // A new body filled from `bodyText`, or nothing when the code selects no class (the
    // text is then ignored). The code is read by its leading digits: "02" and "2" agree.
    // Parse errors of the body propagate.
    virtual std::unique_ptr<MessageBody> createMessageBody(std::string_view messageType,
                                                           std::string_view bodyText);
    virtual ~MessageBodyFactory() = default;
};

} // namespace tarvo
