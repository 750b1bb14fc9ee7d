#include "gui/TFR2U_Radadu.h"
#include "station/StationConfigFile.h"
#include "support/RecordingNotices.h"
#include "support/SavedStationConfig.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QComboBox>

TEST(StationConfigFile, SaveFromTheMainWindowTakesThePortBox)
{
    ScopedWorkDir dir;
    RecordingNotices boxes;
    TFR2U_Radadu w;
    StationPlatform p = w.platform();
    p.notices = &boxes;
    w.setPlatform(p);
    w.core().config = savedConfig();
    w.Edit1->setEditText("COM7:");
    SaveStationConfigFiles(w);
    EXPECT_EQ(w.core().config.ComPort, "COM7:");
    EXPECT_EQ(dir.read("r2arodire.cfg"), QByteArray(kSavedFile).replace("COM4:", "COM7:"));
}
