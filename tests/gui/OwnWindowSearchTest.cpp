#include "gui/OwnWindowSearch.h"

#include <gtest/gtest.h>

#include <QMainWindow>
#include <QMessageBox>

TEST(OwnWindowSearch, FindsOwnBoxesByCaption)
{
    QMainWindow main;
    main.setWindowTitle(QStringLiteral("ZAV-Sensor1"));
    main.show();
    EXPECT_EQ(FindOwnDialogWindow("ZAV-Sensor1", &main), nullptr);

    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("zav-sensor1 Hinweis"), QStringLiteral("x"),
                    QMessageBox::Ok, &main);
    box.show();
    EXPECT_EQ(FindOwnDialogWindow("ZAV-Sensor1", &main), &box);
    EXPECT_EQ(FindOwnDialogWindow("ZAV-Sensor", &main), nullptr);
    EXPECT_EQ(FindOwnDialogWindow("ZAV-Sensor1", &main, {&box}), nullptr);
    box.hide();
    EXPECT_EQ(FindOwnDialogWindow("ZAV-Sensor1", &main), nullptr);
}
