// SPDX-License-Identifier: MIT
// The window keeps the EEPROM before every flash and names the backup in
// the status bar; flashing that backup back restores the board byte for
// byte. An image the controller would not boot from is refused with the
// reason, and a flash whose backup cannot be made does not start; neither
// writes anything. The real MainForm, driven through its widgets, on a
// simulated board.
#include "firmwarefiles.h"
#include "mainform.h"
#include "simboards.h"

#include <QDir>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

class TestFlashBackup : public QObject {
    Q_OBJECT

    SimBoards boards;
    QTemporaryDir files;
    QTemporaryDir data;

    QString backupDir() const { return data.path() + "/usb-device-manager/backups"; }
    int backupCount() const { return QDir(backupDir()).entryList(QDir::Files).size(); }

    // Types `path` into the EEPROM field, presses "Flash EEPROM" and returns the status bar once the flash ended.
    static QString flash(MainForm& form, const QString& path)
    {
        form.eepromFileLineEdit->clear();
        QTest::keyClicks(form.eepromFileLineEdit, path);
        QTest::mouseClick(form.flashEEPROMBtn, Qt::LeftButton);
        return form.statusbar->currentMessage();
    }

private slots:
    void initTestCase() { qputenv("XDG_DATA_HOME", QFile::encodeName(data.path())); }
    void cleanup() { boards.unplugAll(); }

    void backupThenRestore()
    {
        boards.plug(0, 7, "Window board");
        const std::vector<std::uint8_t> original = boards.read(0).eeprom;
        MainForm form;
        form.actionExpertMode->trigger();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QString image = firmwarefiles::writeFile(files.filePath("code.hex"),
                                                       firmwarefiles::intelHex({{0x0100, QByteArray(300, '\x3C')}}));

        const QRegularExpression named(
            "^EEPROM flashed from (.+) \\(backup: (.+/backup-7-sim-0-\\d{8}-\\d{6}(-\\d+)?\\.hex)\\)$");
        QRegularExpressionMatch m = named.match(flash(form, image));
        QVERIFY2(m.hasMatch() && m.captured(1) == image, qPrintable(form.statusbar->currentMessage()));
        const QString backup = m.captured(2);
        QCOMPARE(QFileInfo(backup).absolutePath(), backupDir());
        QVERIFY(boards.read(0).eeprom != original);

        // Flashing the backup back restores every byte the board had.
        m = named.match(flash(form, backup));
        QVERIFY2(m.hasMatch() && m.captured(1) == backup && m.captured(2) != backup,
                 qPrintable(form.statusbar->currentMessage()));
        QVERIFY(boards.read(0).eeprom == original);
        QCOMPARE(backupCount(), 2);
    }

    void refusedBeforeWriting_data()
    {
        QTest::addColumn<QByteArray>("eeprom");  // the image, from offset 0
        QTest::addColumn<bool>("noBackupFolder");
        QTest::addColumn<QString>("reason");
        // The C2 layout of the FX2 fact sheet (section 4.16): a closing record writing 0x01 keeps the CPU in reset.
        const QByteArray stuck = QByteArray::fromHex(
            "C2B4040410000001"
            "00030000AABBCC"
            "8001E60001");
        QTest::newRow("would not boot")
            << stuck << false
            << "file refused: the controller would not boot from this EEPROM: record 2 at EEPROM offset 0x000F "
               "writes 0x01 to CPUCS, which keeps the CPU in reset; the closing record writes 0x00";
        QTest::newRow("no backup folder")
            << QByteArray("\x01\x02", 2) << true << "the backup folder cannot be made: cannot create ";
    }
    void refusedBeforeWriting()
    {
        QFETCH(QByteArray, eeprom);
        QFETCH(bool, noBackupFolder);
        QFETCH(QString, reason);
        boards.plug(0, 3, "Refusing board");
        const std::vector<std::uint8_t> before = boards.read(0).eeprom;
        const int backups = backupCount();
        MainForm form;
        form.actionExpertMode->trigger();
        const QString image =
            firmwarefiles::writeFile(files.filePath("refused.hex"), firmwarefiles::intelHex({{0, eeprom}}));
        if (noBackupFolder)
            qputenv("XDG_DATA_HOME", QFile::encodeName(firmwarefiles::writeFile(files.filePath("file"), "x")));
        const QString status = flash(form, image);
        qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
        QVERIFY2(status.startsWith("Flashing the EEPROM from " + image + " failed: " + reason), qPrintable(status));
        QVERIFY(boards.read(0).eeprom == before);
        QCOMPARE(backupCount(), backups);
        QVERIFY(form.flashProgressBar->isHidden());
        QVERIFY(form.flashEEPROMBtn->isEnabled());
    }
};

QTEST_MAIN(TestFlashBackup)
#include "tst_flashbackup.moc"
