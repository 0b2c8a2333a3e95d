// TarvoMonitor: parses the command line, takes the single-instance lock and runs the console.
#include "app/AppTexts.h"
#include "app/ConsoleTimings.h"
#include "app/Fmain.h"
#include "app/HeadlessConsole.h"
#include "app/Metrics.h"
#include "app/PollOnce.h"
#include "app/ProgramOptions.h"
#include "app/SingleInstance.h"
#include "app/Translations.h"
#include "framework/QtText.h"
#include "platform/Gbk.h"
#include "protocol/Message.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
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
        std::cerr << program << ": " << options.error << "\n" << usageText(program);
        return 2;
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
    // A relative --ini names a file of the directory the console was started in.
    std::string iniPath = options.iniPath;
    if (!iniPath.empty() && iniPath.front() != '/') {
        char start[4096];
        if (::getcwd(start, sizeof start))
            iniPath = std::string(start) + "/" + iniPath;
    }
    if (!options.directory.empty() && ::chdir(options.directory.c_str()) != 0) {
        std::perror(("TarvoMonitor: cannot change to " + options.directory).c_str());
        return 1;
    }
    raiseOpenFileLimit();
    if (options.headless && !std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QApplication app(argc, argv);
    // The application's title is the product's title (the desktop's name of the program).
    QApplication::setApplicationName(qtText(PRODUCT_TITLE));
    installChineseTranslations(app);

    // --once runs beside an open console: it takes no single-instance lock.
    const QString baseName = QString::fromStdString(
        options.instanceName.empty() ? INSTANCE_NAME : options.instanceName);
    SingleInstance instance(defaultInstanceName(baseName), QDir::tempPath());
    if (!options.once && !instance.acquire()) {
        if (instance.notifyRunning())
            std::cerr << "TarvoMonitor already runs; its window was brought to the front.\n";
        else
            std::cerr << "TarvoMonitor already runs (lock " << instance.lockFilePath().toStdString()
                      << ") but did not answer.\n";
        return 0;
    }

    MainOptions mainOptions;
    mainOptions.settingsPath = iniPath.empty() ? settingsPathFor(executablePath()) : iniPath;
    mainOptions.settingsNamed = !iniPath.empty();
    mainOptions.confirmExit = !options.headless;
    std::unique_ptr<TF_Main> window;
    try {
        window = std::make_unique<TF_Main>(mainOptions);
    } catch (const std::exception &e) {
        std::cerr << "TarvoMonitor: " << e.what() << "\n";
        if (!options.headless)
            QMessageBox::critical(nullptr, QStringLiteral("TarvoMonitor"), QString::fromLocal8Bit(e.what()));
        return 1;
    }
    QObject::connect(&instance, &SingleInstance::activationRequested, window.get(),
                     &TF_Main::bringToFront);

    // Metrics for dashboards: refreshed at every poll from what the tables show.
    std::unique_ptr<MetricsExporter> metrics;
    std::unique_ptr<StallWatch> stallWatch;
    QTimer metricsSteps;
    if (!options.metrics.empty()) {
        try {
            metrics = std::make_unique<MetricsExporter>(options.metrics);
        } catch (const std::exception &e) {
            std::cerr << "TarvoMonitor: " << e.what() << "\n";
            return 2;
        }
        window->writeLog("Metrics: http://" + metrics->listenAddress() + "/metrics", false, true);
        metrics->update(*window);
        // The console's own health: answer latency and event-loop stalls.
        stallWatch = std::make_unique<StallWatch>(ConsoleTimings::instance());
        // After each poll the update runs in steps of a few thousand rows, each in its own
        // pass of the event loop: with 100 000 PBUs one whole update would hold the window
        // for a noticeable time.
        metricsSteps.setInterval(0);
        QObject::connect(&metricsSteps, &QTimer::timeout, window.get(), [&metrics, &window, &metricsSteps] {
            if (metrics->updateStep(*window, kMetricsRowsPerStep))
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
    // every poll; SIGINT and SIGTERM end the console in order.
    HeadlessConsole terminal(*window, stdout,
                             options.once ? HeadlessConsole::Mode::Lines
                                          : HeadlessConsole::modeOf(stdout));
    std::unique_ptr<PollOnce> once;
    int exitCode = 1;  // --once ended before every host answered (a signal, say)
    if (options.once) {
        once = std::make_unique<PollOnce>(*window, options.onceSeconds * 1000);
        QObject::connect(once.get(), &PollOnce::finished, &app, [&] {
            terminal.printTables(true);
            exitCode = once->everyHostAnswered() ? 0 : 1;
            if (exitCode != 0)
                std::cerr << "TarvoMonitor: " << once->answered() << " of "
                          << window->hostPool().size() << " hosts answered\n";
            window->close();
            app.quit();
        });
    } else {
        terminal.printTables(true);
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
