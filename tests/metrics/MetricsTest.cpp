// The metrics exporter scraped over loopback: host, program and PBU series of a console with
// scripted agents, counters across an agent's restart, series that go, and listen texts.
#include "AgentTestSupport.h"

#include "app/AppTexts.h"
#include "app/LinkStats.h"
#include "display/GridTables.h"
#include "host/HostSubjectPool.h"
#include "metrics/ConsoleTimings.h"
#include "metrics/Metrics.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <map>

namespace tarvo {
namespace {

using namespace tarvo::testing;

// UTF-8 bytes of a u8 literal (narrow literals hold GBK here).
std::string utf8(std::u8string_view text)
{
    return std::string(text.begin(), text.end());
}

// The body of GET `path`, read to the end of the connection.
std::string scrape(const std::string &address, const std::string &path = "/metrics")
{
    const size_t colon = address.rfind(':');
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(uint16_t(std::stoi(address.substr(colon + 1))));
    inet_pton(AF_INET, address.substr(0, colon).c_str(), &peer.sin_addr);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_GE(fd, 0);
    timeval timeout{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&peer), sizeof peer) == 0) {
        const std::string request = "GET " + path + " HTTP/1.0\r\n\r\n";
        EXPECT_EQ(::write(fd, request.data(), request.size()), ssize_t(request.size()));
        char buffer[4096];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            reply.append(buffer, size_t(n));
    } else {
        ADD_FAILURE() << "cannot connect to " << address;
    }
    ::close(fd);
    EXPECT_NE(reply.find(" 200 "), std::string::npos) << reply.substr(0, 200);
    const size_t body = reply.find("\r\n\r\n");
    return body == std::string::npos ? std::string() : reply.substr(body + 4);
}

// Samples by their "name{labels}" text, values as numbers.
std::map<std::string, double> samples(const std::string &body)
{
    std::map<std::string, double> result;
    std::istringstream in(body);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        const size_t space = line.rfind(' ');
        result[line.substr(0, space)] = std::stod(line.substr(space + 1));
    }
    return result;
}

size_t seriesOf(const std::map<std::string, double> &all, const std::string &prefix)
{
    return size_t(std::count_if(all.begin(), all.end(),
                                [&](const auto &sample) { return sample.first.starts_with(prefix); }));
}

const std::string kHostLabels =
    "environment=\"00\",host=\"127.0.0.1\",name=\"" + utf8(u8"沪一") + "\"";
const std::string kProgramA = kHostLabels + ",program=\"" + utf8(u8"A股报盘程序") + "\"";
const std::string kProgramB = kHostLabels + ",program=\"" + utf8(u8"B股报盘程序") + "\"";
const std::string kPbuA = "{host=\"127.0.0.1\",name=\"" + utf8(u8"沪一") +
                          "\",operator=\"678901\",pbu=\"12345\",program=\"" +
                          utf8(u8"A股报盘程序") + "\"}";
const std::string kPbuB = "{host=\"127.0.0.1\",name=\"" + utf8(u8"沪一") +
                          "\",operator=\"000002\",pbu=\"54321\",program=\"" +
                          utf8(u8"B股报盘程序") + "\"}";

class MetricsTest : public test::AgentConsole
{
protected:
    std::unique_ptr<TF_Main> connectedConsole()
    {
        auto window = start("沪一,127.0.0.1,10012,N,N,0,\r\n深二,127.0.0.2,10012,N,N,0,\r\n");
        EXPECT_EQ(sockets.size(), 2u);
        ScriptedAgentSocket::connect(*sockets[0]);
        answer(*sockets[0], pbus("10"));
        return window;
    }
    static std::vector<Pbu> pbus(const std::string &bids)
    {
        return {pbu(OES_NAME_A, "12345678901", "3", bids), pbu(OES_NAME_B, "54321000002", "1")};
    }
    std::map<std::string, double> scrapeAfter(TF_Main &window)
    {
        exporter.update(ConsoleMetricsSource(window));
        return samples(scrape(exporter.listenAddress()));
    }

