// The record set's change notification: listeners, and the changes of a suspend bracket
// batched into one delivery at resume.
#include "framework/RecordSet.h"

#include <algorithm>
#include <stdexcept>

namespace tarvo {

void RecordSet::addListener(RecordSetListener* listener)
{
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void RecordSet::removeListener(RecordSetListener* listener)
{
    std::erase(listeners_, listener);
}

void RecordSet::notifyInserted(int position)
{
    if (suspended())
        return;  // rows at or above batchFirstNewId_ are reported at resume
    for (auto* listener : std::vector(listeners_))
        listener->rowsInserted(position, position);
}

void RecordSet::notifyRemoved(RecId id, int position)
{
    if (suspended()) {
        if (batchReset_)
            return;
        batchChanged_.erase(id);
        if (id < batchFirstNewId_)
            batchRemoved_.push_back(id);
        return;
    }
    for (auto* listener : std::vector(listeners_))
        listener->rowsRemoved(position, position);
}

void RecordSet::notifyChanged(RecId id, int position, const std::vector<int>& fields)
{
    if (suspended()) {
        if (batchReset_ || id >= batchFirstNewId_)
            return;
        auto& mask = batchChanged_[id];
        mask.resize(fields_.size());
        for (int f : fields)
            mask[f] = true;
        return;
    }
    for (auto* listener : std::vector(listeners_))
        listener->rowsChanged(position, position, fields);
}

void RecordSet::notifyCurrent()
{
    if (suspended()) {
        batchCurrent_ = true;
        return;
    }
    for (auto* listener : std::vector(listeners_))
        listener->currentChanged();
}

void RecordSet::suspend()
{
    if (suspendDepth_++ > 0)
        return;
    batchFirstNewId_ = nextId_;
    batchRemoved_.clear();
    batchChanged_.clear();
    batchReset_ = false;
    batchCurrent_ = false;
    batchStartCurrent_ = currentRecId();
}

void RecordSet::resume()
{
    // A guard's bracket is ended by its guard alone (it lowers heldDepth_ first).
    if (suspendDepth_ <= heldDepth_)
        return;
    if (--suspendDepth_ > 0)
        return;
    deliverBatch();
}

void RecordSet::resumeUnheld()
{
    while (suspendDepth_ > heldDepth_)
        resume();
}

SuspendGuard::~SuspendGuard()
{
    --set_.heldDepth_;
    try {
        set_.resume();
    } catch (...) {
        // A listener that fails here must not end the program from a destructor; the rows
        // are intact and the next change reaches it again.
    }
}

void RecordSet::deliverBatch()
{
    auto listeners = listeners_;
    bool current = batchCurrent_ && (batchReset_ || currentRecId() != batchStartCurrent_);
    batchCurrent_ = false;
    if (batchReset_) {
        batchReset_ = false;
        for (auto* listener : listeners)
            listener->reset();
        for (auto* listener : listeners)
            listener->currentChanged();
        return;
    }

    // Old position of a deleted row = surviving older rows before it + deleted rows before it.
    std::vector<RecId> removed = std::move(batchRemoved_);
    batchRemoved_.clear();
    std::sort(removed.begin(), removed.end());
    std::vector<int> oldPositions;
    oldPositions.reserve(removed.size());
    for (size_t k = 0; k < removed.size(); ++k) {
        auto survivors = std::lower_bound(rows_.begin(), rows_.end(), removed[k],
                                          [](const Row& row, RecId id) { return row.id < id; });
        oldPositions.push_back(static_cast<int>(survivors - rows_.begin()) + static_cast<int>(k));
    }
    for (size_t end = oldPositions.size(); end > 0;) {
        size_t begin = end - 1;
        while (begin > 0 && oldPositions[begin - 1] + 1 == oldPositions[begin])
            --begin;
        for (auto* listener : listeners)
            listener->rowsRemoved(oldPositions[begin], oldPositions[end - 1]);
        end = begin;
    }

    auto firstNew = std::lower_bound(rows_.begin(), rows_.end(), batchFirstNewId_,
                                     [](const Row& row, RecId id) { return row.id < id; });
    if (firstNew != rows_.end()) {
        int first = static_cast<int>(firstNew - rows_.begin());
        for (auto* listener : listeners)
            listener->rowsInserted(first, count() - 1);
    }

    if (!batchChanged_.empty()) {
        int low = count();
        int high = -1;
        std::vector<bool> mask(fields_.size());
        for (const auto& [id, fields] : batchChanged_) {
            int position = positionOf(id);
            if (position < 0)
                continue;
            low = std::min(low, position);
            high = std::max(high, position);
            for (size_t f = 0; f < fields.size(); ++f)
                mask[f] = mask[f] || fields[f];
        }
        batchChanged_.clear();
        std::vector<int> fields;
        for (size_t f = 0; f < mask.size(); ++f) {
            if (mask[f])
                fields.push_back(static_cast<int>(f));
        }
        if (high >= 0) {
            for (auto* listener : listeners)
                listener->rowsChanged(low, high, fields);
        }
    }

    if (current) {
        for (auto* listener : listeners)
            listener->currentChanged();
    }
}

} // namespace tarvo
