// Test double of the message boxes: records every box and answers confirmations from a queue.
#pragma once

#include "framework/Dialogs.h"

#include <deque>
#include <string>
#include <vector>

namespace tarvo {

class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        bool confirmation = false;
        MessageKind kind = MessageKind::Information;
        std::string caption;
        std::string text;
        bool answer = false;  // what a confirmation was answered
    };

    // Queues the answer of the next confirmation (true = Yes).
    void answer(bool yes) { answers_.push_back(yes); }
    // Answer used when the queue is empty (No unless changed).
    void setDefaultAnswer(bool yes) { defaultAnswer_ = yes; }
    int pendingAnswers() const { return static_cast<int>(answers_.size()); }

    const std::vector<Shown>& shown() const { return shown_; }
    // Text of the last box; "" when none was shown.
    std::string lastText() const { return shown_.empty() ? std::string() : shown_.back().text; }
    void clearShown() { shown_.clear(); }

    void message(MessageKind kind, const std::string& caption, const std::string& text) override;
    bool confirm(MessageKind kind, const std::string& caption, const std::string& text) override;

private:
    std::deque<bool> answers_;
    bool defaultAnswer_ = false;
    std::vector<Shown> shown_;
};

} // namespace tarvo
