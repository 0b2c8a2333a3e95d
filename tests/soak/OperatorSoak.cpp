// The operator soak: the real console (window offscreen, Qt's own dialogs) against the agent
// farm on loopback, with agents dropping and PBUs stopping and starting, while random operator
// actions from a seed click, tick, connect, add, edit and delete hosts (dialogs answered after
// delays that span poll ticks), switch pages and run detail windows. After every action it
// checks that no "Exception from" line was logged, that the host list file parses and holds
// the pool's hosts, that no bracket was left open and that the resident memory stays bounded.
#include "../support/OperatorActions.h"
#include "Farm.h"
#include "app/HostListFile.h"
#include "display/Fhost.h"

#include <QApplication>
#include <QTabWidget>
#include <QToolBar>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <random>
#include <thread>
#include <unistd.h>

namespace tarvo {
namespace {

struct Options
{
    double seconds = 60;
    uint32_t seed = 1;
    int hosts = 6;
    std::string dir;
};

long residentKb()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

class Soak
{
public:
    Soak(const Options &options, const std::vector<std::string> &ips, const std::vector<int> &ports)
        : options(options), random(options.seed), farmIps(ips), farmPorts(ports)
    {
    }

    void start(const std::string &dir)
    {
        MainOptions main;
        main.workingDirectory = dir;
        main.settingsPath = dir + "/TarvoMonitor.ini";
        main.beep = [] {};
        window = std::make_unique<TF_Main>(main);
        window->show();
        logPath = dir + "/logs/";
        listPath = dir + "/TarvoMonitor.CFG";
        timer.setInterval(40);
        QObject::connect(&timer, &QTimer::timeout, [this] { step(); });
        timer.start();
        QTimer::singleShot(int(options.seconds * 1000), [this] { finish(); });
        QTimer::singleShot(15000, [this] { baselineKb = residentKb(); });
    }

    int result() const { return failed ? 1 : 0; }

private:
    using Action = std::pair<const char *, std::function<void()>>;

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); }
    GridView &hostGrid() { return *window->hostGrid(); }
    GridView &pbuGrid() { return *window->pbuGrid(); }
    RecId anyRow(GridView &grid)
    {
        RecordSet &set = grid.recordSet();
        return set.isEmpty() ? kNoRecId : set.recIdAt(pick(set.count()));
    }
    GridView &activeGrid()
    {
        return window->activePage() == MainPage::Host ? hostGrid() : pbuGrid();
    }

    std::vector<Action> actions()
    {
        auto onRow = [this](auto what) {
            return [this, what] {
                GridView &grid = activeGrid();
                if (RecId row = anyRow(grid); row != kNoRecId)
                    what(grid, row);
            };
        };
        auto key = [this](Qt::Key k, Qt::KeyboardModifiers m = {}) {
            return [this, k, m] { test::pressKey(activeGrid(), k, m); };
        };
        auto tool = [this](const char *caption) {
            return [this, caption] {
                QAction *action = window->actions().find(caption);
                if (action->isEnabled())
                    QTest::mouseClick(window->findChild<QToolBar *>()->widgetForAction(action),
                                      Qt::LeftButton);
            };
        };
        return {
            {"click a row", onRow([](GridView &g, RecId r) { test::clickCell(g, r, 1); })},
            {"ctrl-click a row", onRow([](GridView &g, RecId r) { test::clickCell(g, r, 2, Qt::ControlModifier); })},
            {"click a check box", onRow([](GridView &g, RecId r) { test::clickCheckBox(g, r); })},
            {"double-click a check box", onRow([](GridView &g, RecId r) { test::clickCheckBox(g, r, true); })},
            {"double-click a cell", onRow([](GridView &g, RecId r) { test::doubleClickCell(g, r, 3); })},
            {"Space", key(Qt::Key_Space)},
            {"L", key(Qt::Key_L)},
            {"Z", key(Qt::Key_Z, Qt::ShiftModifier)},
            {"C", key(Qt::Key_C)},
            {"O", key(Qt::Key_O)},
            {"Del", key(Qt::Key_Delete)},
            {"F2", key(Qt::Key_F2)},
            {"Ins", key(Qt::Key_Insert)},
            {"F5", key(Qt::Key_F5)},
            {"Ctrl+A", key(Qt::Key_A, Qt::ControlModifier)},
            {"Ctrl+Z", key(Qt::Key_Z, Qt::ControlModifier)},
            {"Ctrl+P", key(Qt::Key_P, Qt::ControlModifier)},
            {"Ctrl+H", key(Qt::Key_H, Qt::ControlModifier)},
            {"tool bar 连接", tool("连接")},
            {"tool bar 断开", tool("断开")},
            {"tool bar 添加报盘机", tool("添加报盘机")},
            {"tool bar 删除报盘机", tool("删除报盘机")},
            {"pop-up menu item", [this] {
                 GridView &grid = activeGrid();
                 const RecId row = anyRow(grid);
                 QMenu *menu = row == kNoRecId ? nullptr : test::openPopup(*window, grid, row);
                 if (!menu)
                     return;
                 const auto items = menu->actions();
                 QAction *item = items.value(pick(int(items.size())));
                 if (item && !item->isSeparator())
                     test::chooseItem(*menu, fromQt(item->text()));
                 else
                     menu->hide();
             }},
            {"troubleshoot in a detail window", [this] { detailWindow(true); }},
            {"close a detail window", [this] { detailWindow(false); }},
            {"exit, answered No", [this] { window->close(); }},
        };
    }

