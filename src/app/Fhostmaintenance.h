// The host dialogs: THostMaintenance adds a host, THOSTEdit changes one.
#pragma once

#include "framework/Dialogs.h"
#include "host/HostSubjectPool.h"

#include <QDialog>
#include <QValidator>

#include <string>

class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QAction;
class QPushButton;
class QStatusBar;

namespace tarvo {

// What the dialogs need of the main window that owns them.
class HostMaintenanceOwner
{
public:
    virtual ~HostMaintenanceOwner() = default;
    virtual HostSubjectPool &hostPool() = 0;
    virtual Dialogs &dialogs() = 0;
    // Sets the latest status text and logs it to the status bar, error list and log file.
    virtual void reportStatus(const std::string &text) = 0;
};

// Refuses input whose GBK form would be longer than `limit` bytes.
class GbkLengthValidator : public QValidator
{
public:
    GbkLengthValidator(int limit, QObject *parent) : QValidator(parent), limit(limit) {}
    State validate(QString &input, int &position) const override;

private:
    int limit;
};

// Bytes of a host alias (the host table's hostName field).
inline constexpr int kAliasBytes = 40;

class THostMaintenance : public QDialog
{
    Q_OBJECT
public:
    explicit THostMaintenance(HostMaintenanceOwner &owner, QWidget *parent = nullptr);

    // Runs on "确定": true when the dialog may close with the OK result. Adds a host.
    virtual bool okAction();

    // Shows a message box of the owner (the dialog stays open).
    void showMessage(const std::string &text);

    // Components, in declaration order.
    QLabel *lblIP;
    QLineEdit *edtIP;
    QLabel *lblAlias;
    QLineEdit *edtAlias;
    QStatusBar *StatusBar;
    QMenuBar *MMnHostEdt;
    QMenu *MMnFile;
    QAction *MMnExit;
    QPushButton *BtnOK;
    QPushButton *BtnCancel;
    QLabel *lblPort;
    QLineEdit *edtPort;

protected:
    HostMaintenanceOwner &owner;

private:
    void BtnOKClick();
};

class THOSTEdit : public THostMaintenance
{
    Q_OBJECT
public:
    THOSTEdit(HostMaintenanceOwner &owner, HostSubject &host, QWidget *parent = nullptr);

    // Changes port and alias of the host when they pass the checks.
    bool okAction() override;

private:
    HostSubject &host;
};

// True while the host's agent is connected (its port must then not change).
bool hostIsConnected(const Host &host);

} // namespace tarvo