    MetricsExporter exporter{"127.0.0.1:0", MetricsBuild{TARVO_VERSION_TEXT, SOFTWARE_VERSION}};
};

TEST_F(MetricsTest, ConnectedHostShowsItsUsagesProgramsAndPbus)
{
    auto window = connectedConsole();
    const std::string body = scrape(exporter.listenAddress());
    EXPECT_EQ(body.find("tarvo_host_up{"), std::string::npos);  // nothing before the first update

    const auto all = scrapeAfter(*window);
    EXPECT_EQ(all.at("tarvo_host_up{" + kHostLabels + "}"), 1);
    EXPECT_EQ(all.at("tarvo_host_cpu_usage_percent{" + kHostLabels + "}"), 10);
    EXPECT_EQ(all.at("tarvo_host_memory_usage_percent{" + kHostLabels + "}"), 20);
    EXPECT_EQ(all.at("tarvo_host_disk_usage_percent{" + kHostLabels + "}"), 30);
    EXPECT_EQ(all.at("tarvo_program_state{" + kProgramA + "}"), 3);
    EXPECT_EQ(all.at("tarvo_program_state{" + kProgramB + "}"), 3);
    EXPECT_EQ(all.at("tarvo_host_active_pbus{" + kHostLabels + "}"), 1);
    EXPECT_EQ(all.at("tarvo_host_sleeping_pbus{" + kHostLabels + "}"), 1);

    EXPECT_EQ(all.at("tarvo_pbu_state" + kPbuA), 3);
    EXPECT_EQ(all.at("tarvo_pbu_state" + kPbuB), 1);
    EXPECT_EQ(all.at("tarvo_pbu_orders_total" + kPbuA), 10);
    EXPECT_EQ(all.at("tarvo_pbu_responses_total" + kPbuA), 9);
    EXPECT_EQ(all.at("tarvo_pbu_trades_total" + kPbuA), 8);
    EXPECT_EQ(seriesOf(all, "tarvo_pbu_state{"), 2u);

    EXPECT_EQ(all.at("tarvo_build_info{protocol=\"Tarvo1.20\",software=\"" + utf8(u8"2009版") +
                     "\",version=\"" TARVO_VERSION_TEXT "\"}"),
              1);

    // The host that never connected is down, with no usages, program states or PBUs.
    const std::string other =
        "environment=\"unknown\",host=\"127.0.0.2\",name=\"" + utf8(u8"深二") + "\"";
    EXPECT_EQ(all.at("tarvo_host_up{" + other + "}"), 0);
    EXPECT_EQ(all.count("tarvo_host_cpu_usage_percent{" + other + "}"), 0u);
    EXPECT_EQ(seriesOf(all, "tarvo_program_state{" + other), 0u);
    EXPECT_EQ(seriesOf(all, "tarvo_pbu_state{host=\"127.0.0.2\""), 0u);
}

TEST_F(MetricsTest, CountersFollowTheAgentAndStartAgainWhenItsCountGoesBack)
{
    auto window = connectedConsole();
    scrapeAfter(*window);
    const std::string body = scrape(exporter.listenAddress());
    EXPECT_NE(body.find("# TYPE tarvo_pbu_orders_total counter"), std::string::npos);

    window->TimerUpdateTimer();
    answer(*sockets[0], pbus("25"));
    EXPECT_EQ(scrapeAfter(*window).at("tarvo_pbu_orders_total" + kPbuA), 25);
    // An update with nothing new adds nothing.
    EXPECT_EQ(scrapeAfter(*window).at("tarvo_pbu_orders_total" + kPbuA), 25);

    // The program restarted: its count begins again, and so does the counter.
    window->TimerUpdateTimer();
    answer(*sockets[0], pbus("4"));
    EXPECT_EQ(scrapeAfter(*window).at("tarvo_pbu_orders_total" + kPbuA), 4);
    window->TimerUpdateTimer();
    answer(*sockets[0], pbus("7"));
    const auto all = scrapeAfter(*window);
    EXPECT_EQ(all.at("tarvo_pbu_orders_total" + kPbuA), 7);
    EXPECT_EQ(seriesOf(all, "tarvo_pbu_orders_total{"), 2u);
}

