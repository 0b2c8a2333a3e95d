// Keeping a status answer within the message limit of the protocol, so that the console
// can read it: long values are cut, and as a last resort trailing PBUs are left out.
#pragma once

#include "host/Oes.h"
#include "host/Pbu.h"
#include "protocol/MessageLimit.h"

#include <cstddef>
#include <string>
#include <vector>

namespace tarvo {

class StatusResponseMessageBody;

// A message may end at most at byte 20480 of the console's receive buffer.
constexpr size_t MAX_ANSWER_BYTES = MESSAGE_LIMIT;
// The answer echoes the request's sequence; the console's sequence numbers are its send
// count, so the budget allows for one of 20 digits.
constexpr size_t ANSWER_SEQUENCE_ALLOWANCE = 20;
// Values are never cut below this many bytes (the digits of a 64-bit counter): when the
// answer does not fit even so, trailing PBUs are left out instead.
constexpr size_t MIN_CUT_VALUE_BYTES = 20;

struct StatusAnswerFields
{
    std::string hostStatus, hostTime, cpuUsage, memoryUsage, diskUsage, envNo;
    std::vector<Oes> programs;
    std::vector<Pbu> pbus;
};

struct FittedStatusAnswer
{
    std::string oesPackage;
    std::string pbuPackage;
    // The longest value left whole; 0 when nothing was cut.
    size_t valueLimit = 0;
    size_t pbusSent = 0;
    size_t pbusTotal = 0;
    bool fits = true;
    // What was done to make it fit, for the agent's log; empty when nothing was.
    std::string note() const;
};

// The packages of a status answer whose whole message (with a sequence of
// ANSWER_SEQUENCE_ALLOWANCE digits) stays within `limit` bytes. Values other than the
// program's name and existence flag and the PBU's name and operator number are cut to the
// longest length that fits (at a GBK character boundary), down to MIN_CUT_VALUE_BYTES;
// below that, PBUs are left out from the end. `fits` is false when not even the answer
// without PBUs fits (host fields too long), in which case it is returned as it is.
FittedStatusAnswer fitStatusAnswer(const StatusAnswerFields &fields,
                                   size_t limit = MAX_ANSWER_BYTES);

// The encoded size of the answer with these packages and a sequence of
// ANSWER_SEQUENCE_ALLOWANCE digits.
size_t statusAnswerBytes(const StatusAnswerFields &fields, const std::string &oesPackage,
                         const std::string &pbuPackage);

} // namespace tarvo