    static std::string fromQt(const QString &text) { return gbkText(text); }

    void detailWindow(bool troubleshoot)
    {
        for (const auto &[ip, host] : window->hostPool()) {
            auto *detail = dynamic_cast<TF_HOST *>(host->getDetailWindow());
            if (!detail || !detail->isVisible() || pick(2))
                continue;
            if (!troubleshoot) {
                detail->close();
                return;
            }
            const char *caption = pick(3) ? "故障检测" : "终止检测";
            if (QPushButton *button = test::buttonOf(*detail, caption); button && button->isEnabled())
                QTest::mouseClick(button, Qt::LeftButton);
            return;
        }
    }

    // A dialog is open: answer it after a delay that may span poll ticks.
    void answerLater()
    {
        if (answering)
            return;
        answering = true;
        QTimer::singleShot(pick(2500), [this] {
            answering = false;
            if (!test::openModal())
                return;
            // Most additions bring back one of the farm's agents (deleted earlier, or a repeated
            // address the dialog refuses), so the churn goes on for the whole run; the others
            // are an invalid address or one where nothing listens.
            const int roll = pick(6);
            const size_t agent = size_t(pick(int(farmIps.size())));
            std::string ip = farmIps[agent], port = std::to_string(farmPorts[agent]);
            if (roll == 0)
                ip = "bad,ip";
            else if (roll == 1)
                ip = "127.0.91." + std::to_string(1 + pick(20)), port = "10012";
            if (test::answerHostDialog(ip, "soak" + std::to_string(pick(100)), port, roll != 5)) {
                std::printf("  answered the host dialog (%s %s:%s)\n", roll == 5 ? "cancel" : "OK",
                            ip.c_str(), port.c_str());
                return;
            }
            const bool yes = pick(2);
            // The exit confirmation is always answered No: the soak goes on.
            const bool exit = qobject_cast<QMessageBox *>(test::openModal()) &&
                              fromQt(qobject_cast<QMessageBox *>(test::openModal())->text())
                                      .find("退出") != std::string::npos;
            test::answerMessageBox(yes && !exit);
            std::printf("  answered a message box (%s)\n", yes && !exit ? "Yes" : "No");
        });
    }

    void step()
    {
        if (done)
            return;
        if (test::openModal()) {
            answerLater();
            return;
        }
        check();
        if (failed || pick(3))  // on average one action every 120 ms
            return;
        static const std::vector<Action> all = actions();
        const Action &action = all[size_t(pick(int(all.size())))];
        ++count;
        lastAction = action.first;
        std::printf("action %ld: %s\n", count, action.first);
        std::fflush(stdout);
        // From a timer of its own: an action that opens a modal dialog does not return until
        // the dialog is answered, and Qt does not fire the stepping timer again meanwhile. A
        // command that asks several times (a delete walk) lets events run between its
        // dialogs, so another action may start and end inside it: the commands still running
        // are counted.
        QTimer::singleShot(0, [this, run = action.second] {
            ++running;
            run();
            --running;
        });
    }

    void fail(const std::string &why)
    {
        failed = true;
        std::printf("FAILED after action %ld (%s), seed %u: %s\n", count, lastAction.c_str(),
                    options.seed, why.c_str());
        std::fflush(stdout);
        finish();
    }

