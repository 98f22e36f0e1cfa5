// SPDX-License-Identifier: MIT
#pragma once
#include <QByteArray>
#include <QString>

// What one file dialog remembers of itself for the life of the process: the
// state the dialog saves (QFileDialog::saveState: layout, history, view) and
// the folder it was in. Nothing is written to disk, and nothing is read from
// an earlier run.
//
// The folder is kept apart because Qt's file dialogs share one process-wide
// "last visited" folder: saveState stores that one, and restoreState prefers
// it to the saved one, so without this every dialog would open wherever the
// last one was.
class FileDialogMemory {
public:
    // Runs one modal file dialog for a single file name (which need not
    // exist): title, name filter and, if `detailView`, the detail view set
    // before this memory is restored into it. Saves the dialog's state into
    // this memory whether it was accepted or cancelled. Returns the file
    // chosen, or an empty text when cancelled.
    QString runDialog(const QString& title, const QString& nameFilter, bool detailView);

private:
    QByteArray m_state;
    QString m_directory;
};
