#include "mainform.h"

#include "KoUSBLib.h"
#include "deviceguard.h"

#include <QHeaderView>
#include <QIcon>
#include <QStatusBar>
#include <QTreeWidgetItem>

MainForm::MainForm() : QMainWindow(nullptr)
{
    setupUi(this);
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

void MainForm::updateDeviceList()
{
    KoUSBDevice board(nullptr);  // reads each row without rebinding currentDevice
    deviceItems.clear();
    m_rowHandles.clear();
    devListTree->clear();
    for (int slot = 0; slot < GetMaxNumberOfUSBBoards(); ++slot) {
        void* handle = GetUSBDeviceIndexed(slot);
        if (!handle)
            continue;
        board.SetDeviceHandle(handle);
        QStringList texts;
        texts << QString::number(board.GetId()) << QString::fromLatin1(board.GetName())
              << QString::number(board.GetClass()) << QString::number(board.GetFWVersion());
        auto* item = new QTreeWidgetItem(devListTree, texts);
        item->setIcon(0, *usbIcon);
        deviceItems.append(item);
        m_rowHandles.append(handle);
    }
}

void MainForm::updateCurrentDevice(int id)
{
    void* handle = GetUSBDevice(id, -1);
    m_currentHandle = handle;
    if (handle) {
        currentDevice->SetDeviceHandle(handle);
        const QString name = QString::fromLatin1(currentDevice->GetName());
        const int boardId = currentDevice->GetId();
        statusbar->showMessage(QStringLiteral("Current device: ") + name + QStringLiteral(" with ID ")
                               + QString::number(boardId));
        infoWindow->setText(QString::fromLatin1(currentDevice->GetEndpointInfo()));
        classLineEdit->setText(QString::number(currentDevice->GetClass()));
        IdLineEdit->setText(QString::number(boardId));
        nameLineEdit->setText(name);
    } else {
        currentDevice->SetDeviceHandle(nullptr);
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

void MainForm::refreshCurrentDevice()
{
    updateDeviceList();
    markCurrentRow();
    if (!m_currentHandle)
        return;
    infoWindow->setText(QString::fromLatin1(currentDevice->GetEndpointInfo()));
    classLineEdit->setText(QString::number(currentDevice->GetClass()));
    IdLineEdit->setText(QString::number(currentDevice->GetId()));
    nameLineEdit->setText(QString::fromLatin1(currentDevice->GetName()));
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

void MainForm::handleDeviceChange()
{
    if (!m_deviceGuard->allowsDeviceCalls())
        return;  // put off: the long operation's end asks the library once it is over
    if (OnDeviceChange()) {
        updateDeviceList();
        updateCurrentDevice(-1);
    }
}
