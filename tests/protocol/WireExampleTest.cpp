// The wire example of a status request, byte for byte.
#include "protocol/Message.h"
#include "protocol/MessageBodies.h"

#include <gtest/gtest.h>

using namespace tarvo;

TEST(WireExample, StatusRequestWithSequenceOneIs41Bytes)
{
    Message m(PROTOCOL_VERSION, "C", "1", std::make_unique<StatusRequestMessageBody>());
    const std::string wire = m.encode();
    // 34 bytes before the trailer sum to 247 modulo 256.
    EXPECT_EQ(wire, std::string("00=Tarvo1.20\x01" "01=C\x01" "04=02\x01" "12=1\x01" "15=0\x01"
                                "99=247\x01"));
    EXPECT_EQ(wire.size(), 41u);
}
