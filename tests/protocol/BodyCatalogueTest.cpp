// The six message bodies: patterns, necessary fields and what travels in a status response.
#include "WireText.h"

#include "protocol/MessageBodyFactory.h"
#include "protocol/PackageField.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace tarvo;
using tarvo::test::wire;

namespace {

TEST(StatusResponse, PatternIsWrittenWithItsEightSpaces)
{
    EXPECT_EQ(StatusResponseMessageBody().getPattern(),
              "<!hostStatus><!HostTime><!cpuUsage><!memoryUsage>        "
              "<!diskUsage><!envNo><!oesPackage><!pbuPackage>");
    EXPECT_EQ(TroubleShootingRequestMessageBody().getPattern(), "<!serviceType><!ShootingType>");
    EXPECT_EQ(TroubleShootingResponseMessageBody().getPattern(),
              "<!serviceType><!ShootingType><!result>");
    EXPECT_EQ(LogMessageBody().getPattern(), "<!sysLog>");
    EXPECT_EQ(StatusRequestMessageBody().getPattern(), "");
    EXPECT_EQ(BeatMessageBody().getPattern(), "");
}

TEST(StatusResponse, GoldenBodyBytes)
{
    const std::string oes = test::oesRecord("Y", "A股报盘程序", "运行");
    StatusResponseMessageBody body("正常运行", "2009-10-23 14:35:07 ", "37", "52", "90", "00", oes,
                                   "");
    // "A股报盘程序" is 11 GBK bytes and "运行" 4, so the OES record is 47 bytes and its
    // package item "70=" + record 50.
    ASSERT_EQ(oes.size(), 47u);
    EXPECT_EQ(body.toString(),
              wire("58=正常运行^A92=2009-10-23 14:35:07 ^A60=37^A61=52^A62=90^A38=00^A"
                   "69=50^A70=85=Y^A89=A股报盘程序^A63=T1^A64=运行^A52=V2.3^A77=0^A^A"
                   "71=3^A72=^A"));
    EXPECT_EQ(std::string("正常运行"), "\xd5\xfd\xb3\xa3\xd4\xcb\xd0\xd0");
}

TEST(StatusResponse, EmptyPbuListTravelsAsAThreeBytePackageItem)
{
    StatusResponseMessageBody body("s", "t", "1", "2", "3", "00", "", "");
    const std::string text = body.toString();
    EXPECT_NE(text.find(wire("71=3^A72=^A")), std::string::npos);
    EXPECT_NE(text.find(wire("69=3^A70=^A")), std::string::npos);
    StatusResponseMessageBody received;
    received.parse(text);
    EXPECT_EQ(received.getPbuPackage(), "");
    EXPECT_FALSE(received.getField("pbuPackage").isEmpty());
}

TEST(StatusResponse, TwoChineseOesRecordsAndManyPbusSurviveAMessage)
{
    const std::string oes = test::oesRecord("Y", "A股报盘程序", "运行")
                            + test::oesRecord("Y", "B股报盘程序", "停止");
    std::string pbus;
    for (int i = 0; i < 50; ++i)
        pbus += test::pbuRecord(i % 2 ? "A股报盘程序" : "B股报盘程序", "OP" + std::to_string(i));
    Message sent(PROTOCOL_VERSION, "S", "9",
                 std::make_unique<StatusResponseMessageBody>("正常运行", "2009-10-23 14:35:07 ",
                                                             "37", "52", "90", "01", oes, pbus));
    Message received;
    ASSERT_GT(received.decode(sent.encode()), 0);
    auto *body = dynamic_cast<StatusResponseMessageBody *>(received.getBody());
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->getHostStatus(), "正常运行");
    EXPECT_EQ(body->getHostTime(), "2009-10-23 14:35:07 ");
    EXPECT_EQ(body->getCpuUsage(), "37");
    EXPECT_EQ(body->getMemoryUsage(), "52");
    EXPECT_EQ(body->getDiskUsage(), "90");
    EXPECT_EQ(body->getEnvNo(), "01");
    EXPECT_EQ(body->getOesPackage(), oes);
    EXPECT_EQ(body->getPbuPackage(), pbus);
}

class StatusResponseMissing : public testing::TestWithParam<std::string>
{
};

TEST_P(StatusResponseMissing, NamesTheMissingField)
{
    StatusResponseMessageBody body;
    for (const char *name : {"hostStatus", "HostTime", "cpuUsage", "memoryUsage", "diskUsage",
                             "envNo"})
        if (name != GetParam())
            body.addField(name, "1");
    for (const char *name : {"oesPackage", "pbuPackage"})
        if (name != GetParam())
            body.addField(std::make_unique<PackageField>(name, ""));
    try {
        body.toString();
        FAIL() << "encoded without " << GetParam();
    } catch (const std::logic_error &e) {
        EXPECT_EQ(e.what(), "Neccessary Field '" + GetParam() + "' not exists in class");
    }
}

INSTANTIATE_TEST_SUITE_P(Fields, StatusResponseMissing,
                         testing::Values("hostStatus", "HostTime", "cpuUsage", "memoryUsage",
                                         "diskUsage", "envNo", "oesPackage", "pbuPackage"));

TEST(MessageTypes, RequestsAndHeartbeatHaveNoBody)
{
    EXPECT_EQ(Message(PROTOCOL_VERSION, "C", "3", std::make_unique<StatusRequestMessageBody>())
                  .getBodyLength(),
              "0");
    Message beat(PROTOCOL_VERSION, "S", "-1", std::make_unique<BeatMessageBody>());
    EXPECT_EQ(beat.getBodyLength(), "0");
    EXPECT_EQ(beat.getMessageType(), "12");
}

TEST(MessageTypes, MessageRefusesABodyWithoutItsNecessaryFields)
{
    EXPECT_THROW(Message(PROTOCOL_VERSION, "C", "1", std::make_unique<LogMessageBody>()),
                 std::logic_error);
}

TEST(MessageTypes, TroubleShootingRequestAndResponse)
{
    TroubleShootingRequestMessageBody request("TroubleShooting", "CheckCS");
    EXPECT_EQ(request.toString(), wire("36=TroubleShooting^A91=CheckCS^A"));

    MessageBodyFactory factory;
    auto response = factory.createMessageBody(
        "20", wire("36=TroubleShooting^A91=CheckCS^A51=NoCon^A"));
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->getResult(), "NoCon");
    EXPECT_EQ(response->getMessageType(), "20");
}

TEST(MessageTypes, LogRecordsKeepTheirEndMarks)
{
    const std::string records = "一\x02two\x02";
    Message sent(PROTOCOL_VERSION, "S", "0", std::make_unique<LogMessageBody>(records));
    Message received;
    ASSERT_GT(received.decode(sent.encode()), 0);
    EXPECT_EQ(dynamic_cast<LogMessageBody &>(*received.getBody()).getSysLog(), records);
}

} // namespace
