// The series bookkeeping of the metrics exporter: rows found by their raw texts and the
// series of one family as of the last update. Private to Metrics.cpp.
#pragma once

#include "SeriesFamily.h"

#include <prometheus/counter.h>
#include <prometheus/gauge.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarvo::metrics {

using prometheus::Labels;

// The rows of the last update by a key made of their raw texts, each with a slot number that
// the series sets of those rows share, so that a row costs one look-up whatever the number of
// its series. Rows come in ascending record order at every update: a row found at the same
// record with the same key as last time takes its slot without any hashing. A key that an
// update did not see gives its slot back.
class RowIndex
{
public:
    void begin()
    {
        ++generation;
        cursor = 0;
        seenKeys = 0;
        next.clear();
    }

    // `order` ascends within one update (the row's record number, say). A row found where
    // it was with the key it had hands its key text on: no text is made for it.
    size_t slotOf(int64_t order, std::string_view key)
    {
        while (cursor < last.size() && last[cursor].order < order)
            ++cursor;
        size_t slot = 0;
        if (cursor < last.size() && last[cursor].order == order && last[cursor].key == key) {
            slot = last[cursor].slot;
            next.push_back(std::move(last[cursor]));
        } else {
            auto found = byKey.find(key);
            if (found == byKey.end()) {
                size_t fresh = seen.size();
                if (!freeSlots.empty()) {
                    fresh = freeSlots.back();
                    freeSlots.pop_back();
                } else {
                    seen.push_back(0);
                }
                found = byKey.emplace(std::string(key), fresh).first;
            }
            slot = found->second;
            next.push_back({order, std::string(key), slot});
        }
        if (seen[slot] != generation) {
            seen[slot] = generation;
            ++seenKeys;
        }
        return slot;
    }

    // Keeps a slot this update saw no row for (a host that is down keeps its PBUs' slots).
    void keepSlot(size_t slot)
    {
        if (slot < seen.size() && seen[slot] != generation) {
            seen[slot] = generation;
            ++seenKeys;
        }
    }

    // After every series set has finished: forgets the keys this update did not see.
    void finish()
    {
        last.swap(next);
        if (seenKeys == byKey.size())
            return;
        for (auto it = byKey.begin(); it != byKey.end();) {
            if (seen[it->second] == generation) {
                ++it;
                continue;
            }
            freeSlots.push_back(it->second);
            it = byKey.erase(it);
        }
    }

private:
    struct Known
    {
        int64_t order;
        std::string key;
        size_t slot;
    };

    // Looked up by a view of the key, without making a text of it.
    struct KeyHash
    {
        using is_transparent = void;
        size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
    };
    std::unordered_map<std::string, size_t, KeyHash, std::equal_to<>> byKey;
    std::vector<Known> last, next;
    size_t cursor = 0;
    std::vector<uint64_t> seen;
    std::vector<size_t> freeSlots;
    size_t seenKeys = 0;
    uint64_t generation = 0;
};

// The series of one family as of the last update, by row slot. An update marks every series
// it sets; finish() removes the ones it did not set, so rows that are gone leave the output.
// The labels (UTF-8) are made only when a series is created, and kept by the family alone.
template <typename Metric, typename FamilyType = SeriesFamily<Metric>>
class SeriesSet
{
public:
    explicit SeriesSet(FamilyType &family) : family(family) {}

    void begin() { ++generation; }

    void finish()
    {
        for (Entry &entry : entries) {
            if (!entry.metric || entry.seen == generation)
                continue;
            family.remove(entry.metric);
            entry = Entry{};
        }
    }

    template <typename MakeLabels>
    void set(size_t slot, const MakeLabels &makeLabels, double value)
        requires std::same_as<Metric, prometheus::Gauge>
    {
        // Most values stay from one update to the next: an unchanged one is not set again.
        bool created = false;
        Entry *entry = touch(slot, makeLabels, &created);
        if (entry && (created || entry->last != value)) {
            entry->metric->Set(value);
            entry->last = value;
        }
    }

    // A counter that shows the agent's count. Growth is added; a count that went back (the
    // program restarted, or a new trading day began) starts a new series at the new count,
    // which a scraper reads as an ordinary counter reset.
    template <typename MakeLabels>
    void follow(size_t slot, const MakeLabels &makeLabels, double count)
        requires std::same_as<Metric, prometheus::Counter>
    {
        if (count < 0)
            return;
        bool created = false;
        Entry *entry = touch(slot, makeLabels, &created);
        if (!entry)
            return;
        if (created || count >= entry->last) {
            const double growth = created ? count : count - entry->last;
            if (growth > 0)
                entry->metric->Increment(growth);
        } else {
            family.restart(entry->metric);
            entry->metric->Increment(count);
        }
        entry->last = count;
    }

    // Keeps a series that this update has no new value for.
    void keep(size_t slot)
    {
        if (slot < entries.size() && entries[slot].metric)
            entries[slot].seen = generation;
    }

private:
    struct Entry
    {
        Metric *metric = nullptr;
        double last = 0;  // a gauge's value, a counter's count, as last set
        uint64_t seen = 0;
    };

    // The series of this slot, created when new; nullptr when this update has set it already
    // (two rows with the same labels: the first one counts).
    template <typename MakeLabels>
    Entry *touch(size_t slot, const MakeLabels &makeLabels, bool *created = nullptr)
    {
        if (slot >= entries.size())
            entries.resize(slot + 1);
        Entry &entry = entries[slot];
        if (entry.metric && entry.seen == generation)
            return nullptr;
        const bool inserted = !entry.metric;
        if (inserted)
            entry.metric = &family.add(makeLabels());
        if (created)
            *created = inserted;
        entry.seen = generation;
        return &entry;
    }

    FamilyType &family;
    std::vector<Entry> entries;
    uint64_t generation = 0;
};

} // namespace tarvo::metrics
