// QMessageBox implementation of the message boxes.
#include "framework/QtDialogs.h"

#include "framework/QtText.h"

#include <QMessageBox>

namespace tarvo {

namespace {
QMessageBox::Icon iconOf(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Information: return QMessageBox::Information;
    case MessageKind::Warning: return QMessageBox::Warning;
    case MessageKind::Error: return QMessageBox::Critical;
    case MessageKind::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}
} // namespace

void QtDialogs::message(MessageKind kind, const std::string& caption, const std::string& text)
{
    QMessageBox box(iconOf(kind), qtText(caption), qtText(text), QMessageBox::Ok, parent_);
    box.exec();
}

bool QtDialogs::confirm(MessageKind kind, const std::string& caption, const std::string& text)
{
    QMessageBox box(iconOf(kind), qtText(caption), qtText(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace tarvo
