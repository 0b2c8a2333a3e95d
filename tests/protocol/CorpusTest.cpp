// Replays stored byte streams through the decoder as a connection would: it may fail only
// with its result codes or its documented exceptions, never crash or throw anything else.
#include "protocol/Message.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

using namespace tarvo;

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The texts the decoder throws with, or begins them with. The conversion error quotes the
// text it could not read, and a NUL byte in that text ends what() early.
bool documented(const std::string &what)
{
    static const char *const prefixes[] = {
        "Check sum error",         "Wrong type ID:",           "Field Parse Error str=",
        "Field not complete(1), ", "Field not complete(2), ", "Package length not match!",
        "Invalid body length:",    "'"};
    for (const char *prefix : prefixes)
        if (what.rfind(prefix, 0) == 0)
            return true;
    return false;
}

struct Outcome
{
    size_t consumed = 0;
    int messages = 0;
    std::string stop; // why decoding stopped before the end; empty when all was consumed
};

// Decodes messages from the front until the stream is used up or decoding stops.
Outcome replay(const std::string &bytes)
{
    Outcome o;
    std::string_view rest(bytes);
    while (!rest.empty()) {
        Message m;
        int result = 0;
        try {
            result = m.decode(rest);
        } catch (const std::logic_error &e) {
            o.stop = documented(e.what()) ? "logic error" : "undocumented: " + std::string(e.what());
            return o;
        } catch (const std::runtime_error &e) {
            o.stop = documented(e.what()) ? "runtime error" : "undocumented: " + std::string(e.what());
            return o;
        }
        if (result < 0) {
            o.stop = result >= Message::DECODE_BAD_TRAILER ? "result" : "undocumented result";
            return o;
        }
        const size_t length = size_t(result) + m.checkSumFieldLength() - 1;
        if (length > rest.size() || result < 1) {
            o.stop = "undocumented: consumed beyond the buffer";
            return o;
        }
        rest.remove_prefix(length);
        o.consumed += length;
        ++o.messages;
    }
    return o;
}

std::vector<std::string> corpusFiles()
{
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(TARVO_CORPUS_DIR))
        if (entry.is_regular_file())
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class Corpus : public testing::TestWithParam<std::string>
{
};

TEST_P(Corpus, DecodesOrStopsTheDocumentedWay)
{
    const std::string bytes = readFile(fs::path(TARVO_CORPUS_DIR) / GetParam());
    const Outcome o = replay(bytes);
    EXPECT_EQ(o.stop.find("undocumented"), std::string::npos) << o.stop;
    // Files named ok_* are valid streams: every byte belongs to a decoded message.
    if (GetParam().starts_with("ok_")) {
        EXPECT_EQ(o.stop, "");
        EXPECT_EQ(o.consumed, bytes.size());
        EXPECT_GE(o.messages, 1);
    }
    // Every prefix of the stream behaves as well (a connection sees them all).
    for (size_t n = 0; n < bytes.size() && n < 4096; ++n) {
        const Outcome p = replay(bytes.substr(0, n));
        ASSERT_EQ(p.stop.find("undocumented"), std::string::npos) << n << ": " << p.stop;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, Corpus, testing::ValuesIn(corpusFiles()),
                         [](const auto &info) {
                             std::string name = info.param;
                             for (char &c : name)
                                 if (!isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

TEST(CorpusFiles, AreThere)
{
    const auto names = corpusFiles();
    EXPECT_GE(names.size(), 10u);
    EXPECT_NE(std::find(names.begin(), names.end(), "ok_status_response.bin"), names.end());
}

} // namespace
