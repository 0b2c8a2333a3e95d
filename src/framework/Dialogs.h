// Message boxes behind one small interface, so the console's logic can be answered by tests.
#pragma once

#include <string>

namespace tarvo {

enum class MessageKind { Information, Warning, Error, Question };

// All texts are GBK; implementations convert at the widget edge.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A message box with one OK button; returns when the operator has closed it.
    virtual void message(MessageKind kind, const std::string& caption, const std::string& text) = 0;
    // A message box with the buttons Yes and No; true for Yes. Closing it counts as No.
    virtual bool confirm(MessageKind kind, const std::string& caption, const std::string& text) = 0;

    void information(const std::string& caption, const std::string& text)
    {
        message(MessageKind::Information, caption, text);
    }
    void warning(const std::string& caption, const std::string& text)
    {
        message(MessageKind::Warning, caption, text);
    }
    void error(const std::string& caption, const std::string& text)
    {
        message(MessageKind::Error, caption, text);
    }
    bool askYesNo(const std::string& caption, const std::string& text)
    {
        return confirm(MessageKind::Question, caption, text);
    }
};

} // namespace tarvo
