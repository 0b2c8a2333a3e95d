// Status answers kept within the protocol's message limit.
#include "agent/StatusAnswerFit.h"

#include "host/StatusNames.h"
#include "protocol/Message.h"
#include "protocol/MessageBodies.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

void setValues(Pbu &pbu, const std::string &value)
{
    pbu.setWork(value);
    pbu.setCsIP(value);
    pbu.setHostExtIP(value);
    pbu.setCapability(value);
}

StatusAnswerFields answerWith(size_t pbuCount, const std::string &value)
{
    StatusAnswerFields fields{"正常运行", "2024-03-15 09:30:05 ", "1", "2", "3", "00", {}, {}};
    for (const std::string &name : {OES_NAME_A, OES_NAME_B}) {
        Oes oes;
        oes.setOesExist("Y");
        oes.setOesName(name);
        oes.setOesStatus("运行");
        oes.setOesVersion(value);
        fields.programs.push_back(oes);
    }
    for (size_t i = 0; i < pbuCount; ++i) {
        char code[24];
        std::snprintf(code, sizeof code, "A%010zu", i + 1);
        Pbu pbu(OES_NAME_A, code);
        pbu.setPbuStatus("3");
        setValues(pbu, value);
        pbu.setPbuBidNumber("12345678901234567890");
        fields.pbus.push_back(pbu);
    }
    return fields;
}

std::string packageOf(const std::vector<Pbu> &pbus)
{
    std::string package;
    for (const Pbu &p : pbus)
        package += p.toString();
    return package;
}

std::vector<Pbu> pbusOf(const std::string &package)
{
    std::vector<Pbu> pbus;
    for (size_t position = 1; position <= package.size();)
        pbus.emplace_back().readItem(package, position);
    return pbus;
}

// The answer as the agent sends it, with the longest sequence the budget allows for.
size_t sentBytes(const StatusAnswerFields &fields, const FittedStatusAnswer &fitted)
{
    Message message(PROTOCOL_VERSION, "S", "99999999999999999999",
                    std::make_unique<StatusResponseMessageBody>(
                        fields.hostStatus, fields.hostTime, fields.cpuUsage, fields.memoryUsage,
                        fields.diskUsage, fields.envNo, fitted.oesPackage, fitted.pbuPackage));
    return message.encode().size();
}

TEST(StatusAnswerFit, AnAnswerWithinTheLimitIsLeftAsItIs)
{
    const StatusAnswerFields fields = answerWith(4, "V2.3.1");
    const FittedStatusAnswer fitted = fitStatusAnswer(fields);
    EXPECT_EQ(fitted.oesPackage, fields.programs[0].toString() + fields.programs[1].toString());
    EXPECT_EQ(fitted.pbuPackage, packageOf(fields.pbus));
    EXPECT_EQ(fitted.note(), "");
    EXPECT_TRUE(fitted.fits);
}

TEST(StatusAnswerFit, LongValuesAreCutJustEnoughAndShortOnesStayWhole)
{
    const StatusAnswerFields fields = answerWith(60, std::string(64, 'w'));
    ASSERT_GT(statusAnswerBytes(fields, "", ""), 0u);
    const FittedStatusAnswer fitted = fitStatusAnswer(fields);
    EXPECT_LE(sentBytes(fields, fitted), MAX_ANSWER_BYTES);
    EXPECT_TRUE(fitted.fits);
    ASSERT_GE(fitted.valueLimit, MIN_CUT_VALUE_BYTES);
    ASSERT_LT(fitted.valueLimit, 64u);
    const std::vector<Pbu> pbus = pbusOf(fitted.pbuPackage);
    ASSERT_EQ(pbus.size(), 60u);
    EXPECT_EQ(pbus[59].getOperatorNumber(), "A0000000060");
    EXPECT_EQ(pbus[0].getWork(), std::string(fitted.valueLimit, 'w'));
    EXPECT_EQ(pbus[0].getPbuStatus(), "3");
    EXPECT_EQ(pbus[0].getPbuBidNumber(), "12345678901234567890");
    // One byte more for the PBUs' values would not have fitted.
    std::vector<Pbu> longer = fields.pbus;
    for (Pbu &p : longer)
        setValues(p, std::string(fitted.valueLimit + 1, 'w'));
    EXPECT_GT(statusAnswerBytes(fields, fitted.oesPackage, packageOf(longer)), MAX_ANSWER_BYTES);
    EXPECT_EQ(fitted.note(),
              "values longer than " + std::to_string(fitted.valueLimit) + " bytes cut");
}

TEST(StatusAnswerFit, TooManyPbusAreLeftOutFromTheEnd)
{
    const StatusAnswerFields fields = answerWith(2000, "x");
    const FittedStatusAnswer fitted = fitStatusAnswer(fields);
    EXPECT_LE(sentBytes(fields, fitted), MAX_ANSWER_BYTES);
    const std::vector<Pbu> pbus = pbusOf(fitted.pbuPackage);
    ASSERT_EQ(pbus.size(), fitted.pbusSent);
    ASSERT_GT(pbus.size(), 50u);
    ASSERT_LT(pbus.size(), 2000u);
    EXPECT_EQ(pbus.front().getOperatorNumber(), "A0000000001");
    EXPECT_EQ(pbus.back().getWork(), "x");
    // One PBU more would not have fitted.
    const std::vector<Pbu> more(fields.pbus.begin(), fields.pbus.begin() + fitted.pbusSent + 1);
    EXPECT_GT(statusAnswerBytes(fields, fitted.oesPackage, packageOf(more)), MAX_ANSWER_BYTES);
    EXPECT_EQ(fitted.note(), "only " + std::to_string(fitted.pbusSent) + " of 2000 PBUs sent");
}

TEST(StatusAnswerFit, HostFieldsTooLongForAnyAnswerAreSaidToStillNotFit)
{
    StatusAnswerFields fields = answerWith(3, "x");
    fields.hostTime = std::string(MAX_ANSWER_BYTES, 't');
    const FittedStatusAnswer fitted = fitStatusAnswer(fields);
    EXPECT_FALSE(fitted.fits);
    EXPECT_EQ(fitted.pbusSent, 0u);
    EXPECT_EQ(fitted.note(), "only 0 of 3 PBUs sent, still too long");
}

} // namespace
} // namespace tarvo