// Alerts on a program or PBU must not resolve because its host dropped: every series stays
// at its last value beside up 0, until the host answers again or leaves the list.
TEST_F(MetricsTest, ADisconnectedHostKeepsItsSeriesWithUpZero)
{
    auto window = connectedConsole();
    LinkStats stats(window->agentLinks());
    exporter.setLinkStats(&stats);
    window->TimerUpdateTimer();
    answer(*sockets[0], pbus("10"));
    const auto before = scrapeAfter(*window);
    // The connections' clock of the test stands at `now` (ms).
    EXPECT_EQ(before.at("tarvo_host_last_answer_timestamp_seconds{" + kHostLabels + "}"), now / 1000);
    EXPECT_EQ(before.at("tarvo_host_stale{" + kHostLabels + "}"), 0);

    ScriptedAgentSocket::peerClose(*sockets[0]);
    for (int poll = 0; poll < 2; ++poll) {
        const auto all = scrapeAfter(*window);
        EXPECT_EQ(all.at("tarvo_host_up{" + kHostLabels + "}"), 0);
        EXPECT_EQ(all.at("tarvo_host_connections_lost_total{" + kHostLabels + "}"), 1);
        for (const std::string &series :
             {"tarvo_host_cpu_usage_percent{" + kHostLabels + "}",
              "tarvo_host_active_pbus{" + kHostLabels + "}", "tarvo_program_state{" + kProgramA + "}",
              "tarvo_pbu_state" + kPbuB, "tarvo_pbu_orders_total" + kPbuA})
            EXPECT_EQ(all.at(series), before.at(series)) << series;
        EXPECT_EQ(seriesOf(all, "tarvo_pbu_state{"), 2u);
    }

    // Back with the PBU stopped: the same series, the new value.
    ScriptedAgentSocket::connect(*sockets[0]);
    answer(*sockets[0], {pbu(OES_NAME_A, "12345678901", "1", "12"), pbu(OES_NAME_B, "54321000002", "1")});
    const auto back = scrapeAfter(*window);
    EXPECT_EQ(back.at("tarvo_host_up{" + kHostLabels + "}"), 1);
    EXPECT_EQ(back.at("tarvo_pbu_state" + kPbuA), 1);
    EXPECT_EQ(back.at("tarvo_pbu_orders_total" + kPbuA), 12);
    EXPECT_EQ(seriesOf(back, "tarvo_pbu_state{"), 2u);
}

// The links tell the console's timings of every status answer, and of nothing else.
TEST_F(MetricsTest, EveryStatusAnswerIsTimedThroughTheLinks)
{
    auto window = connectedConsole();
    std::vector<double> timed;
    window->agentLinks().setAnswerTimer([&timed](double seconds) { timed.push_back(seconds); });
    window->TimerUpdateTimer();
    answer(*sockets[0], pbus("11"));
    ASSERT_EQ(timed.size(), 1u);
    EXPECT_GE(timed[0], 0);
    EXPECT_LT(timed[0], 5);
}

TEST_F(MetricsTest, TheIndexLinksToTheMetrics)
{
    EXPECT_NE(scrape(exporter.listenAddress(), "/").find("<a href=\"/metrics\">"), std::string::npos);
}

// promtool (Debian's prometheus) lints a scrape and the shipped alert rules.
TEST_F(MetricsTest, PromtoolAcceptsTheScrapeAndTheAlertRules)
{
    if (std::system("command -v promtool >/dev/null 2>&1") != 0) {
        if (std::getenv("CI"))
            FAIL() << "no promtool: ./run deps installs Debian's prometheus";
        GTEST_SKIP() << "no promtool";
    }
    auto window = connectedConsole();
    LinkStats stats(window->agentLinks());
    exporter.setLinkStats(&stats);
    exporter.update(ConsoleMetricsSource(*window));
    const std::string file = dir.file("scrape.txt");
    test::writeFile(file, scrape(exporter.listenAddress()));
    const std::string output = dir.file("promtool.txt");
    EXPECT_EQ(std::system(("promtool check metrics < " + file + " > " + output + " 2>&1").c_str()), 0)
        << test::readFile(output);
    EXPECT_EQ(std::system(("promtool check rules " TARVO_SOURCE_DIR "/docs/prometheus/alerts.yml > " +
                           output + " 2>&1").c_str()),
              0)
        << test::readFile(output);
}

