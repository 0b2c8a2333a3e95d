// Runs the built tarvo-wire on golden input: decode, encode, round trips, errors, help.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

struct ToolRun
{
    int status = -1;
    std::string out;
    std::string err;
};

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const fs::path &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// Runs the tool with `args`, `input` on stdin.
ToolRun wire(const std::string &args, const std::string &input)
{
    static std::atomic<int> counter{0};
    const fs::path dir = fs::path(testing::TempDir())
                         / ("wire_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
    fs::create_directories(dir);
    writeFile(dir / "in", input);
    const std::string command = std::string("'") + TARVO_WIRE_EXE + "' " + args + " <'"
                                + (dir / "in").string() + "' >'" + (dir / "out").string()
                                + "' 2>'" + (dir / "err").string() + "'";
    ToolRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = readFile(dir / "out");
    run.err = readFile(dir / "err");
    fs::remove_all(dir);
    return run;
}

std::string corpus(const std::string &name)
{
    return readFile(fs::path(TARVO_CORPUS_DIR) / name);
}

// "^A" stands for the separator byte.
std::string bytes(std::string notation)
{
    for (size_t at; (at = notation.find("^A")) != std::string::npos;)
        notation.replace(at, 2, "\x01");
    return notation;
}

// ---- golden streams: protocol bytes made independently of the tool, JSON reviewed by hand

class Golden : public testing::TestWithParam<std::string>
{
};

TEST_P(Golden, DecodesToTheGoldenLines)
{
    const ToolRun run = wire("decode", corpus(GetParam() + ".bin"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, readFile(fs::path(TARVO_GOLDEN_DIR) / (GetParam() + ".jsonl")));
}

TEST_P(Golden, EncodesBackByteForByte)
{
    const ToolRun run = wire("encode", readFile(fs::path(TARVO_GOLDEN_DIR) / (GetParam() + ".jsonl")));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, corpus(GetParam() + ".bin"));
}

TEST_P(Golden, RawFormEncodesBackByteForByte)
{
    const ToolRun decoded = wire("decode --raw", corpus(GetParam() + ".bin"));
    ASSERT_EQ(decoded.status, 0);
    for (unsigned char c : decoded.out)
        ASSERT_LT(c, 0x80) << "raw lines are ASCII";
    const ToolRun encoded = wire("encode", decoded.out);
    EXPECT_EQ(encoded.status, 0) << encoded.err;
    EXPECT_EQ(encoded.out, corpus(GetParam() + ".bin"));
}

INSTANTIATE_TEST_SUITE_P(Streams, Golden,
                         testing::Values("ok_status_request", "ok_status_response",
                                         "ok_status_response_no_pbu", "ok_heartbeat",
                                         "ok_log_stream", "ok_troubleshooting_request",
                                         "ok_troubleshooting_response"));

// ---- encode

TEST(WireEncode, StatusRequestExampleByteForByte)
{
    const ToolRun run = wire("encode", R"({"messageType": "02", "orientation": "C", "sequence": 1})"
                                   "\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, bytes("00=Tarvo1.20^A01=C^A04=02^A12=1^A15=0^A99=247^A"));
    EXPECT_EQ(run.out.size(), 41u);
}

TEST(WireEncode, ChecksumAndBodyLengthAreComputedNotTaken)
{
    const ToolRun run = wire("encode", R"({"messageType":"02","orientation":"C","sequence":"1",)"
                                   R"("bodyLength":"99","checkSum":"  1"})" "\n");
    EXPECT_EQ(run.out, bytes("00=Tarvo1.20^A01=C^A04=02^A12=1^A15=0^A99=247^A"));
}

TEST(WireEncode, PatternDecidesTheFieldOrder)
{
    const ToolRun run = wire("encode", R"({"messageType":"20","orientation":"S","sequence":"4",)"
                                   R"("fields":{"result":"OK","ShootingType":"CheckCfgFile",)"
                                   R"("serviceType":"TroubleShooting"}})" "\n\n");
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string body = bytes("36=TroubleShooting^A91=CheckCfgFile^A51=OK^A");
    EXPECT_NE(run.out.find(bytes("15=" + std::to_string(body.size()) + "^A") + body + "99="),
              std::string::npos);
}

TEST(WireEncode, FieldTheTypeDoesNotWriteIsReportedAndLeftOut)
{
    const ToolRun run = wire("encode", R"({"messageType":"02","orientation":"C","sequence":"1",)"
                                   R"("fields":{"cpuUsage":"5"}})" "\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.size(), 41u);
    EXPECT_NE(run.err.find("line 1: note: field 'cpuUsage'"), std::string::npos) << run.err;
}

struct BadLine
{
    const char *name;
    const char *lines;
    const char *message; // expected in stderr
};

class WireEncodeError : public testing::TestWithParam<BadLine>
{
};

TEST_P(WireEncodeError, NamesTheLineAndStops)
{
    const std::string good = R"({"messageType":"12","orientation":"S","sequence":"-1"})" "\n";
    const ToolRun run = wire("encode", good + GetParam().lines + "\n" + good);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(std::string("tarvo-wire encode: line 2: ") + GetParam().message),
              std::string::npos)
        << run.err;
    // What came before the bad line was written; nothing after it.
    EXPECT_EQ(run.out, wire("encode", good).out);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, WireEncodeError,
    testing::Values(
        BadLine{"InvalidJson", R"({"messageType": "12",)", "invalid JSON"},
        BadLine{"NotAnObject", R"([1, 2])", "not a JSON object"},
        BadLine{"NoMessageType", R"({"sequence": "1"})", "missing 'messageType'"},
        BadLine{"UnknownType", R"({"messageType": "07"})",
                "message type '07' has no body class and cannot be encoded"},
        BadLine{"UnknownTypeName", R"({"messageType": "13", "fields": {"syslog": "x"}})",
                "unknown field type name 'syslog'"},
        BadLine{"MissingNecessaryField",
                R"({"messageType": "19", "fields": {"serviceType": "TroubleShooting"}})",
                "Neccessary Field 'ShootingType' not exists in class"},
        BadLine{"StatusResponseWithoutPackages",
                R"({"messageType": "03", "fields": {"hostStatus": "a", "HostTime": "b",)"
                R"( "cpuUsage": "1", "memoryUsage": "2", "diskUsage": "3", "envNo": "00"}})",
                "Neccessary Field 'oesPackage' not exists in class"},
        BadLine{"SeparatorInAPlainField",
                R"({"messageType": "13", "fields": {"sysLog": "a\u0001b"}})",
                "field 'sysLog' holds the separator byte 0x01"},
        BadLine{"RawTextAboveLatin1",
                R"({"messageType": "13", "fields": {"sysLog": "\u4e00"}, "raw": true})",
                "a raw text holds a character above U+00FF"},
        BadLine{"UnknownMember", R"({"messageType": "12", "feilds": {}})",
                "unknown member 'feilds'"},
        BadLine{"RecordsOnAnotherType", R"({"messageType": "12", "pbuRecords": []})",
                "'pbuRecords' belongs to a status response"},
        BadLine{"UnknownRecordMember",
                R"({"messageType": "03", "pbuRecords": [{"oesname": "A"}]})",
                "pbuRecords[0]: unknown member 'oesname'"},
        BadLine{"ErrorLine", R"({"error": "incomplete", "offset": 0})",
                "an error line cannot be encoded"}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- decode

TEST(WireDecode, RawKeepsBytesThatAreNoGbk)
{
    // GBK "啊" is B0 A1; FF is no GBK byte at all.
    const ToolRun sent = wire("encode", R"({"messageType":"13","orientation":"S","sequence":"0",)"
                                    R"("fields":{"sysLog":"\u00b0\u00a1\u00ff\u0002"},"raw":true})"
                                    "\n");
    ASSERT_EQ(sent.status, 0) << sent.err;
    EXPECT_NE(sent.out.find(bytes("82=\xb0\xa1\xff\x02^A")), std::string::npos);

    const ToolRun raw = wire("decode --raw", sent.out);
    EXPECT_NE(raw.out.find(R"("sysLog":"\u00b0\u00a1\u00ff\u0002")"), std::string::npos)
        << raw.out;
    EXPECT_NE(raw.out.find(R"("raw":true)"), std::string::npos);
    EXPECT_EQ(wire("encode", raw.out).out, sent.out);

    const ToolRun text = wire("decode", sent.out);
    EXPECT_NE(text.out.find("\"sysLog\":\"\xe5\x95\x8a\xef\xbf\xbd\\u0002\""), std::string::npos)
        << text.out;
    EXPECT_EQ(text.out.find("\"raw\""), std::string::npos);
}

TEST(WireDecode, DecodeErrorStopsWithItsOffset)
{
    const std::string first = corpus("ok_heartbeat.bin");
    const ToolRun run = wire("decode", first + corpus("bad_checksum.bin") + first);
    EXPECT_EQ(run.status, 1);
    const std::string firstLine = wire("decode", first).out;
    EXPECT_EQ(run.out, firstLine + R"({"error":"Check sum error","offset":)"
                           + std::to_string(first.size()) + "}\n");
}

struct StopCase
{
    const char *file;
    const char *error;
};

class WireDecodeStop : public testing::TestWithParam<StopCase>
{
};

TEST_P(WireDecodeStop, WritesOneErrorLine)
{
    const std::string lead = corpus("ok_status_request.bin");
    const ToolRun run = wire("decode", lead + corpus(GetParam().file));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, wire("decode", lead).out + "{\"error\":\"" + GetParam().error
                           + "\",\"offset\":41}\n");
}

INSTANTIATE_TEST_SUITE_P(
    Files, WireDecodeStop,
    testing::Values(StopCase{"truncated_status_response.bin", "incomplete"},
                    StopCase{"garbage.bin", "incomplete"},
                    StopCase{"huge_body_length.bin", "incomplete"},
                    StopCase{"bad_trailer.bin", "bad trailer (-4): no checkSum field after the body"},
                    StopCase{"version_older_probe.bin",
                             "probe older (-3): the agent side has the lower protocol version"},
                    StopCase{"bad_package_length.bin", "Package length not match!"},
                    StopCase{"negative_body_length.bin", "Invalid body length:-40"},
                    StopCase{"body_field_unknown_id.bin", "Wrong type ID:98"}));

TEST(WireDecode, EmptyInputIsNoMessageAndNoError)
{
    const ToolRun run = wire("decode", "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
}

TEST(WireDecode, UnknownTypeShowsItsRawBody)
{
    const std::string body = bytes("58=x^A");
    std::string text = bytes("00=Tarvo1.20^A01=S^A04=07^A12=1^A15=5^A") + body;
    unsigned sum = 0;
    for (unsigned char c : text)
        sum += c;
    char trailer[16];
    std::snprintf(trailer, sizeof trailer, "99=%3u\x01", sum % 256);
    const ToolRun run = wire("decode", text + trailer);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find(R"("fields":{},"body":"58=x\u0001")"), std::string::npos) << run.out;
}

// ---- status packages as records

TEST(WireRecords, ArraysWinOverTheRawPackageAndEmptyListsStayEmpty)
{
    const std::string line =
        R"({"messageType":"03","orientation":"S","sequence":"9","fields":{"hostStatus":"ok",)"
        R"("HostTime":"2009-10-23 14:35:07 ","cpuUsage":"1","memoryUsage":"2","diskUsage":"3",)"
        R"("envNo":"00","oesPackage":"ignored","pbuPackage":""},"oesRecords":[{"oesExist":"Y",)"
        R"("oesName":"A","oesType":"T","oesStatus":"S","oesVersion":"V","warningLevel":"0"}],)"
        R"("pbuRecords":[]})" "\n";
    const ToolRun sent = wire("encode", line);
    ASSERT_EQ(sent.status, 0) << sent.err;
    EXPECT_NE(sent.out.find(bytes("69=33^A70=85=Y^A89=A^A63=T^A64=S^A52=V^A77=0^A^A71=3^A72=^A")),
              std::string::npos);

    const ToolRun back = wire("decode", sent.out);
    EXPECT_NE(back.out.find(R"("oesRecords":[{"oesExist":"Y","oesName":"A","oesType":"T",)"
                            R"("oesStatus":"S","oesVersion":"V","warningLevel":"0"}],)"
                            R"("pbuRecords":[]})"),
              std::string::npos)
        << back.out;
}

TEST(WireRecords, MissingRecordMembersKeepTheRecordDefaults)
{
    const ToolRun sent = wire("encode", R"({"messageType":"03","fields":{"hostStatus":"ok",)"
                                    R"("HostTime":"t","cpuUsage":"1","memoryUsage":"2",)"
                                    R"("diskUsage":"3","envNo":"00","oesPackage":""},)"
                                    R"("pbuRecords":[{"oesName":"A","operatorNumber":"OP1"}]})"
                                    "\n");
    ASSERT_EQ(sent.status, 0) << sent.err;
    EXPECT_NE(sent.out.find(bytes("89=A^A34=OP1^A63=^A83=0^A65=^A")), std::string::npos);
}

TEST(WireRecords, PackageThatIsNoRunOfRecordsIsShownRawOnly)
{
    const ToolRun sent = wire("encode", R"({"messageType":"03","fields":{"hostStatus":"ok",)"
                                    R"("HostTime":"t","cpuUsage":"1","memoryUsage":"2",)"
                                    R"("diskUsage":"3","envNo":"00","oesPackage":"85=Y\u0001",)"
                                    R"("pbuPackage":"junk"}})" "\n");
    ASSERT_EQ(sent.status, 0) << sent.err;
    const ToolRun back = wire("decode", sent.out);
    EXPECT_EQ(back.status, 0);
    EXPECT_NE(back.out.find(R"("oesPackage":"85=Y\u0001","pbuPackage":"junk"})"),
              std::string::npos)
        << back.out;
    EXPECT_EQ(back.out.find("Records"), std::string::npos);
}

// ---- help and version

class Help : public testing::TestWithParam<const char *>
{
};

TEST_P(Help, PrintsUsage)
{
    const ToolRun run = wire(GetParam(), "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("Usage: tarvo-wire", 0), 0u) << run.out;
}

INSTANTIATE_TEST_SUITE_P(Commands, Help,
                         testing::Values("--help", "decode --help", "encode --help",
                                         "decode --raw --help"));

TEST(WireTool, VersionAndUsageErrors)
{
    EXPECT_EQ(wire("--version", "").out.rfind("tarvo-wire ", 0), 0u);
    const ToolRun none = wire("", "");
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("no command given"), std::string::npos);
    const ToolRun bad = wire("decod", "");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("unknown command 'decod'"), std::string::npos);
    EXPECT_EQ(wire("decode --rwa", "").status, 2);
}

} // namespace
