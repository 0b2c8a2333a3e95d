// Scripted message boxes for tests.
#include "doubles/ScriptedDialogs.h"

namespace tarvo {

void ScriptedDialogs::message(MessageKind kind, const std::string& caption, const std::string& text)
{
    shown_.push_back({false, kind, caption, text, false});
}

bool ScriptedDialogs::confirm(MessageKind kind, const std::string& caption, const std::string& text)
{
    bool yes = defaultAnswer_;
    if (!answers_.empty()) {
        yes = answers_.front();
        answers_.pop_front();
    }
    shown_.push_back({true, kind, caption, text, yes});
    return yes;
}

} // namespace tarvo
