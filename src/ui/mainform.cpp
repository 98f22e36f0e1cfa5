// SPDX-License-Identifier: MIT
#include "mainform.h"

#include "KoUSBLib.h"
#include "deviceguard.h"
#include "labicon.h"

#include <QEvent>
#include <QHeaderView>
#include <QIcon>
#include <QStatusBar>
#include <QTreeWidgetItem>

MainForm::MainForm() : QMainWindow(nullptr)
{
    setupUi(this);
    // The badge of the window description, with its larger sizes.
    setWindowIcon(labIcon());
    actionAbout->setIcon(labIcon());
    usbIcon = new QIcon(QStringLiteral(":/Icons/resources/usb.ico"));

    // The window description's one-column header gives way to the four columns.
    auto* header = new QTreeWidgetItem;
    header->setText(0, QStringLiteral("Id"));
    header->setText(1, QStringLiteral("Name"));
    header->setText(2, QStringLiteral("Class"));
    header->setText(3, QStringLiteral("FW"));
    devListTree->setHeaderItem(header);
    devListTree->setColumnCount(4);
    devListTree->setColumnWidth(0, 60);
    devListTree->setColumnWidth(1, 120);
    devListTree->setColumnWidth(2, 50);
    devListTree->setColumnWidth(3, 50);
    devListTree->setIconSize(QSize(16, 16));
    // The rows have no children: without the branch decoration the 60-pixel
    // Id column has room for the ID beside its icon.
    devListTree->setRootIsDecorated(false);

    setupBenchmarkPlot();
    setupFirmwarePages();
    setupReadability();

    // Keyboard: Enter on a row chooses that board as a click does (moving
    // the highlight alone does not); Enter in the data line writes.
    connect(devListTree, &QTreeWidget::itemActivated, this, &MainForm::listItemClicked);
    connect(writeDataLine, &QLineEdit::returnPressed, writeBtn, &QPushButton::click);

    connect(actionAbout, &QAction::triggered, this, &MainForm::showAbout);
    connect(actionExpertMode, &QAction::triggered, this, &MainForm::expertModeChanged);

    InitUSB();
    currentDevice = new KoUSBDevice(nullptr);
    updateDeviceList();
    updateCurrentDevice(-1);
    expertModeChanged();
    flashProgressBar->hide();
}

MainForm::~MainForm()
{
    deviceItems.clear();
    delete currentDevice;
    delete usbIcon;
}

namespace {

// A device-list row: ID, name, class and firmware version of the bound board.
QStringList rowTexts(KoUSBDevice& board)
{
    return {QString::number(board.GetId()), QString::fromLatin1(board.GetName()), QString::number(board.GetClass()),
            QString::number(board.GetFWVersion())};
}

// The "Info" page: where the board is plugged in and its serial number, so
// that two boards with one ID can be told apart, then the board's own
// description. A board that has gone shows nothing.
QString infoText(KoUSBDevice& board)
{
    const QString info = QString::fromLatin1(board.GetEndpointInfo());
    const QString place = QString::fromLatin1(board.GetPlace());
    if (info.isEmpty() || place.isEmpty())
        return info;
    const QString serial = QString::fromLatin1(board.GetSerial());
    return QStringLiteral("Place: ") + place + (serial.isEmpty() ? QString() : QStringLiteral(", serial ") + serial)
           + QLatin1Char('\n') + info;
}

QStringList rowTexts(const QTreeWidgetItem* item)
{
    QStringList texts;
    for (int column = 0; column < item->columnCount(); ++column)
        texts << item->text(column);
    return texts;
}

}  // namespace

QList<void*> MainForm::attachedBoards()
{
    QList<void*> handles;
    for (int slot = 0; slot < GetMaxNumberOfUSBBoards(); ++slot)
        if (void* handle = GetUSBDeviceIndexed(slot))
            handles.append(handle);
    return handles;
}

