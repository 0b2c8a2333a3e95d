// Test helpers: wire texts written with "^A" for the separator, and sample messages.
#pragma once

#include "protocol/Message.h"
#include "protocol/MessageBodies.h"

#include <string>
#include <string_view>

namespace tarvo::test {

// "58=x^A60=1^A" -> "58=x\x01" "60=1\x01": golden vectors read like the wire notation.
inline std::string wire(std::string_view notation)
{
    std::string out;
    for (size_t i = 0; i < notation.size(); ++i) {
        if (notation.substr(i, 2) == "^A") {
            out += FIELD_SEPARATOR;
            ++i;
        } else {
            out += notation[i];
        }
    }
    return out;
}

// The byte sum modulo 256 worked out independently of Message.
inline unsigned byteSum(std::string_view text)
{
    unsigned sum = 0;
    for (unsigned char c : text)
        sum += c;
    return sum % 256;
}

inline std::string oesRecord(const std::string &exist, const std::string &name,
                             const std::string &status)
{
    return wire("85=" + exist + "^A89=" + name + "^A63=T1^A64=" + status + "^A52=V2.3^A77=0^A");
}

inline std::string pbuRecord(const std::string &oesName, const std::string &operatorNumber)
{
    return wire("89=" + oesName + "^A34=" + operatorNumber
                + "^A63=T1^A83=3^A65=120^A66=118^A67=40^A90=999^A74=10.0.0.1^A"
                  "57=10.0.0.2^A75=1^A76=1^A77=0^A");
}

// A status response as an agent writes it: two OES records and `pbuCount` PBU records.
inline std::string statusResponseWire(int pbuCount, const std::string &sequence = "7")
{
    std::string oes = oesRecord("Y", "A股报盘程序", "运行") + oesRecord("N", "B股报盘程序", "不存在");
    std::string pbus;
    for (int i = 0; i < pbuCount; ++i)
        pbus += pbuRecord("A股报盘程序", "OP" + std::to_string(100000000 + i));
    Message m(PROTOCOL_VERSION, "S", sequence,
              std::make_unique<StatusResponseMessageBody>("正常运行", "2009-10-23 14:35:07 ", "37",
                                                          "52", "90", "00", oes, pbus));
    return m.encode();
}

} // namespace tarvo::test
