// The add and edit dialogs: every message, normalising, duplicates, commas.
#include "app/Fhostmaintenance.h"
#include "framework/QtText.h"
#include "doubles/ScriptedDialogs.h"

#include <QLineEdit>
#include <QPushButton>
#include <QCoreApplication>
#include <QKeyEvent>

#include <gtest/gtest.h>

namespace tarvo {
namespace {

class FakeOwner : public HostMaintenanceOwner
{
public:
    HostSubjectPool &hostPool() override { return pool; }
    Dialogs &dialogs() override { return boxes; }
    void reportStatus(const std::string &text) override { reports.push_back(text); }

    HostSubjectPool pool;
    ScriptedDialogs boxes;
    std::vector<std::string> reports;
};

struct AddCase
{
    const char *ip;
    const char *port;
    const char *alias;
    const char *message;  // "" when the host is added
};

class AddDialogTest : public ::testing::TestWithParam<AddCase>
{
};

TEST_P(AddDialogTest, ShowsTheMessageOrAddsTheHost)
{
    FakeOwner owner;
    THostMaintenance dialog(owner);
    dialog.edtIP->setText(qtText(GetParam().ip));
    dialog.edtPort->setText(qtText(GetParam().port));
    dialog.edtAlias->setText(qtText(GetParam().alias));
    const bool ok = dialog.okAction();
    const std::string expected = GetParam().message;
    EXPECT_EQ(ok, expected.empty());
    EXPECT_EQ(owner.boxes.lastText(), expected);
    EXPECT_EQ(owner.pool.size(), expected.empty() ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, AddDialogTest,
    ::testing::Values(AddCase{"10.1.2.3", "10012", "A1", ""},
                      AddCase{"010.001.002.003", "10012", "", ""},
                      AddCase{"10.1.2", "10012", "", "输入信息有误 [ IP地址有误]"},
                      AddCase{"0.0.0.0", "10012", "", "输入信息有误 [ IP地址有误 ]"},
                      AddCase{"255.255.255.255", "10012", "", "输入信息有误 [ IP地址有误 ]"},
                      AddCase{"abc", "10012", "", "输入信息有误 [ IP地址有误 ]"},
                      AddCase{"10.1.2.3", "", "", "输入信息有误 [ 请输入端口 ]"},
                      AddCase{"10.1.2.3", "10012", "上海,一号",
                              "输入信息有误 [ 报盘机别名不能包含逗号 ]"},
                      AddCase{"10.1.2.3", "10,012", "", "输入信息有误 [ 端口号不能包含逗号 ]"}));

TEST(HostDialogsTest, AddNormalisesTheAddressAndRefusesItTwice)
{
    FakeOwner owner;
    {
        THostMaintenance dialog(owner);
        dialog.edtIP->setText(QStringLiteral("010.001.002.003"));
        dialog.edtAlias->setText(qtText("上海一号"));
        EXPECT_TRUE(dialog.okAction());
    }
    ASSERT_NE(owner.pool.find("10.1.2.3"), nullptr);
    const HostSubject &host = *owner.pool.find("10.1.2.3");
    EXPECT_EQ(host.getHostName(), "上海一号");
    EXPECT_EQ(host.getPort(), "10012");
    EXPECT_EQ(host.getOesAExist(), "N");
    EXPECT_EQ(host.getOesBExist(), "N");
    EXPECT_EQ(owner.reports, std::vector<std::string>{"添加报盘机信息:10.1.2.3"});

    THostMaintenance again(owner);
    again.edtIP->setText(QStringLiteral("10.1.2.3"));
    EXPECT_FALSE(again.okAction());
    EXPECT_EQ(owner.boxes.lastText(), "该报盘机已存在");
    EXPECT_EQ(owner.pool.size(), 1u);
}

TEST(HostDialogsTest, ComponentsCarryTheirCaptionsHintsAndDefaults)
{
    FakeOwner owner;
    THostMaintenance dialog(owner);
    EXPECT_EQ(gbkText(dialog.windowTitle()), "报盘机信息维护");
    EXPECT_EQ(gbkText(dialog.edtPort->text()), "10012");
    EXPECT_EQ(gbkText(dialog.edtIP->toolTip()), "必填字段");
    EXPECT_EQ(gbkText(dialog.edtPort->toolTip()), "必填字段");
    EXPECT_EQ(gbkText(dialog.edtAlias->toolTip()), "选填字段");
    EXPECT_EQ(gbkText(dialog.BtnOK->text()), "确定");
    EXPECT_EQ(gbkText(dialog.BtnCancel->text()), "取消");
    EXPECT_TRUE(dialog.BtnOK->isDefault());
}

TEST(HostDialogsTest, AliasHoldsFortyGbkBytesNotFortyCharacters)
{
    FakeOwner owner;
    THostMaintenance dialog(owner);
    const QValidator *limit = dialog.edtAlias->validator();
    ASSERT_NE(limit, nullptr);
    auto state = [limit](const std::string &gbk) {
        QString text = qtText(gbk);
        int position = int(text.size());
        return limit->validate(text, position);
    };
    std::string twenty;
    for (int i = 0; i < 20; ++i)
        twenty += "沪";
    EXPECT_EQ(state(twenty), QValidator::Acceptable);         // 20 characters, 40 bytes
    EXPECT_EQ(state(twenty + "a"), QValidator::Invalid);       // 41 bytes
    EXPECT_EQ(state(std::string(40, 'a')), QValidator::Acceptable);
    EXPECT_EQ(state(std::string(39, 'a') + "沪"), QValidator::Invalid);

    // Typing stops at the limit instead of storing a longer name.
    for (int i = 0; i < 25; ++i) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, qtText("沪"));
        QCoreApplication::sendEvent(dialog.edtAlias, &key);
    }
    EXPECT_EQ(gbkText(dialog.edtAlias->text()), twenty);
}

TEST(HostDialogsTest, TabFollowsTheLayout)
{
    FakeOwner owner;
    THostMaintenance dialog(owner);
    // The widgets Tab stops at, from the address field on.
    std::vector<QWidget *> stops;
    for (QWidget *w = dialog.edtIP; stops.size() < 5; w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus)
            stops.push_back(w);
    }
    EXPECT_EQ(stops, (std::vector<QWidget *>{dialog.edtIP, dialog.edtPort, dialog.edtAlias,
                                             dialog.BtnOK, dialog.BtnCancel}));
}

