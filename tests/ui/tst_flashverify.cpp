// SPDX-License-Identifier: MIT
// The window's EEPROM flash on a simulated board whose EEPROM loses a page
// write: the library's read-back catches it and the status bar says the
// flash failed verification, and where.
#include "eeprombackups.h"
#include "firmwarefiles.h"
#include "mainform.h"
#include "simboards.h"

#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// " (backup: FILE)" for the newest EEPROM backup, as the status bar names it after a flash.
QString newestBackup()
{
    const std::vector<backups::Backup> all = backups::list(backups::folder());
    return all.empty() ? QString() : " (backup: " + QString::fromStdString(all.back().path) + ")";
}

}  // namespace

class TestFlashVerify : public QObject {
    Q_OBJECT

    SimBoards boards;
    QTemporaryDir files;

private slots:
    void flashFailingVerificationSaysSo()
    {
        boards.plug(0, 1, "Verify board");
        kousb::sim::BoardState state = boards.read(0);
        state.eepromDropOffset = 0x80;
        boards.writeRaw("slot-00.board", kousb::sim::formatBoardFile(state));
        const QString path = firmwarefiles::writeFile(files.filePath("image.hex"),
                                                      firmwarefiles::intelHex({{0x80, QByteArray(16, '\x42')}}));
        MainForm form;
        form.actionExpertMode->trigger();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.devListTree->topLevelItemCount(), 1);
        form.eepromFileLineEdit->setText(path);
        QTest::mouseClick(form.flashEEPROMBtn, Qt::LeftButton);
        QTRY_VERIFY(!form.flashProgressBar->isVisible());
        QCOMPARE(form.statusbar->currentMessage(),
                 "Flashing the EEPROM from " + path + newestBackup()
                     + " failed: verification failed: the EEPROM reads 0xFF at offset 0x0080, the image has 0x42");

        // The same board plugged in again without the fault: the image
        // flashes and verifies.
        state = boards.read(0);
        state.eepromDropOffset.reset();
        state.instance = kousb::sim::newInstanceId();
        boards.writeRaw("slot-00.board", kousb::sim::formatBoardFile(state));
        form.handleDeviceChange();
        QTest::mouseClick(form.flashEEPROMBtn, Qt::LeftButton);
        QTRY_VERIFY(form.statusbar->currentMessage().startsWith("EEPROM flashed from "));
        QCOMPARE(form.statusbar->currentMessage(), "EEPROM flashed from " + path + newestBackup());
        QCOMPARE(int(boards.read(0).eeprom[0x80]), 0x42);
    }
};

QTEST_MAIN(TestFlashVerify)
#include "tst_flashverify.moc"