TEST(MetricsTables, DeletedRowsLeaveTheOutputAndOddTextsAreNotNumbers)
{
    MetricsExporter exporter("0");
    EXPECT_TRUE(exporter.listenAddress().starts_with("127.0.0.1:"));
    EXPECT_NE(exporter.listenAddress(), "127.0.0.1:0");

    auto hosts = makeHostTable();
    auto pbus = makePbuTable();
    HostSubjectPool pool;
    auto host = std::make_unique<HostSubject>("x", "10.0.0.9", "10012");
    host->setCpuUsage("abc");
    host->setMemoryUsage("12.5");
    host->setDiskUsage("");
    ASSERT_TRUE(pool.add(host));
    hosts->append();
    hosts->setValue("ChannelIP", "10.0.0.9");
    hosts->setValue("hostName", "x");
    hosts->setValue("Connection", "已连接");
    hosts->setValue("OESStatusA", "停机");  // not a state word
    hosts->setValue("OESStatusB", "正在登录");
    hosts->post();
    pbus->append();
    pbus->setValue("HostIp", "10.0.0.9");
    pbus->setValue("OES", "A");
    pbus->setValue("ID", "11111");
    pbus->setValue("Operator", "1");
    pbus->setValue("Status", "9");
    pbus->setValue("Submitted", "n/a");
    pbus->setValue("Responsed", "3");
    pbus->post();

    exporter.update(*hosts, *pbus, pool);
    auto all = samples(scrape(exporter.listenAddress()));
    const std::string labels = "{environment=\"unknown\",host=\"10.0.0.9\",name=\"x\"}";
    EXPECT_EQ(all.count("tarvo_host_cpu_usage_percent" + labels), 0u);
    EXPECT_EQ(all.at("tarvo_host_memory_usage_percent" + labels), 12.5);
    EXPECT_EQ(all.count("tarvo_host_disk_usage_percent" + labels), 0u);
    const std::string program = "tarvo_program_state{environment=\"unknown\",host=\"10.0.0.9\","
                                "name=\"x\",program=\"";
    EXPECT_EQ(all.at(program + utf8(u8"A股报盘程序") + "\"}"), -1);  // "停机" is no state word
    EXPECT_EQ(all.at(program + utf8(u8"B股报盘程序") + "\"}"), 5);
    const std::string pbu = "{host=\"10.0.0.9\",name=\"x\",operator=\"1\",pbu=\"11111\",program=\"A\"}";
    EXPECT_EQ(all.at("tarvo_pbu_state" + pbu), -1);
    EXPECT_EQ(all.count("tarvo_pbu_orders_total" + pbu), 0u);
    EXPECT_EQ(all.at("tarvo_pbu_responses_total" + pbu), 3);

    // A renamed host is one series under its new name, not two.
    ASSERT_TRUE(hosts->locate("ChannelIP", "10.0.0.9"));
    hosts->edit();
    hosts->setValue("hostName", "y");
    hosts->post();
    exporter.update(*hosts, *pbus, pool);
    all = samples(scrape(exporter.listenAddress()));
    EXPECT_EQ(seriesOf(all, "tarvo_host_up{"), 1u);
    EXPECT_EQ(all.count("tarvo_host_up{environment=\"unknown\",host=\"10.0.0.9\",name=\"y\"}"), 1u);

    hosts->deleteCurrent();
    pbus->first();
    pbus->deleteCurrent();
    exporter.update(*hosts, *pbus, pool);
    all = samples(scrape(exporter.listenAddress()));
    // Only the console's own timings and build stay: they describe the console, not a row.
    EXPECT_EQ(seriesOf(all, "tarvo_") - seriesOf(all, "tarvo_console_") - seriesOf(all, "tarvo_build_"),
              0u);
}

