#include "station/TFR2U_Radadu.h"

void TFR2U_Radadu::EnumCOMPorts()
{
}
