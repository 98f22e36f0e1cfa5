// SPDX-License-Identifier: MIT
// The "Identification" page: ID, name and class into the board's EEPROM.
#include "mainform.h"

#include "KoUSBLib.h"
#include "deviceguard.h"
#include "identityfields.h"

#include <QLineEdit>
#include <QStatusBar>
#include <QStringList>
#include <QVector>

#include <utility>

namespace {

struct FailedWrite {
    QString field;
    QString reason;
};

// "ID, name and class not written: no board selected", one clause per reason.
QString failureMessage(const QVector<FailedWrite>& failed)
{
    QStringList clauses;
    QVector<bool> told(failed.size(), false);
    for (int i = 0; i < failed.size(); ++i) {
        if (told[i])
            continue;
        QStringList fields;
        for (int j = i; j < failed.size(); ++j) {
            if (!told[j] && failed[j].reason == failed[i].reason) {
                fields << failed[j].field;
                told[j] = true;
            }
        }
        const QString last = fields.takeLast();
        const QString named =
            fields.isEmpty() ? last : fields.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
        clauses << named + QStringLiteral(" not written: ") + failed[i].reason;
    }
    QString message = clauses.join(QStringLiteral("; ")) + QLatin1Char('.');
    message[0] = message[0].toUpper();
    return message;
}

}  // namespace

// The fields are checked before anything is written, so a typing mistake
// never reaches the EEPROM as 0 or a cut-short name. Once they pass, all three
// writes are made whatever the earlier ones returned, and the list is rebuilt
// to show what the boards now report; the fields keep the typed text.
void MainForm::updateDeviceId()
{
    if (!m_deviceGuard->allowsDeviceCalls())
        return;  // a long operation's worker owns the device until it ends
    IdentityFields identity;
    std::string reason;
    if (!parseIdentityFields(IdLineEdit->text().toStdString(), nameLineEdit->text().toStdString(),
                             classLineEdit->text().toStdString(), identity, reason)) {
        statusbar->showMessage(QStringLiteral("Identity not written: ") + QString::fromStdString(reason)
                               + QLatin1Char('.'));
        return;
    }

    QVector<FailedWrite> failed;
    auto note = [&](const QString& field, bool ok) {
        if (!ok)
            failed.append({field, QString::fromLatin1(currentDevice->GetLastError())});
    };
    note(QStringLiteral("ID"), currentDevice->WriteIDToEEPROM(identity.id));
    note(QStringLiteral("name"), currentDevice->WriteNameToEEPROM(identity.name.c_str()));
    note(QStringLiteral("class"), currentDevice->WriteDeviceClassToEEPROM(identity.deviceClass));
    updateDeviceList();
    markCurrentRow();  // the rebuilt list still names the board the tools act on

    if (failed.isEmpty()) {
        // The fields now say what the board holds: later changes may fill them.
        for (QLineEdit* field : {IdLineEdit, nameLineEdit, classLineEdit})
            field->setModified(false);
        statusbar->showMessage(QStringLiteral("Identity written: ID %1, name \"%2\", class %3.")
                                   .arg(QString::number(identity.id), QString::fromLatin1(identity.name.c_str()),
                                        QString::number(identity.deviceClass)));
    } else {
        statusbar->showMessage(failureMessage(failed));
    }
}

void MainForm::fillIdentityFields(FieldFill fill)
{
    const QString name = QString::fromLatin1(currentDevice->GetName());
    const std::pair<QLineEdit*, QString> values[] = {{classLineEdit, QString::number(currentDevice->GetClass())},
                                                     {IdLineEdit, QString::number(currentDevice->GetId())},
                                                     {nameLineEdit, name}};
    for (const auto& [field, text] : values) {
        const bool userAtIt = field->isModified() || field == focusWidget();
        if (fill == FieldFill::Replace || !userAtIt)
            field->setText(text);  // also clears isModified()
    }
}