TEST(MetricsTables, AnUpdateInStepsEndsLikeAWholeOneAndStartsAgainWhenRowsMove)
{
    auto hosts = makeHostTable();
    auto pbus = makePbuTable();
    HostSubjectPool pool;
    const auto addPbu = [&](const std::string &id, const std::string &orders) {
        pbus->append();
        pbus->setValue("HostIp", "10.0.0.1");
        pbus->setValue("OES", "A");
        pbus->setValue("ID", id);
        pbus->setValue("Operator", "1");
        pbus->setValue("Status", "3");
        pbus->setValue("Submitted", orders);
        pbus->post();
    };
    for (int i = 1; i <= 5; ++i)
        addPbu(std::to_string(10000 + i), std::to_string(i * 10));
    const auto series = [](int id) {
        return "tarvo_pbu_orders_total{host=\"10.0.0.1\",name=\"\",operator=\"1\",pbu=\"" +
               std::to_string(id) + "\",program=\"A\"}";
    };

    MetricsExporter whole("127.0.0.1:0");
    whole.update(*hosts, *pbus, pool);
    MetricsExporter stepped("127.0.0.1:0");
    stepped.beginUpdate();
    EXPECT_FALSE(stepped.updateStep(*hosts, *pbus, pool, 2));
    EXPECT_FALSE(stepped.updateStep(*hosts, *pbus, pool, 2));
    EXPECT_TRUE(stepped.updateStep(*hosts, *pbus, pool, 2));
    const auto fromWhole = samples(scrape(whole.listenAddress()));
    auto fromSteps = samples(scrape(stepped.listenAddress()));
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(fromSteps.at(series(10000 + i)), i * 10);
    EXPECT_EQ(seriesOf(fromSteps, "tarvo_pbu_"), seriesOf(fromWhole, "tarvo_pbu_"));

    // A row deleted between two steps moves the ones behind it: the update starts again and
    // still sees every row once; the deleted row's series goes when it is complete.
    pbus->first();
    stepped.beginUpdate();
    EXPECT_FALSE(stepped.updateStep(*hosts, *pbus, pool, 3));
    pbus->deleteCurrent();
    EXPECT_FALSE(stepped.updateStep(*hosts, *pbus, pool, 3));
    fromSteps = samples(scrape(stepped.listenAddress()));
    EXPECT_EQ(fromSteps.count(series(10001)), 1u);  // not gone before the update is complete
    EXPECT_TRUE(stepped.updateStep(*hosts, *pbus, pool, 3));
    fromSteps = samples(scrape(stepped.listenAddress()));
    EXPECT_EQ(fromSteps.count(series(10001)), 0u);
    for (int i = 2; i <= 5; ++i)
        EXPECT_EQ(fromSteps.at(series(10000 + i)), i * 10);
}

