// Running the alarm command: QProcess without a shell, bounded in number and in time.
#include "app/AlarmCommand.h"

#include "platform/Gbk.h"

#include <QDateTime>
#include <QProcess>
#include <QTimer>

#include <sstream>

namespace tarvo {

namespace {

std::string isoLocalTime()
{
    return QDateTime::currentDateTime().toOffsetFromUtc(QDateTime::currentDateTime().offsetFromUtc())
        .toString(Qt::ISODate).toStdString();
}

} // namespace

AlarmCommand::AlarmCommand(Settings alarmSettings, Report reportTo)
    : settings(std::move(alarmSettings)), report(std::move(reportTo))
{
    std::istringstream words(settings.command);
    for (std::string word; words >> word;)
        argv.push_back(word);
}

AlarmCommand::~AlarmCommand()
{
    // A console that ends leaves no command behind.
    for (QProcess *process : processes) {
        process->disconnect();
        process->kill();
        process->waitForFinished(1000);
        delete process;
    }
}

std::string AlarmCommand::name() const { return argv.empty() ? std::string() : argv.front(); }

std::vector<std::pair<std::string, std::string>> AlarmCommand::variables(const AlarmEvent &event,
                                                                         const std::string &time)
{
    return {
        {"TARVO_EVENT", std::string(alarmKindName(event.kind))},
        {"TARVO_HOST", gbk::toUtf8(event.channelIP)},
        {"TARVO_HOST_NAME", gbk::toUtf8(event.hostName)},
        {"TARVO_PROGRAM", gbk::toUtf8(event.program)},
        {"TARVO_PBU", gbk::toUtf8(event.pbu)},
        {"TARVO_STATE", gbk::toUtf8(event.state)},
        {"TARVO_TIME", time},
        {"TARVO_TEXT", gbk::toUtf8(event.text)},
    };
}

void AlarmCommand::raise(const AlarmEvent &event)
{
    if (argv.empty())
        return;
    Waiting next{event, settings.now ? settings.now() : isoLocalTime()};
    if (int(processes.size()) < settings.mostAtOnce) {
        start(next);
        return;
    }
    if (int(queue.size()) >= settings.mostWaiting) {
        if (!droppedReported)
            report("Error[报警命令" + name() + "排队已满(" + std::to_string(settings.mostWaiting) +
                   "), 之后的报警事件未执行]");
        droppedReported = true;
        return;
    }
    queue.push_back(std::move(next));
}

void AlarmCommand::start(const Waiting &next)
{
    auto *process = new QProcess;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto &[key, value] : variables(next.event, next.time))
        environment.insert(QString::fromStdString(key), QString::fromUtf8(value));
    process->setProcessEnvironment(environment);
    process->setProgram(QString::fromStdString(argv.front()));
    QStringList arguments;
    for (size_t i = 1; i < argv.size(); ++i)
        arguments << QString::fromStdString(argv[i]);
    process->setArguments(arguments);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    processes.push_back(process);

    auto *timeout = new QTimer(process);
    timeout->setSingleShot(true);
    connect(timeout, &QTimer::timeout, this, [this, process] {
        report("Error[报警命令" + name() + "运行超过" + std::to_string(settings.timeoutMs / 1000) +
               "秒, 已终止]");
        process->setProperty("timedOut", true);
        process->kill();
    });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        report("Error[报警命令" + name() + "无法启动: " +
               gbk::fromUtf8(process->errorString().toStdString()) + "]");
        finished(process);
    });
    connect(process, &QProcess::finished, this,
            [this, process](int code, QProcess::ExitStatus status) {
                if (!process->property("timedOut").toBool()) {
                    if (status == QProcess::CrashExit)
                        report("Error[报警命令" + name() + "异常结束]");
                    else if (code != 0)
                        report("Error[报警命令" + name() + "退出码" + std::to_string(code) + "]");
                }
                finished(process);
            });
    timeout->start(settings.timeoutMs);
    process->start();
}

void AlarmCommand::finished(QProcess *process)
{
    const auto found = std::find(processes.begin(), processes.end(), process);
    if (found == processes.end())
        return;
    processes.erase(found);
    process->disconnect();
    process->deleteLater();
    if (!queue.empty() && int(processes.size()) < settings.mostAtOnce) {
        Waiting next = std::move(queue.front());
        queue.pop_front();
        start(next);
    }
    if (queue.empty())
        droppedReported = false;
}

} // namespace tarvo
