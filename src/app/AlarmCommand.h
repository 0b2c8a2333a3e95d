// --on-alarm COMMAND: runs a command for every alarm event, with the event in TARVO_*
// environment variables (UTF-8), without a shell, a few at once, each with a time-out.
#pragma once

#include "display/AlarmEvent.h"

#include <QObject>
#include <QProcessEnvironment>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QProcess;

namespace tarvo {

class AlarmCommand : public QObject
{
public:
    struct Settings
    {
        std::string command;      // program and arguments, split at blanks (no shell)
        int mostAtOnce = 4;       // commands running at the same time
        int mostWaiting = 100;    // events queued behind them; beyond, an event is dropped
        int timeoutMs = 10000;    // a command running longer is killed
        // Time of an event as TARVO_TIME shows it (null: the local time, ISO 8601).
        std::function<std::string()> now;
    };
    // Where failures, time-outs and dropped events are reported (the console's writeLog
    // with the error list).
    using Report = std::function<void(const std::string &gbkText)>;

    AlarmCommand(Settings settings, Report report);
    ~AlarmCommand() override;

    // Starts the command for `event`, or queues it when mostAtOnce are running. Never waits.
    void raise(const AlarmEvent &event);

    // The variables a command gets for `event` (UTF-8 values), at time `time`.
    static std::vector<std::pair<std::string, std::string>> variables(const AlarmEvent &event,
                                                                      const std::string &time);

    int running() const { return int(processes.size()); }
    size_t waiting() const { return queue.size(); }

private:
    struct Waiting
    {
        AlarmEvent event;
        std::string time;
    };
    void start(const Waiting &next);
    void finished(QProcess *process);
    std::string name() const;

    Settings settings;
    Report report;
    std::vector<std::string> argv;
    std::deque<Waiting> queue;
    std::vector<QProcess *> processes;
    bool droppedReported = false;
};

} // namespace tarvo
