#include "gui/TFR2U_Radadu.h"

#include "common/Text8.h"
#include "gui/TFConfig.h"
#include "station/ConfigurationCommand.h"
#include "station/StationTexts.h"

#include <QPushButton>
#include <QTimer>

// Commands of the main window.

void TFR2U_Radadu::Button2Click()
{
    if (FConfig)
        RunConfigurationCommand(*m_core, *this, m_sensor, FConfig->settings());
}

void TFR2U_Radadu::Button3Click()
{
    // The reporting thread enables the button again.
    Button3->setEnabled(false);
    m_core->state.AcknowledgeRequest = true;
    setLastError(StationTexts::LastErrCaption, Colours::Black);
    setWindowColour(Colours::ActiveBorder);
    hide();
    show();
    Timer5->stop();
}
