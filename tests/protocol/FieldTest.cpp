// Field text form, the field reader and the dictionary of field types.
#include "WireText.h"

#include "protocol/Field.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace tarvo;
using tarvo::test::wire;

namespace {

struct ParseCase
{
    const char *text;
    const char *typeId;
    const char *typeName;
    const char *value;
};

class FieldParse : public testing::TestWithParam<ParseCase>
{
};

TEST_P(FieldParse, ReadsIdNameAndValue)
{
    Field f;
    f.parse(GetParam().text);
    EXPECT_EQ(f.getTypeId(), GetParam().typeId);
    EXPECT_EQ(f.getTypeName(), GetParam().typeName);
    EXPECT_EQ(f.getValue(), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FieldParse,
    testing::Values(ParseCase{"58=正常运行", "58", "hostStatus", "正常运行"},
                    ParseCase{"58=", "58", "hostStatus", ""},
                    ParseCase{"58=a=b", "58", "hostStatus", "a=b"},
                    ParseCase{"=x", "", "", "x"},
                    ParseCase{"92=2009-10-23 14:35:07 ", "92", "HostTime", "2009-10-23 14:35:07 "},
                    ParseCase{"99=247", "99", "checkSum", "247"}));

enum class Family { Logic, Runtime };

struct FailCase
{
    const char *text;
    const char *previousName; // the type name the field held before (empty: a fresh field)
    Family family;
    const char *message;
};

class FieldParseFailure : public testing::TestWithParam<FailCase>
{
};

TEST_P(FieldParseFailure, ThrowsTheDocumentedText)
{
    const FailCase &c = GetParam();
    Field f;
    if (*c.previousName)
        f = Field(c.previousName, "v");
    try {
        f.parse(c.text);
        FAIL() << "no exception for '" << c.text << "'";
    } catch (const std::runtime_error &e) {
        EXPECT_EQ(c.family, Family::Runtime) << e.what();
        EXPECT_STREQ(e.what(), c.message);
    } catch (const std::logic_error &e) {
        EXPECT_EQ(c.family, Family::Logic) << e.what();
        EXPECT_STREQ(e.what(), c.message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FieldParseFailure,
    testing::Values(
        FailCase{"", "", Family::Logic, "Field not complete(1), typeName="},
        FailCase{"", "cpuUsage", Family::Logic, "Field not complete(1), typeName=cpuUsage"},
        FailCase{"58", "", Family::Logic, "Field not complete(2), typeName="},
        FailCase{"58", "envNo", Family::Logic, "Field not complete(2), typeName=envNo"},
        FailCase{"5x=1", "", Family::Runtime, "Field Parse Error str=5x=1"},
        FailCase{"abc", "", Family::Runtime, "Field Parse Error str=abc"},
        FailCase{"98=1", "", Family::Runtime, "Wrong type ID:98"},
        FailCase{"058=1", "", Family::Runtime, "Wrong type ID:058"}));

TEST(Field, ConstructionByUnknownOrMiscasedNameThrows)
{
    try {
        Field f("HostStatus", "x");
        FAIL();
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "Wrong type name:HostStatus");
    }
    EXPECT_THROW(Field("hosttime", "x"), std::runtime_error);
    EXPECT_NO_THROW(Field("HostTime", "x"));
}

TEST(Field, TextFormIsIdEqualsValueWithoutSeparator)
{
    EXPECT_EQ(Field("cpuUsage", "37").toString(), "60=37");
    EXPECT_EQ(Field("hostStatus", "").toString(), "58=");
    EXPECT_EQ(Field().toString(), "=");
    EXPECT_TRUE(Field().isEmpty());
    EXPECT_FALSE(Field("envNo", "").isEmpty());
}

TEST(Field, ParseNextWalksFieldsAndMovesPastSeparators)
{
    const std::string text = wire("60=37^A61=^A62=9");
    Field f;
    size_t position = 1;
    f.parseNext(text, position);
    EXPECT_EQ(f.getValue(), "37");
    EXPECT_EQ(position, 7u);
    f.parseNext(text, position);
    EXPECT_EQ(f.getTypeName(), "memoryUsage");
    EXPECT_EQ(f.getValue(), "");
    EXPECT_EQ(position, 11u);
    // The last field has no separator: it runs to the end.
    f.parseNext(text, position);
    EXPECT_EQ(f.getValue(), "9");
    EXPECT_EQ(position, text.size() + 1);
    // Past the end the text is empty; the message names the field read last.
    try {
        f.parseNext(text, position);
        FAIL();
    } catch (const std::logic_error &e) {
        EXPECT_STREQ(e.what(), "Field not complete(1), typeName=diskUsage");
    }
}

TEST(Field, ParseNextOnTwoAdjacentSeparatorsReadsAnEmptyField)
{
    const std::string text = wire("60=1^A^A");
    Field f;
    size_t position = 1;
    f.parseNext(text, position);
    EXPECT_THROW(f.parseNext(text, position), std::logic_error);
    EXPECT_EQ(position, 7u);
}

TEST(Field, ParseExpectedNamesBothTypes)
{
    const std::string text = wire("01=C^A");
    Field f;
    size_t position = 1;
    try {
        f.parseExpected("version", text, position);
        FAIL();
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "version field not exists orientation instead");
    }
    position = 1;
    EXPECT_NO_THROW(f.parseExpected("orientation", text, position));
    EXPECT_EQ(f.getValue(), "C");
}

TEST(FieldMapping, HoldsThe39TypesAndTheEmptyPairBothWays)
{
    const FieldMapping &map = FieldMapping::instance();
    EXPECT_EQ(&map, &FieldMapping::instance());
    EXPECT_EQ(map.byName().size(), 40u);
    for (const auto &[name, id] : map.byName()) {
        EXPECT_EQ(map.typeNameOf(id), name);
        EXPECT_TRUE(id.empty() || (id.size() == 2 && isdigit(id[0]) && isdigit(id[1]))) << id;
    }
    EXPECT_EQ(map.typeIdOf(""), "");
    EXPECT_EQ(map.typeIdOf("MaxOrderNumber"), "90");
    EXPECT_EQ(map.typeIdOf("ShootingType"), "91");
    EXPECT_EQ(map.typeIdOf("HostTime"), "92");
    EXPECT_EQ(map.typeIdOf("oesPackageLength"), "69");
    EXPECT_EQ(map.typeIdOf("pbuPackage"), "72");
    EXPECT_EQ(map.typeNameOf("83"), "pbuStatus");
    EXPECT_EQ(map.typeNameOf("57"), "hostExtIP");
    EXPECT_THROW(map.typeIdOf("maxOrderNumber"), std::runtime_error);
    EXPECT_THROW(map.typeNameOf("7"), std::runtime_error);
}

} // namespace
