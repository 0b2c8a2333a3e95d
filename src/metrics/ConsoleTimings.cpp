// The console's answer latency and event-loop lateness metrics.
#include "metrics/ConsoleTimings.h"

#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>

#include <algorithm>
#include <atomic>

namespace tarvo {

namespace {

std::vector<double> steps(double first, double last)
{
    std::vector<double> bounds;
    for (double b = first; b < last * 1.25; b *= 1.25)
        bounds.push_back(b);
    return bounds;
}

void raise(std::atomic<double> &largest, double value)
{
    double seen = largest.load();
    while (value > seen && !largest.compare_exchange_weak(seen, value)) {
    }
}

} // namespace

struct ConsoleTimings::Impl
{
    Impl()
        : registry(std::make_shared<prometheus::Registry>()),
          answers(prometheus::BuildHistogram()
                      .Name("tarvo_console_answer_latency_seconds")
                      .Help("Time from reading a status answer to the end of its host's update")
                      .Register(*registry)
                      .Add({}, answerBuckets())),
          answerMax(prometheus::BuildGauge()
                        .Name("tarvo_console_answer_latency_max_seconds")
                        .Help("Largest answer latency since the start")
                        .Register(*registry)
                        .Add({})),
          lateness(prometheus::BuildHistogram()
                       .Name("tarvo_console_event_loop_lateness_seconds")
                       .Help("How late the event loop ran its 10 ms watch timer")
                       .Register(*registry)
                       .Add({}, latenessBuckets())),
          latenessMax(prometheus::BuildGauge()
                          .Name("tarvo_console_event_loop_stall_max_seconds")
                          .Help("Longest stall of the event loop since the start")
                          .Register(*registry)
                          .Add({}))
    {
    }

    std::shared_ptr<prometheus::Registry> registry;
    prometheus::Histogram &answers;
    prometheus::Gauge &answerMax;
    prometheus::Histogram &lateness;
    prometheus::Gauge &latenessMax;
    std::atomic<double> largestAnswer{0};
    std::atomic<double> largestLateness{0};
};

ConsoleTimings::ConsoleTimings() : impl(std::make_shared<Impl>()) {}

std::vector<double> ConsoleTimings::answerBuckets() { return steps(20e-6, 10); }

std::vector<double> ConsoleTimings::latenessBuckets() { return steps(1e-3, 10); }

void ConsoleTimings::recordAnswer(double seconds)
{
    impl->answers.Observe(seconds);
    raise(impl->largestAnswer, seconds);
    impl->answerMax.Set(impl->largestAnswer.load());
}

void ConsoleTimings::recordLateness(double seconds)
{
    impl->lateness.Observe(seconds);
    raise(impl->largestLateness, seconds);
    impl->latenessMax.Set(impl->largestLateness.load());
}

double ConsoleTimings::largestAnswer() const { return impl->largestAnswer.load(); }

double ConsoleTimings::largestLateness() const { return impl->largestLateness.load(); }

std::shared_ptr<prometheus::Registry> ConsoleTimings::registry() const { return impl->registry; }

StallWatch::StallWatch(ConsoleTimings &consoleTimings, QObject *parent, int period)
    : QObject(parent), timings(consoleTimings), periodMs(period)
{
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(periodMs);
    connect(&timer, &QTimer::timeout, this, [this] {
        const qint64 elapsed = clock.restart();
        tick(elapsed);
    });
    clock.start();
    timer.start();
}

void StallWatch::tick(qint64 elapsedMs)
{
    timings.recordLateness(double(std::max<qint64>(0, elapsedMs - periodMs)) / 1000.0);
}

} // namespace tarvo