void MainForm::updateDeviceList()
{
    KoUSBDevice board(nullptr);  // reads each row without rebinding currentDevice
    deviceItems.clear();
    m_rowHandles.clear();
    devListTree->clear();
    for (void* handle : attachedBoards()) {
        board.SetDeviceHandle(handle);
        auto* item = new QTreeWidgetItem(devListTree, rowTexts(board));
        item->setIcon(0, *usbIcon);
        deviceItems.append(item);
        m_rowHandles.append(handle);
    }
}

void MainForm::updateCurrentDevice(int id) { chooseBoard(GetUSBDevice(id, -1), FieldFill::Replace); }

void MainForm::chooseBoard(void* handle, FieldFill fill)
{
    m_currentHandle = handle;
    currentDevice->SetDeviceHandle(handle);
    if (handle) {
        statusbar->showMessage(QStringLiteral("Current device: ") + currentIdentity());
        infoWindow->setText(infoText(*currentDevice));
        fillIdentityFields(fill);
    } else {
        statusbar->showMessage(QStringLiteral("No USB device found or selected."));
        infoWindow->clear();
    }
    markCurrentRow();
}

// Rows are matched by board, not by ID, so that of two boards with one ID
// the mark names the one the library gave.
void MainForm::markCurrentRow()
{
    const int row = m_currentHandle ? m_rowHandles.indexOf(m_currentHandle) : -1;
    if (row < 0 || row >= deviceItems.size()) {
        devListTree->clearSelection();
        devListTree->setCurrentItem(nullptr);
        return;
    }
    devListTree->setCurrentItem(deviceItems.at(row));
    deviceItems.at(row)->setSelected(true);
}

QString MainForm::currentIdentity() const
{
    if (!m_currentHandle)
        return QString();
    return QString::fromLatin1(currentDevice->GetName()) + QStringLiteral(" with ID ")
           + QString::number(currentDevice->GetId());
}

QString MainForm::shownIdentity() const
{
    const int row = m_currentHandle ? m_rowHandles.indexOf(m_currentHandle) : -1;
    if (row < 0 || row >= deviceItems.size())
        return QString();
    return deviceItems.at(row)->text(1) + QStringLiteral(" with ID ") + deviceItems.at(row)->text(0);
}

void MainForm::refreshCurrentDevice()
{
    const QString shownBefore = shownIdentity();
    updateDeviceList();
    markCurrentRow();
    if (!m_currentHandle)
        return;
    infoWindow->setText(infoText(*currentDevice));
    fillIdentityFields(FieldFill::KeepEdits);
    const QString now = currentIdentity();
    if (now != shownBefore)
        statusbar->showMessage(QStringLiteral("Current device: ") + now);
}

void MainForm::rereadCurrentDevice()
{
    if (!m_currentHandle || !m_deviceGuard->allowsDeviceCalls())
        return;
    currentDevice->ReloadIdentity();
    const int row = m_rowHandles.indexOf(m_currentHandle);
    if (row < 0 || row >= deviceItems.size() || rowTexts(*currentDevice) != rowTexts(deviceItems.at(row)))
        refreshCurrentDevice();
}

void MainForm::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        rereadCurrentDevice();
}

void MainForm::listItemClicked(QTreeWidgetItem* item, int /*column*/)
{
    if (!m_deviceGuard->allowsDeviceCalls())
        return;  // a long operation's worker owns the current device
    const int row = devListTree->indexOfTopLevelItem(item);
    if (row < 0 || row >= deviceItems.size())
        return;
    updateCurrentDevice(deviceItems.at(row)->text(0).toInt(nullptr, 10));
}

// A board plugged in or out: the list again and the current board chosen
// afresh. The same boards as before: one of them changed what it shows (a
// firmware that re-enumerated, another program's writes), and the current
// board stays current. Either way the user's typing is kept.
void MainForm::handleDeviceChange()
{
    if (!m_deviceGuard->allowsDeviceCalls())
        return;  // put off: the long operation's end asks the library once it is over
    if (!OnDeviceChange())
        return;
    if (m_currentHandle && attachedBoards() == m_rowHandles) {
        refreshCurrentDevice();
        return;
    }
    updateDeviceList();
    chooseBoard(GetUSBDevice(-1, -1), FieldFill::KeepEdits);
}
