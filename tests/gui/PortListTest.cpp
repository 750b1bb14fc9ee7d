#include "gui/TFR2U_Radadu.h"
#include "support/FakePortDirectory.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QSignalSpy>

TEST(StationIdentifier, EnumComPortsRefillsBothListsAndKeepsThePortText)
{
    FakePortDirectory dir;
    dir.addFtdiPort("AAA1111A", "COM10");
    dir.addFtdiPort("BBB2222A", "COM4");
    dir.dosNames.append("COM1");

    TFR2U_Radadu w;
    StationPlatform p = w.platform();
    p.ports = &dir;
    w.setPlatform(p);
    auto *dialogList = new QComboBox(&w);
    w.DialogPortList = dialogList;
    w.Edit1->addItem("COM2:");
    w.Edit1->setEditText("COM7:");
    dialogList->addItem("COM2:");
    QSignalSpy edits(w.Edit1, &QComboBox::editTextChanged);
    QSignalSpy current(w.Edit1, &QComboBox::currentTextChanged);

    w.EnumCOMPorts();

    for (QComboBox *box : {w.Edit1, dialogList}) {
        ASSERT_EQ(box->count(), 2);
        EXPECT_EQ(box->itemText(0), "COM4:");
        EXPECT_EQ(box->itemText(1), "COM10:");
    }
    EXPECT_EQ(w.Edit1->currentText(), "COM7:");
    EXPECT_EQ(edits.count(), 0);
    EXPECT_EQ(current.count(), 0);

    delete dialogList; // the dialog is gone: only Edit1 is filled
    dir.dosNames = {"COM4"};
    w.EnumCOMPorts();
    EXPECT_EQ(w.Edit1->count(), 1);
    EXPECT_EQ(w.Edit1->currentText(), "COM7:");
}
