// The OES and PBU item readers, which read plainly written fields in place, against reading
// every field through Field, on mutated packages: values, positions and error texts agree.
#include "PackageBuilders.h"

#include "host/Host.h"

#include "protocol/Field.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

const char *const OES_FIELDS[] = {"oesExist", "oesName", "oesType",
                                  "oesStatus", "oesVersion", "warningLevel"};
const char *const PBU_FIELDS[] = {"oesName", "operatorNumber", "oesType", "pbuStatus",
                                  "pbuBidNumber", "pbuResponseNumber", "pbuTradeNumber",
                                  "MaxOrderNumber", "csIP", "hostExtIP", "capability", "work",
                                  "warningLevel"};

std::vector<std::string> valuesOf(const Oes &o)
{
    return {o.getOesExist(), o.getOesName(), o.getOesType(), o.getOesStatus(), o.getOesVersion(),
            o.getWarningLevel()};
}

std::vector<std::string> valuesOf(const Pbu &p)
{
    return {p.getOesName(), p.getOperatorNumber(), p.getOesType(), p.getPbuStatus(),
            p.getPbuBidNumber(), p.getPbuResponseNumber(), p.getPbuTradeNumber(),
            p.getMaxOrderNumber(), p.getCsIP(), p.getHostExtIP(), p.getCapability(), p.getWork(),
            p.getWarningLevel()};
}

// Items read one after another until the text ends or an item fails: every item's values
// (also those of the failing one), the positions and the error text.
template <typename Record, typename ReadItem>
std::string readAll(std::string_view text, ReadItem readItem)
{
    std::string out;
    size_t position = 1;
    Record record;
    try {
        while (position <= text.size()) {
            readItem(record, text, position);
            out += '@';
            out += std::to_string(position);
            for (const std::string &v : valuesOf(record))
                out += "|" + v;
        }
    } catch (const std::exception &e) {
        out += std::string(" error:") + e.what();
        for (const std::string &v : valuesOf(record))
            out += "|" + v;
    }
    return out;
}

// Every field through one Field, as the records were first read.
template <typename Record, size_t N>
void referenceItem(Record &record, std::string_view text, size_t &position,
                   const char *const (&names)[N])
{
    std::vector<std::string> values = valuesOf(record);
    Field f;
    for (size_t i = 0; i < N; ++i) {
        try {
            f.parseExpected(names[i], text, position);
        } catch (...) {
            record = Record();
            throw;
        }
        values[i] = f.getValue();
    }
    if constexpr (N == 6) {
        record.setOesExist(values[0]);
        record.setOesName(values[1]);
        record.setOesType(values[2]);
        record.setOesStatus(values[3]);
        record.setOesVersion(values[4]);
        record.setWarningLevel(values[5]);
    } else {
        record = Pbu(values[1], values[2], values[3], values[4], values[5], values[6], values[7],
                     values[8], values[9], values[10], values[11], values[12]);
        record.setOesName(values[0]);
    }
}

std::string mutate(std::string text, std::mt19937 &random)
{
    static const char BYTES[] = {'\x01', '=', '0', '3', '6', '7', '8', '9', 'x'};
    for (unsigned k = random() % 3; k > 0 && !text.empty(); --k) {
        const size_t at = random() % text.size();
        const char byte = BYTES[random() % sizeof BYTES];
        switch (random() % 4) {
        case 0: text.insert(text.begin() + long(at), byte); break;
        case 1: text.erase(at, 1); break;
        case 2: text.resize(at); break;
        default: text[at] = byte;
        }
    }
    return text;
}

// Values before a failure are compared only up to the failing item: the reference starts the
// failing record afresh, so the error text and the items before it must agree.
std::string upToError(const std::string &outcome)
{
    const size_t error = outcome.find(" error:");
    if (error == std::string::npos)
        return outcome;
    const size_t end = outcome.find('|', error);
    return outcome.substr(0, end);
}

