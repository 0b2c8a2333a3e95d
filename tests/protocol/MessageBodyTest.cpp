// Pattern-driven body writing, field-by-field body reading, package fields and the factory.
#include "WireText.h"

#include "protocol/MessageBodyFactory.h"
#include "protocol/PackageField.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace tarvo;
using tarvo::test::wire;

namespace {

// A body whose pattern the test chooses.
class PatternBody : public MessageBody
{
public:
    explicit PatternBody(std::string pattern) : m_pattern(std::move(pattern)) {}
    std::string getMessageType() const override { return "77"; }
    std::string getPattern() const override { return m_pattern; }

private:
    std::string m_pattern;
};

std::string logicErrorOf(const MessageBody &body)
{
    try {
        body.toString();
    } catch (const std::logic_error &e) {
        return e.what();
    }
    return "(no logic error)";
}

TEST(MessageBody, EmptyPatternWritesTheEmptyTextWhateverFieldsItHolds)
{
    PatternBody body("");
    body.addField("cpuUsage", "37");
    EXPECT_EQ(body.toString(), "");
}

class InvalidPattern : public testing::TestWithParam<std::string>
{
};

TEST_P(InvalidPattern, ThrowsNamingPatternAndType)
{
    PatternBody body(GetParam());
    body.addField("sysLog", "x");
    EXPECT_EQ(logicErrorOf(body), "Invalid pattern: '" + GetParam() + "', type ="
                                      + std::string(34, ' ') + "77");
}

INSTANTIATE_TEST_SUITE_P(Patterns, InvalidPattern,
                         testing::Values("<>", "<!sysLog><>", ">", "x><!sysLog>",
                                         "<!sysLog>>"));

TEST(MessageBody, CharactersOutsideItemsAreIgnoredAndOptionalItemsSkipped)
{
    PatternBody body("  <!sysLog> junk <?cpuUsage><!envNo>");
    body.addField("envNo", "00");
    body.addField("sysLog", "s");
    EXPECT_EQ(body.toString(), wire("82=s^A38=00^A"));
    body.addField("cpuUsage", "5");
    EXPECT_EQ(body.toString(), wire("82=s^A60=5^A38=00^A"));
}

TEST(MessageBody, MissingNecessaryFieldIsNamed)
{
    TroubleShootingRequestMessageBody body;
    body.addField("serviceType", "TroubleShooting");
    EXPECT_EQ(logicErrorOf(body), "Neccessary Field 'ShootingType' not exists in class");
}

TEST(MessageBody, FirstStoredFieldOfANameWins)
{
    LogMessageBody body("first");
    body.addField("sysLog", "second");
    EXPECT_EQ(body.getSysLog(), "first");

    LogMessageBody received;
    received.parse(wire("82=one^A82=two^A"));
    EXPECT_EQ(received.getSysLog(), "one");
}

TEST(MessageBody, AbsentFieldReadsAsTheEmptyField)
{
    LogMessageBody body;
    EXPECT_TRUE(body.getField("sysLog").isEmpty());
    EXPECT_EQ(body.getFieldValue("sysLog"), "");
    EXPECT_EQ(body.getResult(), "");
}

TEST(MessageBody, FieldsMayArriveInAnyOrderButAreWrittenInPatternOrder)
{
    TroubleShootingResponseMessageBody body;
    body.parse(wire("51=OK^A91=CheckCfgFile^A36=TroubleShooting^A"));
    EXPECT_EQ(body.getResult(), "OK");
    EXPECT_EQ(body.getShootingType(), "CheckCfgFile");
    EXPECT_EQ(body.toString(), wire("36=TroubleShooting^A91=CheckCfgFile^A51=OK^A"));
}

TEST(MessageBody, ReadErrorsPropagateAndKeepWhatWasRead)
{
    TroubleShootingResponseMessageBody body;
    try {
        body.parse(wire("36=T^A98=x^A51=OK^A"));
        FAIL();
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "Wrong type ID:98");
    }
    EXPECT_EQ(body.getServiceType(), "T");
    EXPECT_EQ(body.getResult(), "");
}

TEST(MessageBody, NonIntegerPackageLengthFailsWithTheConversionError)
{
    StatusResponseMessageBody body;
    try {
        body.parse(wire("69=1x^A70=^A"));
        FAIL();
    } catch (const std::invalid_argument &e) {
        EXPECT_STREQ(e.what(), "'1x' is not a valid integer value");
    }
}

TEST(MessageBody, AbstractAndNonExecutableBodiesSayWhy)
{
    class Bare : public MessageBody
    {
    };
    Bare bare;
    EXPECT_EQ(bare.getMessageType(), "");
    EXPECT_EQ(logicErrorOf(bare), "this is an abstract class message body");
    try {
        StatusResponseMessageBody().execute();
        FAIL();
    } catch (const std::logic_error &e) {
        EXPECT_STREQ(e.what(), "class is not executable");
    }
    EXPECT_THROW(TroubleShootingResponseMessageBody().execute(), std::logic_error);
    EXPECT_EQ(BeatMessageBody().execute(), nullptr);
    EXPECT_EQ(LogMessageBody().execute(), nullptr);
}

// ---- package fields

