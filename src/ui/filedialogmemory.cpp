// SPDX-License-Identifier: MIT
#include "filedialogmemory.h"

#include <QDir>
#include <QFileDialog>
#include <QSettings>
#include <QStringList>

#include <memory>

namespace {

// Stops Qt's file dialogs from reading and writing their settings file
// (~/.config/QtProject.conf, which would carry their folders and history
// from one run to the next): points the user-scope settings at a folder that
// cannot exist. The program keeps no settings of its own, so nothing else is
// affected.
void keepFileDialogSettingsOffDisk()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    // Under a file, so not even a process allowed to create folders anywhere
    // can make it exist; reads find nothing and writes fail silently.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null/no-settings"));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("/dev/null/no-settings"));
}

}  // namespace

QString FileDialogMemory::runDialog(const QString& title, const QString& nameFilter, bool detailView)
{
    keepFileDialogSettingsOffDisk();
    auto dialog = std::make_unique<QFileDialog>(nullptr, QString(), QString(), QString());
    dialog->setNameFilter(nameFilter);
    if (detailView)
        dialog->setViewMode(QFileDialog::Detail);
    dialog->setWindowTitle(title);
    if (!m_state.isEmpty())
        dialog->restoreState(m_state);
    // Each dialog starts in its own folder: where it was when it last closed,
    // the first time the working folder, never where another dialog was.
    dialog->setDirectory(m_directory.isEmpty() ? QDir::currentPath() : m_directory);
    dialog->setModal(true);
    QString chosen;
    if (dialog->exec() == QDialog::Accepted) {
        const QStringList files = dialog->selectedFiles();
        if (!files.isEmpty())
            chosen = files.first();
    }
    m_state = dialog->saveState();
    m_directory = dialog->directory().absolutePath();
    return chosen;
}
