// SPDX-License-Identifier: MIT
// kousb keeps the EEPROM before every flash and writes it back: the backup
// holds every byte the board had, named by its ID, its place and the time,
// and restore puts it back byte for byte, choosing by ID and place. A flash
// that would not boot, or whose backup cannot be made, writes nothing unless
// forced. kousb run as a process on a simulated board.
#include "eepromlayout.h"
#include "firmwarefiles.h"
#include "formats/intelhex.h"
#include "simboards.h"
#include "toolprocess.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// An image of the identity block alone, naming the board `id`.
QByteArray identityImage(int id, const char* name)
{
    std::vector<std::uint8_t> eeprom(kousb::eeprom::kSize, kousb::eeprom::kErased);
    kousb::eeprom::writeId(eeprom, id);
    kousb::eeprom::writeName(eeprom, name);
    return firmwarefiles::intelHex(
        {{kousb::eeprom::kIdentityOffset, QByteArray(reinterpret_cast<const char*>(eeprom.data()) + 0x3F00, 44)}});
}

}  // namespace

class TestKousbBackup : public QObject {
    Q_OBJECT

    SimBoards boards;
    QTemporaryDir files;
    QTemporaryDir data;

    static QString tool() { return qEnvironmentVariable("KOUSB_TOOL"); }
    QString backupDir() const { return data.path() + "/usb-device-manager/backups"; }
    QStringList backupFiles() const { return QDir(backupDir()).entryList(QDir::Files, QDir::Name); }
    QString file(const char* name, const QByteArray& content)
    {
        return firmwarefiles::writeFile(files.filePath(name), content);
    }

private slots:
    void initTestCase() { qputenv("XDG_DATA_HOME", QFile::encodeName(data.path())); }
    void cleanup()
    {
        boards.unplugAll();
        QDir(backupDir()).removeRecursively();
        qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    }

    void flashThenRestore()
    {
        boards.plug(2, 7, "Restore me");
        const std::vector<std::uint8_t> original = boards.read(2).eeprom;
        const QString image = file("id8.hex", identityImage(8, "Flashed"));
        ToolResult r = runTool(tool(), {"flash-eeprom", image});
        QCOMPARE(r.exitCode, 0);
        const std::vector<std::uint8_t> flashed = boards.read(2).eeprom;
        QVERIFY(flashed != original);

        // One backup, named as the documentation says, holding every byte the board had.
        QCOMPARE(backupFiles().size(), 1);
        const QString backup = backupDir() + "/" + backupFiles()[0];
        QVERIFY2(QRegularExpression("^backup-7-sim-2-\\d{8}-\\d{6}\\.hex$").match(backupFiles()[0]).hasMatch(),
                 qPrintable(backupFiles()[0]));
        kousb::formats::HexImage saved;
        QVERIFY(kousb::formats::readIntelHexFile(QFile::encodeName(backup).toStdString(), kousb::eeprom::kSize, saved));
        QCOMPARE(saved.byteCount, kousb::eeprom::kSize);
        QVERIFY(saved.bytes == original);
        r = runTool(tool(), {"backups"});
        QVERIFY2(QRegularExpression("^id\tplace\tmade\tfile\n7\tsim-2\t\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\t"
                                    + QRegularExpression::escape(backup) + "\n$")
                     .match(r.out)
                     .hasMatch(),
                 qPrintable(r.out));

        // The board is ID 8 now: no backup of ID 8 at sim-2, so restore lists what it has and touches nothing.
        r = runTool(tool(), {"restore"});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("no backup of board ID 8 at sim-2") && r.err.contains("ID 7 at sim-2  " + backup),
                 qPrintable(r.err));
        QVERIFY(boards.read(2).eeprom == flashed);

        r = runTool(tool(), {"restore", backup});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, "restored " + backup + "\n");
        QVERIFY(boards.read(2).eeprom == original);
        QCOMPARE(backupFiles().size(), 2);  // the restore kept what it replaced

        // ID 7 at sim-2 again: restore alone takes that backup, not the one of ID 8.
        r = runTool(tool(), {"restore"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, "restored " + backup + "\n");
        QVERIFY(boards.read(2).eeprom == original);
    }

    void refusedUnlessForced_data()
    {
        QTest::addColumn<QStringList>("args");  // {bad}: an image that would not boot; {good}: one that would
        QTest::addColumn<bool>("noBackupFolder");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("err");  // a part of stderr
        QTest::addColumn<int>("backups");  // backups made
        auto row = [](const char* name, const QStringList& args, bool noBackupFolder, int exitCode, const QString& err,
                      int backups) { QTest::newRow(name) << args << noBackupFolder << exitCode << err << backups; };
        row("would not boot", {"flash-eeprom", "{bad}"}, false, 1,
            "failed: file refused: the controller would not boot from this EEPROM: record 1 at EEPROM offset 0x0008 "
            "loads 0x4000-0x4000, outside the controller's RAM (0x0000-0x3FFF, 0xE000-0xE1FF) (--force writes it "
            "anyway)\n",
            0);
        row("would not boot, forced", {"flash-eeprom", "{bad}", "--force"}, false, 0, "", 1);
        row("forced without a backup folder", {"flash-eeprom", "{bad}", "--force"}, true, 0,
            "; flashing without a backup (--force)\n", 0);
        row("restore without a backup folder", {"restore", "{good}"}, true, 1,
            "the backup folder cannot be made: cannot create ", 0);
        row("backup that cannot be written", {"flash-eeprom", "{good}", "--backup", "/nonexistent/b.hex"}, false, 1,
            "saving the EEPROM to /nonexistent/b.hex before the flash failed: ", 0);
        row("nothing to restore", {"restore"}, false, 1, "kousb: no backup of board ID 1 at sim-0 in ", 0);
    }
    void refusedUnlessForced()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, noBackupFolder);
        QFETCH(int, exitCode);
        QFETCH(QString, err);
        QFETCH(int, backups);
        boards.plug(0, 1, "Check me");
        const std::vector<std::uint8_t> before = boards.read(0).eeprom;
        // The smallest C2 image whose one record loads 0x4000, past the RAM (FX2 fact sheet, section 4.16).
        const QString bad =
            file("bad.hex", firmwarefiles::intelHex({{0, QByteArray::fromHex("C2B40404100000010001400000"
                                                                             "8001E60000")}}));
        const QString good = file("good.hex", firmwarefiles::intelHex({{0x100, "\x01\x02"}}));
        if (noBackupFolder)
            qputenv("XDG_DATA_HOME", QFile::encodeName(file("not-a-folder", "x")));
        const ToolResult r = runTool(tool(), args.replaceInStrings("{bad}", bad).replaceInStrings("{good}", good));
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(err) && r.err.count('\n') == (err.isEmpty() ? 0 : 1), qPrintable(r.err));
        QCOMPARE(backupFiles().size(), backups);
        QCOMPARE(boards.read(0).eeprom == before, exitCode != 0);
    }
};

QTEST_GUILESS_MAIN(TestKousbBackup)
#include "tst_kousbbackup.moc"
