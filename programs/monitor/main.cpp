// TarvoMonitor: parses the command line, takes the single-instance lock and runs the console.
#include "app/AlarmCommand.h"
#include "app/AppTexts.h"
#include "app/AutoReconnect.h"
#include "app/CheckResult.h"
#include "app/ConsolePaths.h"
#include "app/LinkStats.h"
#include "app/ResourceAlarms.h"
#include "app/Fmain.h"
#include "app/HeadlessConsole.h"
#include "app/PollOnce.h"
#include "app/ProgramOptions.h"
#include "app/SingleInstance.h"
#include "app/Translations.h"
#include "framework/QtText.h"
#include "metrics/ConsoleTimings.h"
#include "metrics/Metrics.h"
#include "platform/Gbk.h"
#include "protocol/Message.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#ifndef TARVO_VERSION_TEXT
#define TARVO_VERSION_TEXT "0"
#endif

using namespace tarvo;

namespace {

int signalPipe[2] = {-1, -1};

// Rows of the tables the metrics update takes per pass of the event loop.
constexpr int kMetricsRowsPerStep = 2000;

void onSignal(int)
{
    const char byte = 1;
    (void)!::write(signalPipe[1], &byte, 1);
}

// One socket per host: a list of thousands of hosts needs more descriptors than the usual
// soft limit of 1024. The soft limit goes up to the hard one (at most 65536).
void raiseOpenFileLimit()
{
    rlimit limit{};
    const rlim_t wanted = 65536;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < wanted &&
        limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = std::min(limit.rlim_max, wanted);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

std::string executablePath()
{
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return "TarvoMonitor";
    return std::string(path, static_cast<size_t>(n));
}

} // namespace

int main(int argc, char *argv[])
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ProgramOptions options = parseProgramOptions(arguments);
    // The program's own name, not the path it was started by (the man page is made from --help).
    std::string program = argc > 0 ? argv[0] : "TarvoMonitor";
    program = program.substr(program.rfind('/') + 1);
    if (!options.error.empty()) {
        // A check plugin's bad usage is UNKNOWN (3), told on its status line.
        const bool check =
            std::find(arguments.begin(), arguments.end(), "--once") != arguments.end();
        if (check)
            std::cout << unknownCheck("bad usage: " + options.error).statusLine << std::endl;
        std::cerr << program << ": " << options.error << "\n" << usageText(program);
        return check ? CheckResult::Unknown : 2;
    }
    if (options.help) {
        std::cout << usageText(program);
        return 0;
    }
    if (options.version) {
        std::cout << "TarvoMonitor " << TARVO_VERSION_TEXT << " ("
                  << gbk::toUtf8(SOFTWARE_VERSION) << "), protocol " << PROTOCOL_VERSION << "\n";
        return 0;
    }
    // Installed and started without --dir or --ini: the user's own folders.
    const ConsolePaths paths = consolePaths(options, executablePath());
    if (paths.perUser) {
        std::error_code ignored;
        std::filesystem::create_directories(paths.directory, ignored);
        std::filesystem::create_directories(std::filesystem::path(paths.iniPath).parent_path(),
                                            ignored);
    }
    // A relative --ini names a file of the directory the console was started in.
    std::string iniPath = paths.iniPath;
    if (!iniPath.empty() && iniPath.front() != '/') {
        char start[4096];
        if (::getcwd(start, sizeof start))
            iniPath = std::string(start) + "/" + iniPath;
    }
    if (!paths.directory.empty() && ::chdir(paths.directory.c_str()) != 0) {
        std::perror(("TarvoMonitor: cannot change to " + paths.directory).c_str());
        return options.once ? CheckResult::Unknown : 1;
    }
    raiseOpenFileLimit();
    if (options.headless && !std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ensureRuntimeDirectory();

    QApplication app(argc, argv);
    // The application's title is the product's title (the desktop's name of the program).
    QApplication::setApplicationName(qtText(PRODUCT_TITLE));
    installChineseTranslations(app);

    // --once runs beside an open console: it takes no single-instance lock.
    const QString baseName = QString::fromStdString(
        options.instanceName.empty() ? INSTANCE_NAME : options.instanceName);
    SingleInstance instance(defaultInstanceName(baseName), QDir::tempPath());
    if (!options.once && !instance.acquire()) {
        // Without a window there is nothing to bring forward: a second headless console of
        // the same instance is a mistake (two services, a unit and a shell) and says so.
        if (options.headless) {
            std::cerr << "TarvoMonitor: already running (instance " << baseName.toStdString()
                      << ", lock " << instance.lockFilePath().toStdString()
                      << "); this headless console ends\n";
            return 1;
        }
        if (instance.notifyRunning())
            std::cerr << "TarvoMonitor already runs; its window was brought to the front.\n";
        else
            std::cerr << "TarvoMonitor already runs (lock " << instance.lockFilePath().toStdString()
                      << ") but did not answer.\n";
        return 0;
    }

    MainOptions mainOptions;
    mainOptions.settingsPath = iniPath.empty() ? settingsPathFor(executablePath()) : iniPath;
    mainOptions.settingsNamed = !iniPath.empty() && !paths.perUser;
    mainOptions.confirmExit = !options.headless;
    // Fed by the links while the window lives: declared before it.
    ConsoleTimings timings;
    std::unique_ptr<TF_Main> window;
    try {
        window = std::make_unique<TF_Main>(mainOptions);
    } catch (const std::exception &e) {
        if (options.once)
            std::cout << unknownCheck(e.what()).statusLine << std::endl;
        std::cerr << "TarvoMonitor: " << e.what() << "\n";
        if (!options.headless)
            QMessageBox::critical(nullptr, QStringLiteral("TarvoMonitor"), QString::fromLocal8Bit(e.what()));
        return options.once ? CheckResult::Unknown : 1;
    }
    LinkStats linkStats(window->agentLinks());
    // Recovery without a person: headless by default, in the window only when asked for.
    std::unique_ptr<AutoReconnect> reconnect;
    if (const int bound = reconnectBoundSeconds(options); bound > 0) {
        AutoReconnect::Settings settings;
        settings.boundMs = bound * 1000;
        reconnect = std::make_unique<AutoReconnect>(window->agentLinks(), window->hostPool(),
                                                    settings, &linkStats);
        window->writeLog("自动重连: 断开的探针在" + std::to_string(bound) + "秒内重新连接", false, false);
    }
    // The alarm command: every event that beeps, and every resource alert.
    std::unique_ptr<AlarmCommand> alarmCommand;
    std::unique_ptr<ResourceAlarms> resourceAlarms;
    if (!options.onAlarm.empty()) {
        AlarmCommand::Settings settings;
        settings.command = options.onAlarm;
        alarmCommand = std::make_unique<AlarmCommand>(settings, [&window](const std::string &text) {
            window->writeLog(text, false, true);
        });
        QObject::connect(window.get(), &TF_Main::alarmRaised, window.get(),
                         [&alarmCommand](const AlarmEvent &event) { alarmCommand->raise(event); });
        resourceAlarms = std::make_unique<ResourceAlarms>(
            window->hostPool(), [&window] { return window->updatePeriod(); },
            [&alarmCommand](const AlarmEvent &event) { alarmCommand->raise(event); });
    }
    QObject::connect(&instance, &SingleInstance::activationRequested, window.get(),
                     &TF_Main::bringToFront);

    // Metrics for dashboards: refreshed at every poll from what the tables show.
    ConsoleMetricsSource metricsSource(*window);
    std::unique_ptr<MetricsExporter> metrics;
    std::unique_ptr<StallWatch> stallWatch;
    QTimer metricsSteps;
    if (!options.metrics.empty()) {
        try {
            metrics = std::make_unique<MetricsExporter>(
                options.metrics, MetricsBuild{TARVO_VERSION_TEXT, SOFTWARE_VERSION}, &timings);
        } catch (const std::exception &e) {
            std::cerr << "TarvoMonitor: " << e.what() << "\n";
            return 2;
        }
        window->writeLog("Metrics: http://" + metrics->listenAddress() + "/metrics", false, true);
        metrics->setLinkStats(&linkStats);
        metrics->update(metricsSource);
        // The console's own health: answer latency and event-loop stalls.
        window->agentLinks().setAnswerTimer([&timings](double seconds) { timings.recordAnswer(seconds); });
        stallWatch = std::make_unique<StallWatch>(timings);
        // After each poll the update runs in steps of a few thousand rows, each in its own
        // pass of the event loop: with 100 000 PBUs one whole update would hold the window
        // for a noticeable time.
        metricsSteps.setInterval(0);
        QObject::connect(&metricsSteps, &QTimer::timeout, window.get(), [&metrics, &metricsSource, &metricsSteps] {
            if (metrics->updateStep(metricsSource, kMetricsRowsPerStep))
                metricsSteps.stop();
        });
        QObject::connect(window.get(), &TF_Main::pollTick, window.get(), [&metrics, &metricsSteps] {
            metrics->beginUpdate();
            metricsSteps.start();
        });
    }

    if (!options.headless) {
        window->show();
        return app.exec();
    }

    // Without a window: the error list goes to the terminal as it grows and the tables after
    // every poll; SIGINT and SIGTERM end the console in order. --once prints only its check
    // result: the status line first, as a check plugin's caller reads it.
    std::unique_ptr<HeadlessConsole> terminal;
    if (!options.once) {
        terminal = std::make_unique<HeadlessConsole>(*window, stdout, HeadlessConsole::modeOf(stdout));
        terminal->printTables(true);
    }
    std::unique_ptr<PollOnce> once;
    int exitCode = CheckResult::Unknown;  // --once ended before it could judge (a signal)
    if (options.once) {
        once = std::make_unique<PollOnce>(*window, options.onceSeconds * 1000);
        QObject::connect(once.get(), &PollOnce::finished, &app, [&] {
            const CheckResult result = judgeCheck(window->hostTable(), window->pbuTable(),
                                                  window->hostPool(), once->answeredSet(),
                                                  window->unreadableFiles());
            std::string text = result.statusLine + "\n";
            for (const std::string &line : result.details)
                text += line + "\n";
            // (Appended piece by piece: g++ 12 warns wrongly of "\n" + a temporary at -O3.)
            text += '\n';
            text += formatHostTable(window->hostTable());
            if (!window->pbuTable().isEmpty()) {
                text += '\n';
                text += formatPbuTable(window->pbuTable());
            }
            std::fputs(text.c_str(), stdout);
            std::fflush(stdout);
            exitCode = result.code;
            window->close();
            app.quit();
        });
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&window, &app] {
        char byte;
        (void)!::read(signalPipe[0], &byte, 1);
        window->close();
        app.quit();
    });
    const int code = app.exec();
    return options.once ? exitCode : code;
}
