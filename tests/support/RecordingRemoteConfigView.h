#pragma once

#include "viewer/RemoteConfigView.h"

#include <QList>
#include <QMap>
#include <QStringList>

#include <functional>
#include <optional>

// The remote configuration dialog as plain values: the controls' texts, the
// focus, the messages shown, the dialog's check boxes and the identifier's
// state. `onModifyKennungChanged` stands for the box's click handler (run
// when setModifyKennung changes the state); `onMessage` runs while a message
// is "open".
class RecordingRemoteConfigView : public RemoteConfigView
{
public:
    QString fieldText(RemoteConfigField field) const override { return texts.value(field); }
    void setFieldText(RemoteConfigField field, const QString &text) override { texts[field] = text; }
    void clearField(RemoteConfigField field) override { texts[field].clear(); }
    void focusField(RemoteConfigField field) override { focus = field; }
    void showMessage(const QString &text) override
    {
        messages.append(text);
        if (onMessage)
            onMessage(text);
    }
    ContactChecks dialogChecks() const override { return checks; }
    void setDialogChecks(const ContactChecks &c) override { checks = c; }
    bool modifyKennung() const override { return modifyKennungBox; }
    void setModifyKennung(bool checked) override
    {
        const bool changed = checked != modifyKennungBox;
        modifyKennungBox = checked;
        if (changed && onModifyKennungChanged)
            onModifyKennungChanged();
    }
    void setIdentifierReadOnly(bool readOnly) override { identifierReadOnly = readOnly; }
    void colourIdentifier(IdentifierColour colour) override { colours.append(colour); }

    QMap<RemoteConfigField, QString> texts;
    std::optional<RemoteConfigField> focus;
    QStringList messages;
    ContactChecks checks;
    bool modifyKennungBox = false;
    bool identifierReadOnly = false;
    QList<IdentifierColour> colours;
    std::function<void()> onModifyKennungChanged;
    std::function<void(const QString &)> onMessage;
};