    void check()
    {
        // Between two dialogs of one command (a delete walk asks for every host) its bracket
        // is open and its saves are still to come: those checks wait until it has returned.
        for (RecordSet *table : {&window->hostTable(), &window->pbuTable()})
            if (!running && table->suspended())
                return fail("a table is left suspended after the command returned");
        std::string text;
        std::ifstream log(logPath + "MonitorLog_" + window->timeStamp().substr(0, 10) + ".log",
                          std::ios::binary);
        log.seekg(logOffset);
        text.assign(std::istreambuf_iterator<char>(log), {});
        logOffset += long(text.size());
        if (text.find("xception from") != std::string::npos)
            return fail("the log has an exception line: " + text.substr(text.find("xception from") - 1, 200));
        std::ifstream list(listPath, std::ios::binary);
        const std::string saved{std::istreambuf_iterator<char>(list), {}};
        std::vector<std::string> inFile;
        for (const auto &host : parseHostList(saved))
            inFile.push_back(host->getChannelIP() + " " + host->getHostName() + " " + host->getPort());
        std::vector<std::string> inPool;
        for (const auto &[ip, host] : window->hostPool())
            inPool.push_back(ip + " " + host->getHostName() + " " + host->getPort());
        if (!running && inFile != inPool && ++listMismatches > 30)  // a save follows every change at once
            return fail("the host list file does not hold the pool's hosts");
        if (inFile == inPool)
            listMismatches = 0;
        const long rss = residentKb();
        peakKb = std::max(peakKb, rss);
        if (baselineKb > 0 && rss > baselineKb + 200 * 1024)
            return fail("resident memory grew from " + std::to_string(baselineKb) + " to " +
                        std::to_string(rss) + " kB");
    }

    void finish()
    {
        if (done)
            return;
        done = true;
        timer.stop();
        std::printf("soak: seed %u, %ld actions, %zu hosts at the end, RSS %ld kB after 15 s, "
                    "%ld kB at the end, peak %ld kB: %s\n",
                    options.seed, count, window->hostPool().size(), baselineKb, residentKb(),
                    peakKb, failed ? "FAILED" : "passed");
        std::fflush(stdout);
        // A dialog may still be open: its loop ends first, then the application's.
        if (test::openModal())
            test::answerMessageBox(false);
        QTimer::singleShot(0, [] { QApplication::exit(); });
    }

    Options options;
    std::mt19937 random;
    std::vector<std::string> farmIps;
    std::vector<int> farmPorts;
    std::unique_ptr<TF_Main> window;
    QTimer timer;
    std::string logPath, listPath, lastAction;
    long logOffset = 0, count = 0, baselineKb = 0, peakKb = 0;
    int listMismatches = 0;
    bool answering = false, done = false, failed = false;
    int running = 0;
};

int usage()
{
    std::printf("Usage: operator_soak [--seconds S | --minutes M] [--seed N] [--hosts N] [--dir DIR]\n"
                "Runs the console (offscreen) against an agent farm on 127.0.90.x and performs\n"
                "random operator actions from the seed; exits 1 naming the action after which a\n"
                "check failed.\n");
    return 2;
}

} // namespace
} // namespace tarvo

int main(int argc, char **argv)
{
    using namespace tarvo;
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--help" || arg == "-h" || !value)
            return usage();
        ++i;
        if (arg == "--seconds") options.seconds = std::atof(value);
        else if (arg == "--minutes") options.seconds = 60 * std::atof(value);
        else if (arg == "--seed") options.seed = uint32_t(std::strtoul(value, nullptr, 10));
        else if (arg == "--hosts") options.hosts = std::atoi(value);
        else if (arg == "--dir") options.dir = value;
        else return usage();
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir temporary;
    const std::string dir = options.dir.empty() ? temporary.path().toStdString() : options.dir;

    farm::FarmOptions farmOptions;
    farmOptions.hosts = options.hosts;
    farmOptions.firstAddress = "127.0.90.1";
    farmOptions.port = 0;
    farmOptions.behaviour.pbusPerHost = 4;
    farmOptions.behaviour.stateRate = 0.05;
    farmOptions.dropRate = 0.01;
    farmOptions.logInterval = 5;
    farmOptions.seed = options.seed;
    farm::Farm farm(farmOptions);
    farm.listen();
    {
        std::ofstream(dir + "/TarvoMonitor.CFG", std::ios::binary)
            << farm::hostListText(farm.addresses(), farm.ports());
        std::ofstream(dir + "/TarvoMonitor.ini", std::ios::binary) << "[Interval]\r\nTime=1\r\n";
    }
    std::atomic<bool> stop{false};
    std::thread agents([&] { farm.run(stop); });
    std::printf("soak: seed %u, %d agents, %.0f s, in %s\n", options.seed, options.hosts,
                options.seconds, dir.c_str());
    std::fflush(stdout);
    int result = 1;
    {
        Soak soak(options, farm.addresses(), farm.ports());
        soak.start(dir);
        app.exec();
        result = soak.result();
    }
    stop = true;
    agents.join();
    std::printf("farm: %llu connections accepted, %llu status answers, %llu log records\n",
                (unsigned long long)farm.counts().accepted.load(),
                (unsigned long long)farm.counts().statusAnswers.load(),
                (unsigned long long)farm.counts().logMessages.load());
    return result;
}
