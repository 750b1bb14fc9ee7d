#include "station/TFR2U_Radadu.h"

void TFR2U_Radadu::Button1Interactive()
{
    EnumCOMPorts();
    Button1Click();
}

void TFR2U_Radadu::Button1Click()
{
}
