// Fuzzes the console's reading of one agent connection: the host list holds one host, its
// connection (a scripted socket) opens and sends the status request, and the input's bytes
// arrive in the pieces the input chooses, each piece one read of the socket, until the
// console closes the connection or the bytes run out; then the agent goes away. The tables,
// host pool, command pool and connection are the console's own; only the window is absent.
#include "FuzzSupport.h"
#include "app/AgentLinks.h"
#include "app/HostListFile.h"
#include "doubles/ScriptedAgentSocket.h"
#include "display/DataGridHostAdder.h"
#include "display/DataGridHostObserver.h"
#include "display/DataGridHostRemover.h"
#include "display/GridTables.h"

#include <QCoreApplication>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

// What the links need of the main window, kept as plain records.
class Owner : public tarvo::AgentLinksOwner
{
public:
    void writeLog(const std::string &text, bool, bool) override { lastLog = text; }
    std::string timeStamp() const override { return "2009-06-01 09:05:03 "; }
    bool isDebugLogging() const override { return true; }
    void refreshCommandStates(tarvo::CommandMode) override {}
    void saveHostListFile() override {}
    void raiseAlarm(const tarvo::AlarmEvent &) override { ++alarms; }
    void refreshAfterMessage() override {}
    void showErrorListLine(const std::string &line) override { lastLog = line; }
    void setStatusText(const std::string &text) override { lastLog = text; }

    std::string lastLog;
    int alarms = 0;
};

const std::string &workingDirectory()
{
    static const std::string path = [] {
        const auto dir = std::filesystem::temp_directory_path() /
                         ("tarvo-agent-stream-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        return dir.string();
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "agent_stream_fuzzer";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *application = new QCoreApplication(argc, argv);
    (void)application;

    using namespace tarvo;
    std::unique_ptr<RecordSet> hostTable = makeHostTable();
    std::unique_ptr<RecordSet> pbuTable = makePbuTable();
    GridState hostGrid(*hostTable);
    GridState pbuGrid(*pbuTable);
    int checkedPbuCount = 0;
    Owner owner;
    // Declared in the order the window tears them down in reverse: the pool goes before the
    // grid's adder and observer, the waiting commands before the pool.
    DataGridHostObserver observer(*hostTable, *pbuTable, hostGrid, pbuGrid, checkedPbuCount,
                                  [&owner](const AlarmEvent &event) { owner.raiseAlarm(event); });
    DataGridHostAdder adder(*hostTable, &observer);
    DataGridHostRemover remover(*hostTable, *pbuTable, checkedPbuCount);
    HostSubjectPool hostPool;
    MessageCommandPool commandPool;
    hostPool.addAdder(&adder);
    hostPool.addRemover(&remover);
    for (auto &host : parseHostList("h1,127.0.0.1,10012,Y,Y,0,\r\n"))
        hostPool.add(host);

    std::shared_ptr<ScriptedAgentSocket::Script> script;
    double now = 5'000'000;
    ConnectionSettings settings;
    settings.makeSocket = [&script] {
        auto socket = std::make_unique<ScriptedAgentSocket>();
        script = socket->getScript();
        return socket;
    };
    settings.nowMs = [&now] { return now; };
    {
        AgentLinks links(owner,
                         AgentLinkModel{*hostTable, *pbuTable, hostGrid, pbuGrid, hostPool,
                                        commandPool, checkedPbuCount},
                         workingDirectory(), settings);
        links.registry().connectHosts(false);
        if (!script)
            std::abort();
        ScriptedAgentSocket::connect(*script);
        for (std::string_view piece : fuzz::streamPieces(data, size)) {
            if (!script->active)
                break;
            now += 100;
            ScriptedAgentSocket::receive(*script, piece);
        }
        if (script->active)
            ScriptedAgentSocket::peerClose(*script);
    }
    std::error_code ignored;
    std::filesystem::remove_all(workingDirectory() + "/logs", ignored);
    return 0;
}
