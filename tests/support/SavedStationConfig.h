#pragma once

#include "station/StationConfig.h"

#include <QByteArray>

// A configuration with every kind of value the file holds (blanks to trim,
// an empty value, a hand-entered identifier) and the bytes its save writes.
inline StationConfig savedConfig()
{
    StationConfig c;
    c.TempMin = " 12,5";
    c.TempMax = "30 ";
    c.RHMin = "20";
    c.RHMax = "80";
    c.TPMin = "-5";
    c.TPMax = "25";
    c.TTPMin = "2";
    c.TTPMax = " ";
    c.CheckRX = false;
    c.CheckRI = true;
    c.CheckDC = false;
    c.CheckCTS = true;
    c.StationId = "AB12-CD";
    c.ManualStationId = true;
    c.ServerHost = " heron.example ";
    c.ServerPort = "2001";
    c.ComPort = "COM2:";
    c.AlarmInterval = "4";
    c.CpuMaxTempDistance = "5";
    return c;
}

inline const QByteArray kSavedFile = "Temp-Min\r\n12,5\r\nTemp-Max\r\n30\r\nRH-Min\r\n20\r\nRH-Max\r\n80\r\n"
                                     "TP-Min\r\n-5\r\nTP-Max\r\n25\r\nT-TP-Min\r\n2\r\nT-TP-Max\r\n\r\n"
                                     "RX-Checked\r\nFALSE\r\nRI-Checked\r\nTRUE\r\nDC-Checked\r\nFALSE\r\n"
                                     "CTS-Checked\r\nTRUE\r\nHERON-Kennung\r\n$AB12-CD\r\n"
                                     "HERON-Server\r\nheron.example:2001\r\nCOM-Port\r\nCOM4:\r\n"
                                     "Alarmintervall\r\n4\r\nCPU-MAX-TEMP\r\n5\r\n";
