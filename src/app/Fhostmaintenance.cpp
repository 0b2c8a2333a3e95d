// The add and edit dialogs of a host.
#include "app/Fhostmaintenance.h"

#include "app/AppTexts.h"
#include "app/HostInput.h"
#include "framework/QtText.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace tarvo {

QValidator::State GbkLengthValidator::validate(QString &input, int &) const
{
    return gbkText(input).size() <= size_t(limit) ? Acceptable : Invalid;
}

THostMaintenance::THostMaintenance(HostMaintenanceOwner &owner, QWidget *parent)
    : QDialog(parent), owner(owner)
{
    setWindowTitle(qtText("报盘机信息维护"));
    setObjectName(QStringLiteral("HostMaintenance"));

    lblIP = new QLabel(qtText("IP地址*"), this);
    edtIP = new QLineEdit(this);
    edtIP->setToolTip(qtText("必填字段"));
    lblAlias = new QLabel(qtText("报盘机别名"), this);
    edtAlias = new QLineEdit(this);
    edtAlias->setToolTip(qtText("选填字段"));
    // The host list keeps at most 40 bytes of alias; a Chinese character takes two.
    edtAlias->setValidator(new GbkLengthValidator(kAliasBytes, edtAlias));
    StatusBar = new QStatusBar(this);
    StatusBar->setSizeGripEnabled(false);
    MMnHostEdt = new QMenuBar(this);
    MMnFile = MMnHostEdt->addMenu(qtText("文件"));
    MMnExit = MMnFile->addAction(qtText("退出"));
    BtnOK = new QPushButton(qtText("确定"), this);
    BtnOK->setDefault(true);
    BtnCancel = new QPushButton(qtText("取消"), this);
    lblPort = new QLabel(qtText("端口号*"), this);
    edtPort = new QLineEdit(QStringLiteral("10012"), this);
    edtPort->setToolTip(qtText("必填字段"));

    lblIP->setBuddy(edtIP);
    lblAlias->setBuddy(edtAlias);
    lblPort->setBuddy(edtPort);
    edtIP->setMinimumWidth(200);

    auto *fields = new QGridLayout;
    fields->addWidget(lblIP, 0, 0);
    fields->addWidget(edtIP, 0, 1);
    fields->addWidget(lblPort, 1, 0);
    fields->addWidget(edtPort, 1, 1);
    fields->addWidget(lblAlias, 2, 0);
    fields->addWidget(edtAlias, 2, 1);
    fields->setHorizontalSpacing(12);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnOK);
    buttons->addWidget(BtnCancel);

    auto *content = new QVBoxLayout;
    content->setContentsMargins(16, 12, 16, 8);
    content->addLayout(fields);
    content->addSpacing(8);
    content->addLayout(buttons);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setMenuBar(MMnHostEdt);
    layout->addLayout(content);
    layout->addWidget(StatusBar);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Tab follows the layout: IP, port, alias, then the buttons.
    setTabOrder(edtIP, edtPort);
    setTabOrder(edtPort, edtAlias);
    setTabOrder(edtAlias, BtnOK);
    setTabOrder(BtnOK, BtnCancel);

    connect(MMnExit, &QAction::triggered, this, &QDialog::reject);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(BtnOK, &QPushButton::clicked, this, &THostMaintenance::BtnOKClick);
}

void THostMaintenance::BtnOKClick()
{
    if (okAction())
        accept();
}

void THostMaintenance::showMessage(const std::string &text)
{
    owner.dialogs().information(PRODUCT_TITLE, text);
}

bool THostMaintenance::okAction()
{
    auto host = std::make_unique<HostSubject>(gbkText(edtAlias->text()), gbkText(edtIP->text()),
                                              gbkText(edtPort->text()));
    const std::string error = host->validateHost();
    if (!error.empty()) {
        showMessage("输入信息有误 [ " + error + " ]");
        return false;
    }
    const std::string textError = checkListFileText(host->getHostName(), host->getPort());
    if (!textError.empty()) {
        showMessage("输入信息有误 [ " + textError + " ]");
        return false;
    }
    const std::string ip = normalizeIP(host->getChannelIP());
    if (ip == BAD_IP_TEXT) {
        showMessage("输入信息有误 [ IP地址有误]");
        return false;
    }
    host->setChannelIP(ip);
    if (!owner.hostPool().add(host)) {
        showMessage("该报盘机已存在");
        return false;
    }
    owner.reportStatus("添加报盘机信息:" + ip);
    return true;
}

bool hostIsConnected(const Host &host)
{
    // A host that never had a connection attempt has no status at all yet.
    const std::string &status = host.getHostStatus();
    return !status.empty() && status != "未知" && status != "停止";
}

THOSTEdit::THOSTEdit(HostMaintenanceOwner &owner, HostSubject &host, QWidget *parent)
    : THostMaintenance(owner, parent), host(host)
{
    setObjectName(QStringLiteral("HOSTEdit"));
    edtIP->setText(qtText(host.getChannelIP()));
    edtIP->setReadOnly(true);
    edtPort->setText(qtText(host.getPort()));
    edtAlias->setText(qtText(host.getHostName()));
    const bool connected = hostIsConnected(host);
    edtPort->setEnabled(!connected);
    if (connected)
        edtIP->setCursor(Qt::ArrowCursor);
}

bool THOSTEdit::okAction()
{
    const Host temporary(gbkText(edtAlias->text()), gbkText(edtIP->text()),
                         gbkText(edtPort->text()), "N", "N");
    std::string error = temporary.validateHost();
    if (error.empty())
        error = checkListFileText(temporary.getHostName(), temporary.getPort());
    if (!error.empty()) {
        showMessage("信息有误 [ " + error + " ]");
        return false;
    }
    host.setPort(temporary.getPort());
    host.setHostName(temporary.getHostName());
    host.notify();
    owner.reportStatus("修改报盘机信息:" + host.getChannelIP());
    return true;
}

} // namespace tarvo