TEST(HostDialogsTest, OkButtonClosesOnlyAfterASuccessfulAction)
{
    FakeOwner owner;
    THostMaintenance dialog(owner);
    dialog.edtIP->setText(QStringLiteral("10.1.2"));
    dialog.BtnOK->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(gbkText(dialog.edtIP->text()), "10.1.2");  // input stays for correction
    dialog.edtIP->setText(QStringLiteral("10.1.2.4"));
    dialog.BtnOK->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(HostDialogsTest, EditChangesPortAndAliasOnly)
{
    FakeOwner owner;
    auto made = std::make_unique<HostSubject>("old", "10.1.1.1", "10012");
    HostSubject &host = *made;
    owner.pool.add(made);
    struct Counter : HostObserver
    {
        int calls = 0;
        void update(HostSubject &) override { ++calls; }
    } observer;
    host.attach(&observer);

    THOSTEdit dialog(owner, host);
    EXPECT_TRUE(dialog.edtIP->isReadOnly());
    EXPECT_EQ(gbkText(dialog.edtIP->text()), "10.1.1.1");
    EXPECT_EQ(gbkText(dialog.edtAlias->text()), "old");
    EXPECT_TRUE(dialog.edtPort->isEnabled());

    dialog.edtPort->setText(QString());
    EXPECT_FALSE(dialog.okAction());
    EXPECT_EQ(owner.boxes.lastText(), "信息有误 [ 请输入端口 ]");
    dialog.edtAlias->setText(QStringLiteral("a,b"));
    dialog.edtPort->setText(QStringLiteral("9000"));
    EXPECT_FALSE(dialog.okAction());
    EXPECT_EQ(owner.boxes.lastText(), "信息有误 [ 报盘机别名不能包含逗号 ]");
    EXPECT_EQ(host.getHostName(), "old");
    EXPECT_EQ(observer.calls, 0);

    dialog.edtAlias->setText(qtText("新名字"));
    EXPECT_TRUE(dialog.okAction());
    EXPECT_EQ(host.getHostName(), "新名字");
    EXPECT_EQ(host.getPort(), "9000");
    EXPECT_EQ(observer.calls, 1);
    EXPECT_EQ(owner.reports, std::vector<std::string>{"修改报盘机信息:10.1.1.1"});
}

TEST(HostDialogsTest, ConnectedHostsKeepTheirPort)
{
    FakeOwner owner;
    HostSubject host("a", "10.1.1.1", "10012");
    for (const char *status : {"", "未知", "停止"}) {
        host.setHostStatus(status);
        THOSTEdit dialog(owner, host);
        EXPECT_TRUE(dialog.edtPort->isEnabled()) << status;
    }
    host.setHostStatus("正常运行");
    THOSTEdit dialog(owner, host);
    EXPECT_FALSE(dialog.edtPort->isEnabled());
}

} // namespace
} // namespace tarvo