TEST(RecordsAgreement, ItemReadersAgreeWithTheFieldByFieldReaderOnMutatedPackages)
{
    std::mt19937 random(1209);
    int failures = 0;
    for (int i = 0; i < 4000; ++i) {
        const std::string oesText =
            mutate(package({oes("Y", OES_NAME_A, "运行"), oes("N", OES_NAME_B, "停止")}), random);
        const std::string expectedOes = readAll<Oes>(oesText, [](Oes &o, auto t, size_t &p) {
            referenceItem(o, t, p, OES_FIELDS);
        });
        ASSERT_EQ(upToError(readAll<Oes>(oesText, [](Oes &o, auto t, size_t &p) {
                      o.readItem(t, p);
                  })),
                  upToError(expectedOes))
            << oesText;

        const std::string pbuText = mutate(
            package({pbu(OES_NAME_A, "A0000000001"), pbu(OES_NAME_B, "B0000000001", "1")}), random);
        const std::string expectedPbu = readAll<Pbu>(pbuText, [](Pbu &p, auto t, size_t &at) {
            referenceItem(p, t, at, PBU_FIELDS);
        });
        ASSERT_EQ(upToError(readAll<Pbu>(pbuText, [](Pbu &p, auto t, size_t &at) {
                      p.readItem(t, at);
                  })),
                  upToError(expectedPbu))
            << pbuText;
        failures += expectedPbu.find(" error:") != std::string::npos;
    }
    EXPECT_GT(failures, 1000);
}

// A host that holds its two programs reads a plainly written OES package straight into them:
// on mutated packages the programs, the exist flags and the error text are those of reading
// both items first and copying them after.
TEST(RecordsAgreement, OesPackageReadInPlaceAgreesWithReadingBothItemsFirst)
{
    const Oes before[] = {oes("N", OES_NAME_B, "停止", "V1"), oes("Y", OES_NAME_A, "运行")};
    const auto outcome = [](const Host &host, const std::string &error) {
        std::string out = error + "|" + host.getOesAExist() + "|" + host.getOesBExist();
        for (const auto &o : host.getOesList())
            for (const std::string &v : valuesOf(*o))
                out += "|" + v;
        return out;
    };
    std::mt19937 random(2612);
    int inPlace = 0;
    for (int i = 0; i < 4000; ++i) {
        const std::string text = mutate(
            package({oes("Y", OES_NAME_A, "运行", "V2.3.1"), oes("N", OES_NAME_B, "不存在", "")}),
            random);
        Host host;
        host.updateOes(package({before[0], before[1]}));
        std::string error;
        try {
            host.updateOes(text);
        } catch (const std::exception &e) {
            error = e.what();
        }

        Host reference;
        reference.updateOes(package({before[0], before[1]}));
        std::string expectedError;
        try {
            Oes a, b;
            size_t position = 1;
            if (position > text.size())
                throw std::runtime_error("OES package holds no record, two expected");
            a.readItem(text, position);
            if (position > text.size())
                throw std::runtime_error("OES package holds one record, two expected");
            b.readItem(text, position);
            reference.getOesList()[0]->assign(a);
            reference.getOesList()[1]->assign(b);
            reference.setOesAExist(a.getOesExist());
            reference.setOesBExist(b.getOesExist());
        } catch (const std::exception &e) {
            expectedError = e.what();
        }
        ASSERT_EQ(outcome(host, error), outcome(reference, expectedError)) << text;

        Oes a = before[0], b = before[1];
        if (Oes::readPlainPair(text, a, b))
            ++inPlace;
        else
            EXPECT_EQ(valuesOf(a), valuesOf(before[0])) << text;
    }
    // Both roads are taken often.
    EXPECT_GT(inPlace, 500);
    EXPECT_LT(inPlace, 3500);
}

// The host keeps its programs when the second item is unreadable, also after a good package.
TEST(RecordsAgreement, UnreadableOesPackageLeavesTheProgramsAsTheyWere)
{
    Host host;
    host.updateOes(package({oes("Y", OES_NAME_A, "运行"), oes("N", OES_NAME_B, "停止")}));
    const std::string broken =
        package({oes("N", OES_NAME_A, "停止")}) + "85=Y\x01" "89=" + OES_NAME_B + "\x01" "99=x\x01";
    EXPECT_THROW(host.updateOes(broken), std::runtime_error);
    EXPECT_EQ(valuesOf(*host.getOesList()[0]), valuesOf(oes("Y", OES_NAME_A, "运行")));
    EXPECT_EQ(valuesOf(*host.getOesList()[1]), valuesOf(oes("N", OES_NAME_B, "停止")));
    host.updateOes(package({oes("N", OES_NAME_A, "停止"), oes("Y", OES_NAME_B, "运行", "V9")}));
    EXPECT_EQ(valuesOf(*host.getOesList()[1]), valuesOf(oes("Y", OES_NAME_B, "运行", "V9")));
    EXPECT_EQ(host.getOesAExist(), "N");
}

} // namespace
