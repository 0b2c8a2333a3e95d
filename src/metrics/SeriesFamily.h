// A family of series (one metric name, one help text, series told apart by their labels) that
// adds and removes a series in constant time. prometheus::Family looks for the series to
// remove among all of them, so thousands of PBUs leaving at once cost the square of their
// number; this one keeps the place of every series. It collects as prometheus::Family does:
// nothing while it holds no series, one series per label set (adding labels that are there
// already gives that series, which stays until it has been removed as often as added).
// Private to the exporter.
#pragma once

#include <prometheus/client_metric.h>
#include <prometheus/collectable.h>
#include <prometheus/detail/utils.h>
#include <prometheus/labels.h>
#include <prometheus/metric_family.h>

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace tarvo::metrics {

template <typename Metric>
class SeriesFamily : public prometheus::Collectable
{
public:
    SeriesFamily(std::string name, std::string help) : name(std::move(name)), help(std::move(help))
    {}

    Metric &add(const prometheus::Labels &labels)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        const auto [found, inserted] = byLabels.try_emplace(labels, series.size());
        if (!inserted) {
            Series &existing = series[found->second];
            ++existing.added;
            return *existing.metric;
        }
        series.push_back({&found->first, std::make_unique<Metric>(), 1});
        Metric &metric = *series.back().metric;
        place.emplace(&metric, series.size() - 1);
        return metric;
    }

    // A metric this family did not give out is ignored.
    void remove(Metric *metric)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        const auto found = place.find(metric);
        if (found == place.end())
            return;
        const size_t index = found->second;
        if (--series[index].added > 0)
            return;
        place.erase(found);
        byLabels.erase(*series[index].labels);
        if (index + 1 != series.size()) {
            series[index] = std::move(series.back());
            place[series[index].metric.get()] = index;
            byLabels[*series[index].labels] = index;
        }
        series.pop_back();
    }

    // The series starts again from a new metric at its place, for every holder of it (a
    // counter whose count went back). A metric this family did not give out is ignored.
    void restart(Metric *metric)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (place.count(metric) == 0)
            return;
        std::destroy_at(metric);
        std::construct_at(metric);
    }

    size_t size() const
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return series.size();
    }

    std::vector<prometheus::MetricFamily> Collect() const override
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (series.empty())
            return {};
        prometheus::MetricFamily family;
        family.name = name;
        family.help = help;
        family.type = Metric::metric_type;
        family.metric.reserve(series.size());
        for (const Series &one : series) {
            prometheus::ClientMetric collected = one.metric->Collect();
            collected.label.reserve(one.labels->size());
            for (const auto &[labelName, value] : *one.labels)
                collected.label.push_back({labelName, value});
            family.metric.push_back(std::move(collected));
        }
        return {std::move(family)};
    }

private:
    struct Series
    {
        const prometheus::Labels *labels;  // the key in byLabels, which never moves
        std::unique_ptr<Metric> metric;
        size_t added;
    };

    const std::string name, help;
    mutable std::mutex mutex;
    std::vector<Series> series;
    // Node-based: a key stays where it is while others come and go.
    std::unordered_map<prometheus::Labels, size_t, prometheus::detail::LabelHasher> byLabels;
    std::unordered_map<const Metric *, size_t> place;
};

// The families of the exporter in the order they were made, collected in that order.
class SeriesFamilies : public prometheus::Collectable
{
public:
    template <typename Metric>
    SeriesFamily<Metric> &make(std::string name, std::string help)
    {
        auto family = std::make_shared<SeriesFamily<Metric>>(std::move(name), std::move(help));
        SeriesFamily<Metric> &made = *family;
        families.push_back(std::move(family));
        return made;
    }

    std::vector<prometheus::MetricFamily> Collect() const override
    {
        std::vector<prometheus::MetricFamily> collected;
        for (const auto &family : families)
            for (prometheus::MetricFamily &one : family->Collect())
                collected.push_back(std::move(one));
        return collected;
    }

private:
    std::vector<std::shared_ptr<prometheus::Collectable>> families;
};

} // namespace tarvo::metrics
