// The one normalisation of a host address, shared by the console's host list and the agent's
// ACCESS_CONTROL.
#include "host/HostAddress.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

struct AddressCase
{
    const char *text;
    const char *address;
    const char *unreadablePart;  // nullptr: none
};

class NormalizeIP : public ::testing::TestWithParam<AddressCase>
{
};

TEST_P(NormalizeIP, GivesTheDecimalBytesOrTheRefusal)
{
    const AddressCase &c = GetParam();
    const DottedIP ip = readDottedIP(c.text);
    EXPECT_EQ(ip.address, c.address);
    EXPECT_EQ(normalizeIP(c.text), c.address);
    const std::optional<std::string> part =
        c.unreadablePart ? std::optional<std::string>(c.unreadablePart) : std::nullopt;
    EXPECT_EQ(ip.unreadablePart, part);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NormalizeIP,
    ::testing::Values(AddressCase{"010.001.002.003", "10.1.2.3", nullptr},
                      AddressCase{"10.1.2.3", "10.1.2.3", nullptr},
                      AddressCase{"0000.0.0.255", "0.0.0.255", nullptr},
                      AddressCase{"10.1.2", "IP地址有误", nullptr},
                      AddressCase{"", "IP地址有误", nullptr},
                      AddressCase{"1.2.3.256", "IP地址有误", nullptr},
                      AddressCase{"300.1.1.1", "IP地址有误", nullptr},
                      AddressCase{"1.2.3.-4", "IP地址有误", nullptr},
                      AddressCase{"a.b.c.d", "IP地址有误", "a"},
                      AddressCase{"300.x.1.1", "IP地址有误", "x"},
                      AddressCase{"1..2.3", "IP地址有误", ""},
                      AddressCase{"1.2.3.4.5", "IP地址有误", "4.5"},
                      AddressCase{"1.2.3.4 x", "IP地址有误", "4 x"},
                      AddressCase{"0x1.2.3.4", "IP地址有误", "0x1"}));

} // namespace
} // namespace tarvo
