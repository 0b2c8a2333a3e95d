// tarvo-agent-farm: many simulated agents in one process, for load tests of the console.
#include "Farm.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>

namespace {

std::atomic<bool> g_stop{false};

void onSignal(int) { g_stop = true; }

const char kHelp[] =
    "Usage: tarvo-agent-farm [options]\n"
    "Serves N simulated monitoring agents, each on its own loopback address, in one process.\n"
    "Each answers the console's status requests (two programs, PBUs whose counters grow and\n"
    "whose state changes now and then), its troubleshooting requests, sends heartbeats when\n"
    "idle and pushes a log record now and then.\n"
    "\n"
    "  --hosts N           number of agents (default 100)\n"
    "  --first ADDR        address of the first agent (default 127.0.1.1); the next ones count\n"
    "                      up, skipping .0 and .255\n"
    "  --port N            port every agent listens on (default 10012)\n"
    "  --pbus N            PBUs per host (default 20)\n"
    "  --change-rate R     share 0..1 of running PBUs whose counters grow per answer (0.5)\n"
    "  --state-rate R      share 0..1 of PBUs that start or stop per answer (0.001)\n"
    "  --log-interval S    mean seconds between two log records of one agent; 0: none (30)\n"
    "  --env-no TEXT       environment number of every host (default 00)\n"
    "  --seed N            seed of the random behaviour (default 1)\n"
    "  --write-cfg FILE    write the console's host list for these agents to FILE\n"
    "                      (\"TarvoMonitor.CFG\" format) and go on serving\n"
    "  --help              this text\n"
    "\n"
    "It prints \"ready: N agents ...\" once every agent listens, and its counts when it ends\n"
    "(SIGINT, SIGTERM).\n";

struct Failure : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

std::string valueOf(int &i, int argc, char **argv)
{
    if (i + 1 >= argc)
        throw Failure(std::string(argv[i]) + " needs a value");
    return argv[++i];
}

long wholeNumber(const std::string &option, const std::string &text, long low, long high)
{
    char *end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < low || value > high)
        throw Failure(option + ": " + text + " is not a whole number from " + std::to_string(low) +
                      " to " + std::to_string(high));
    return value;
}

double share(const std::string &option, const std::string &text, double high)
{
    char *end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(value >= 0 && value <= high))
        throw Failure(option + ": " + text + " is not a number from 0 to " +
                      std::to_string(high));
    return value;
}

} // namespace

int main(int argc, char **argv)
{
    using namespace tarvo::farm;
    FarmOptions options;
    std::string cfgPath;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg == "--help" || arg == "-h") {
                std::fputs(kHelp, stdout);
                return 0;
            } else if (arg == "--hosts") {
                options.hosts = int(wholeNumber(arg, valueOf(i, argc, argv), 1, 60000));
            } else if (arg == "--first") {
                options.firstAddress = valueOf(i, argc, argv);
            } else if (arg == "--port") {
                options.port = int(wholeNumber(arg, valueOf(i, argc, argv), 1, 65535));
            } else if (arg == "--pbus") {
                options.behaviour.pbusPerHost = int(wholeNumber(arg, valueOf(i, argc, argv), 0, 500));
            } else if (arg == "--change-rate") {
                options.behaviour.changeRate = share(arg, valueOf(i, argc, argv), 1);
            } else if (arg == "--state-rate") {
                options.behaviour.stateRate = share(arg, valueOf(i, argc, argv), 1);
            } else if (arg == "--log-interval") {
                options.logInterval = share(arg, valueOf(i, argc, argv), 86400);
            } else if (arg == "--env-no") {
                options.behaviour.envNo = valueOf(i, argc, argv);
            } else if (arg == "--seed") {
                options.seed = uint32_t(wholeNumber(arg, valueOf(i, argc, argv), 0, 0x7fffffff));
            } else if (arg == "--write-cfg") {
                cfgPath = valueOf(i, argc, argv);
            } else {
                throw Failure("unknown option " + arg + " (see --help)");
            }
        }
    } catch (const Failure &e) {
        std::fprintf(stderr, "tarvo-agent-farm: %s\n", e.what());
        return 2;
    }

    // Every agent takes a listening socket and one per console connection.
    const long limit = raiseOpenFileLimit();
    if (limit >= 0 && limit < 2L * options.hosts + 32)
        std::fprintf(stderr,
                     "tarvo-agent-farm: warning: the open file limit is %ld, %d agents need about "
                     "%ld\n",
                     limit, options.hosts, 2L * options.hosts + 32);
    try {
        Farm farm(options);
        if (!cfgPath.empty()) {
            std::ofstream file(cfgPath, std::ios::binary | std::ios::trunc);
            std::string text = hostListText(farm.addresses(), options.port);
            // The console's host list ends its lines with CR LF.
            std::string crlf;
            for (char c : text) {
                if (c == '\n')
                    crlf += '\r';
                crlf += c;
            }
            file << crlf;
            if (!file.flush())
                throw std::runtime_error("cannot write " + cfgPath);
        }
        farm.listen();
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        std::signal(SIGPIPE, SIG_IGN);
        std::printf("ready: %d agents on %s .. %s port %d\n", options.hosts,
                    farm.addresses().front().c_str(), farm.addresses().back().c_str(),
                    options.port);
        std::fflush(stdout);
        farm.run(g_stop);
        const FarmCounts &c = farm.counts();
        std::printf("accepted %llu, closed %llu, requests %llu, status answers %llu, heartbeats "
                    "received %llu, heartbeats sent %llu, log messages %llu, bad messages %llu\n",
                    (unsigned long long)c.accepted, (unsigned long long)c.closed,
                    (unsigned long long)c.requests, (unsigned long long)c.statusAnswers,
                    (unsigned long long)c.heartbeatsReceived, (unsigned long long)c.heartbeatsSent,
                    (unsigned long long)c.logMessages, (unsigned long long)c.badMessages);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "tarvo-agent-farm: %s\n", e.what());
        return 1;
    }
    return 0;
}
