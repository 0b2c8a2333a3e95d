// The console's own timings: how long a status answer takes from its arrival to its host's
// row being updated, and how late the event loop runs (its stalls), as Prometheus
// histograms with their largest value. The console owns one and feeds it; the metrics
// exporter serves it.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

namespace prometheus {
class Registry;
}

namespace tarvo {

class ConsoleTimings
{
public:
    ConsoleTimings();

    // Seconds from reading a status answer to the end of its host's update.
    void recordAnswer(double seconds);
    // Seconds the event loop ran a timer late.
    void recordLateness(double seconds);

    double largestAnswer() const;
    double largestLateness() const;
    std::shared_ptr<prometheus::Registry> registry() const;

    // The answer buckets: 20 us to about 12 s, each 1.25 times the one before.
    static std::vector<double> answerBuckets();
    // The lateness buckets: 1 ms to about 10 s, the same steps.
    static std::vector<double> latenessBuckets();

private:
    struct Impl;
    std::shared_ptr<Impl> impl;
};

// Times the event loop: a timer every 10 ms records how late it fired. A loop that is busy
// for 80 ms shows a lateness of about 70 ms.
class StallWatch : public QObject
{
    Q_OBJECT
public:
    explicit StallWatch(ConsoleTimings &timings, QObject *parent = nullptr, int periodMs = 10);

    // Handles one tick `elapsedMs` after the previous one (the timer calls it).
    void tick(qint64 elapsedMs);

private:
    ConsoleTimings &timings;
    QTimer timer;
    QElapsedTimer clock;
    int periodMs;
};

} // namespace tarvo