TEST(MetricsTimings, AnswerLatencyAndStallsAreServedWithTheirLargest)
{
    ConsoleTimings timings;
    MetricsExporter exporter("127.0.0.1:0", {}, &timings);
    const std::string answers = "tarvo_console_answer_latency_seconds";
    const std::string lateness = "tarvo_console_event_loop_lateness_seconds";
    auto before = samples(scrape(exporter.listenAddress()));
    timings.recordAnswer(0.0031);
    timings.recordAnswer(0.0002);
    // A watch timer of 10 ms that fires 95 ms after the previous tick ran 85 ms late; one on
    // time is no stall.
    StallWatch watch(timings);
    watch.tick(95);
    watch.tick(10);
    auto after = samples(scrape(exporter.listenAddress()));
    EXPECT_EQ(after.at(answers + "_count") - before.at(answers + "_count"), 2);
    EXPECT_NEAR(after.at(answers + "_sum") - before.at(answers + "_sum"), 0.0033, 1e-9);
    // 3.1 ms falls in the bucket up to about 3.2 ms, not in the one below it.
    const auto bucketAt = [&](const std::map<std::string, double> &all, double bound) {
        double found = -1;
        for (const auto &[name, value] : all) {
            const std::string head = answers + "_bucket{le=\"";
            if (name.starts_with(head) && std::abs(std::stod(name.substr(head.size())) - bound) < 1e-9)
                found = value;
        }
        return found;
    };
    const std::vector<double> bounds = ConsoleTimings::answerBuckets();
    const auto above = std::find_if(bounds.begin(), bounds.end(), [](double b) { return b >= 0.0031; });
    ASSERT_NE(above, bounds.end());
    ASSERT_NE(above, bounds.begin());
    EXPECT_EQ(bucketAt(after, *above) - bucketAt(before, *above), 2);
    EXPECT_EQ(bucketAt(after, *(above - 1)) - bucketAt(before, *(above - 1)), 1);
    EXPECT_GE(after.at("tarvo_console_answer_latency_max_seconds"), 0.0031);
    EXPECT_EQ(after.at(lateness + "_count") - before.at(lateness + "_count"), 2);
    EXPECT_NEAR(after.at(lateness + "_sum") - before.at(lateness + "_sum"), 0.085, 1e-9);
    EXPECT_GE(after.at("tarvo_console_event_loop_stall_max_seconds"), 0.085);
    EXPECT_GE(timings.largestLateness(), 0.085);
}

TEST(MetricsListenText, BadTextsAreRefusedWithTheReason)
{
    const auto refusal = [](const std::string &text) -> std::string {
        try {
            MetricsExporter exporter(text);
        } catch (const std::invalid_argument &e) {
            return e.what();
        }
        return "accepted";
    };
    EXPECT_NE(refusal("").find("empty"), std::string::npos);
    EXPECT_NE(refusal("metrics").find("\"metrics\": no port"), std::string::npos);
    EXPECT_NE(refusal("127.0.0.1:").find("no port"), std::string::npos);
    EXPECT_NE(refusal("127.0.0.1:http").find("'http' is not a port number"), std::string::npos);
    EXPECT_NE(refusal("127.0.0.1:70000").find("above 65535"), std::string::npos);
    EXPECT_NE(refusal("300.1.1.1:9464").find("'300.1.1.1' is not an IPv4 address"),
              std::string::npos);
    EXPECT_NE(refusal(":9464").find("no address"), std::string::npos);
    EXPECT_NE(refusal("[::1:9464").find("closing bracket"), std::string::npos);
    EXPECT_NE(refusal("9464s").find("expected PORT or ADDRESS:PORT"), std::string::npos);

    const MetricsListen any = parseMetricsListen("0.0.0.0:9464");
    EXPECT_EQ(any.address, "0.0.0.0");
    EXPECT_EQ(any.port, 9464u);
    EXPECT_EQ(parseMetricsListen("localhost:80").address, "127.0.0.1");
    EXPECT_EQ(parseMetricsListen(" 9464 ").address, "127.0.0.1");
}

TEST(MetricsListenText, AnAddressThatCannotBeBoundIsARuntimeErrorWithTheReason)
{
    MetricsExporter first("127.0.0.1:0");
    // 192.0.2.1 is a documentation address, never one of this machine's: only bound, never
    // reached.
    const std::pair<std::string, std::string> cases[] = {
        {first.listenAddress(), "the port is in use"},
        {"192.0.2.1:0", "the address is not one of this machine's"},
    };
    for (const auto &[listen, reason] : cases) {
        try {
            MetricsExporter second(listen);
            FAIL() << "an exporter bound " << second.listenAddress();
        } catch (const std::runtime_error &e) {
            EXPECT_NE(std::string(e.what()).find("cannot listen on " + listen + ": " + reason),
                      std::string::npos)
                << e.what();
        }
    }
}

} // namespace
} // namespace tarvo
