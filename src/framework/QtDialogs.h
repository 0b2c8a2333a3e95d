// Message boxes shown with QMessageBox, modal to a parent window.
#pragma once

#include "framework/Dialogs.h"

class QWidget;

namespace tarvo {

class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}

    void message(MessageKind kind, const std::string& caption, const std::string& text) override;
    bool confirm(MessageKind kind, const std::string& caption, const std::string& text) override;

private:
    QWidget* parent_;
};

} // namespace tarvo
