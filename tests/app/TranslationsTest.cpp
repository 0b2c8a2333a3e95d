// Qt's standard buttons speak Chinese once the translations are installed.
#include "app/Translations.h"
#include "framework/QtText.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

namespace tarvo {
namespace {

TEST(TranslationsTest, StandardButtonsReadChinese)
{
    if (!installChineseTranslations(*QCoreApplication::instance()))
        GTEST_SKIP() << "Qt's translations (qt6-translations-l10n) are not installed";
    QMessageBox box(QMessageBox::Question, "t", "q", QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(gbkText(box.button(QMessageBox::Yes)->text()).find("是"), 0u);
    EXPECT_EQ(gbkText(box.button(QMessageBox::No)->text()).find("否"), 0u);
    QMessageBox ok(QMessageBox::Information, "t", "i", QMessageBox::Ok);
    EXPECT_EQ(gbkText(ok.button(QMessageBox::Ok)->text()).find("确定"), 0u);
}

} // namespace
} // namespace tarvo