TEST(PackageField, TravelsAsLengthFieldThenPackageItem)
{
    PackageField oes("oesPackage", wire("85=1^A89=A^A"));
    EXPECT_EQ(oes.getLengthTypeName(), "oesPackageLength");
    EXPECT_EQ(oes.toString(), wire("69=13^A70=85=1^A89=A^A"));
    EXPECT_EQ(PackageField("pbuPackage", "").toString(), wire("71=3^A72="));
}

TEST(PackageField, OnlyThePackageNamesAreAllowed)
{
    try {
        PackageField f("hostStatus", "x");
        FAIL();
    } catch (const std::logic_error &e) {
        EXPECT_STREQ(e.what(), "hostStatusis not a type name");
    }
    EXPECT_NO_THROW(PackageField("", ""));
}

TEST(PackageField, LengthFieldFollowedByAnotherFieldIsRefused)
{
    MessageBodyFactory factory;
    try {
        factory.createMessageBody("03", wire("69=5^A58=ab^A"));
        FAIL() << "a package length followed by hostStatus was accepted";
    } catch (const std::logic_error &e) {
        EXPECT_STREQ(e.what(), "hostStatusis not a type name");
    }
}

class PackageLengthMismatch : public testing::TestWithParam<std::string>
{
};

TEST_P(PackageLengthMismatch, ThrowsLengthError)
{
    PackageField f;
    try {
        f.parse(wire(GetParam()));
        FAIL();
    } catch (const std::length_error &e) {
        EXPECT_STREQ(e.what(), "Package length not match!");
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, PackageLengthMismatch,
                         testing::Values("69=4^A70=", "69=2^A70=", "69=013^A70=85=1^A89=A^A",
                                         "69=+3^A70=", "69=3"));

TEST(PackageField, ContentWithSeparatorsSurvivesABody)
{
    const std::string oes = wire("85=1^A89=A^A");
    StatusResponseMessageBody sent("s", "t", "1", "2", "3", "00", oes, "");
    const std::string text = sent.toString();
    EXPECT_NE(text.find(wire("69=13^A70=85=1^A89=A^A^A71=3^A72=^A")), std::string::npos);

    StatusResponseMessageBody received;
    received.parse(text);
    EXPECT_EQ(received.getOesPackage(), oes);
    EXPECT_EQ(received.getPbuPackage(), "");
    const auto &pkg = dynamic_cast<const PackageField &>(received.getField("oesPackage"));
    EXPECT_EQ(pkg.getLengthTypeName(), "oesPackageLength");
    EXPECT_EQ(received.toString(), text);
}

TEST(PackageField, LengthBeyondTheBodyThrows)
{
    StatusResponseMessageBody body;
    EXPECT_THROW(body.parse(wire("69=15^A70=85=1^A89=A^A^A")), std::length_error);
    EXPECT_THROW(body.parse(wire("69=2000000000^A70=")), std::length_error);
    EXPECT_THROW(body.parse(wire("69=-3^A70=")), std::length_error);
}

TEST(PackageField, ByteAfterThePackageItemIsSkippedWhateverItIs)
{
    StatusResponseMessageBody body;
    body.parse(wire("69=5^A70=abX58=ok^A"));
    EXPECT_EQ(body.getOesPackage(), "ab");
    EXPECT_EQ(body.getHostStatus(), "ok");
}

// ---- factory

struct FactoryCase
{
    const char *code;
    const char *expectedType; // empty: no body
};

class Factory : public testing::TestWithParam<FactoryCase>
{
};

TEST_P(Factory, SelectsTheClassByLeadingDigits)
{
    MessageBodyFactory factory;
    std::unique_ptr<MessageBody> body = factory.createMessageBody(GetParam().code, "");
    if (!*GetParam().expectedType) {
        EXPECT_EQ(body, nullptr);
        return;
    }
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->getMessageType(), GetParam().expectedType);
    EXPECT_TRUE(body->fields().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Codes, Factory,
    testing::Values(FactoryCase{"02", "02"}, FactoryCase{"2", "02"}, FactoryCase{"03", "03"},
                    FactoryCase{"12", "12"}, FactoryCase{"13", "13"}, FactoryCase{"19", "19"},
                    FactoryCase{"20", "20"}, FactoryCase{"020", "20"}, FactoryCase{"12x", "12"},
                    FactoryCase{"07", ""}, FactoryCase{"", ""}, FactoryCase{"x2", ""},
                    FactoryCase{"99999999999999999999", ""}, FactoryCase{"-2", ""}));

TEST(Factory, UnknownCodeIgnoresEvenAnUnreadableBody)
{
    MessageBodyFactory factory;
    EXPECT_EQ(factory.createMessageBody("07", "garbage without fields"), nullptr);
}

TEST(Factory, FillsTheBodyAndPropagatesItsErrors)
{
    MessageBodyFactory factory;
    auto body = factory.createMessageBody("19", wire("36=TroubleShooting^A91=CheckCS^A"));
    auto *request = dynamic_cast<TroubleShootingRequestMessageBody *>(body.get());
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->getShootingType(), "CheckCS");
    EXPECT_EQ(request->getServiceType(), "TroubleShooting");
    EXPECT_THROW(factory.createMessageBody("13", wire("82x^A")), std::runtime_error);
}

} // namespace
