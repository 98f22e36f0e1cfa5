// SPDX-License-Identifier: MIT
// kousb on many simulated boards: naming them by place, serial or ID, and
// one command working on several in parallel, judged by the process's
// output, exit code and what each board holds afterwards.
#include "eepromlayout.h"
#include "firmwarefiles.h"
#include "simboards.h"
#include "toolprocess.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestKousbBatch : public QObject {
    Q_OBJECT

    SimBoards boards;
    QTemporaryDir files;

    static QString tool() { return qEnvironmentVariable("KOUSB_TOOL"); }
    ToolResult run(const QStringList& args) { return runTool(tool(), args); }
    QString file(const QString& name) const { return files.filePath(name); }
    std::int32_t idAt(int slot) const { return kousb::eeprom::readIdentity(boards.read(slot).eeprom).id; }

private slots:
    void cleanup() { boards.unplugAll(); }

    // Twins of ID 7 at sim-0 and sim-1, ID 42 at sim-2 (serials as our
    // firmware makes them: "KO" and the ID as eight hex digits, see
    // firmware/chip/descriptors.c). A selector that names no board or
    // several, or a batch that would give boards one ID or one file, is
    // refused (exit 2) before any board is touched.
    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("err");  // parts of stderr
        QTest::newRow("ambiguous ID") << QStringList{"--board", "7", "info"}
                                      << QStringList{"several boards are 7",
                                                     "\"Twin A\", class 0, FW 1, at sim-0, "
                                                     "serial KO00000007: --board @sim-0",
                                                     ": --board @sim-1"};
        QTest::newRow("unknown place") << QStringList{"--board", "@1-4", "read", "External"}
                                       << QStringList{"no board is @1-4", ": --board @sim-0", ": --board 42"};
        QTest::newRow("one ID for many") << QStringList{"--all", "set-id", "--id", "5"}
                                         << QStringList{"--id would give 3 boards the same ID"};
        QTest::newRow("one file for many") << QStringList{"--all", "dump-eeprom", file("same.hex")}
                                           << QStringList{"a file name pattern that gives each a file of its own"};
        QTest::newRow("pattern the twins share")
            << QStringList{"--board", "@sim-0", "--board", "@sim-1", "dump-eeprom", file("{id}.hex")}
            << QStringList{"add more of {id}, {place} or {serial}"};
    }
    void refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, err);
        boards.plug(0, 7, "Twin A");
        boards.plug(1, 7, "Twin B");
        boards.plug(2, 42, "Other");
        const ToolResult r = run(args);
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.out, QString());
        for (const QString& part : err)
            QVERIFY2(r.err.contains(part), qPrintable(r.err));
        QCOMPARE(std::vector<std::int32_t>({idAt(0), idAt(1), idAt(2)}), std::vector<std::int32_t>({7, 7, 42}));
        QCOMPARE(QDir(files.path()).entryList({"same.hex", "7.hex"}), QStringList());
    }

    // Of three boards, one's flash fails its verification and another is
    // unplugged half-way; the first is flashed all the same, each is reported.
    void batchGoesOnPastFailures()
    {
        boards.plug(0, 7, "Sound");
        boards.plug(1, 7, "Dropping");
        boards.plug(2, 42, "Unplugged");
        kousb::sim::BoardState faulty = boards.read(1);
        faulty.eepromDropOffset = 0x100;
        boards.writeRaw("slot-01.board", kousb::sim::formatBoardFile(faulty));
        const QByteArray data(0x3F00, '\x5A');  // up to the identity block
        const QString image = firmwarefiles::writeFile(file("image.hex"), firmwarefiles::intelHex({{0, data}}));

        QProcess kousb;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", file("data"));
        kousb.setProcessEnvironment(environment);
        kousb.start(tool(), {"--all", "flash-eeprom", image});
        // The backup is made before the first page is written: the flash of
        // the board at sim-2 is under way then.
        const QDir backups(file("data") + "/usb-device-manager/backups");
        QTRY_VERIFY_WITH_TIMEOUT(!backups.entryList({"*sim-2*"}).isEmpty(), 30000);
        boards.unplug(2);
        QVERIFY(kousb.waitForFinished(60000));
        const QStringList lines = QString::fromUtf8(kousb.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);

        QCOMPARE(kousb.exitCode(), 1);
        QCOMPARE(lines.size(), 4);
        for (const char* line : {"^sim-0\tID 7\tok: flashed .*, backup .*\t[0-9.]+ s$",
                                 "^sim-1\tID 7\tfailed: .*verification failed: .*offset 0x0100",
                                 "^sim-2\tID 42\tfailed: .*unplugged", "^3 boards: 1 done, 2 failed, [0-9.]+ s$"})
            QVERIFY2(lines.filter(QRegularExpression(line)).size() == 1, qPrintable(lines.join('\n')));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(boards.read(0).eeprom.data()), data.size()), data);
        for (const char* place : {"*sim-0*", "*sim-1*"})  // each board its own backup
            QCOMPARE(backups.entryList({place}).size(), 1);
    }

    // Boards in slots 10, 2 and 1: place order is sim-1, sim-2, sim-10. The
    // dump names its boards by place and by serial in any case.
    void idsAndFilesFollowPlaceOrder()
    {
        for (int slot : {10, 2, 1})
            boards.plug(slot, 1, "Fresh");
        ToolResult r = run({"set-id", "--all", "--id-from", "100", "--json"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(std::vector<std::int32_t>({idAt(1), idAt(2), idAt(10)}), std::vector<std::int32_t>({100, 101, 102}));
        QStringList places;  // one JSON object a line, in the order the boards finish
        for (const QString& line : r.out.split('\n', Qt::SkipEmptyParts)) {
            const QJsonObject board = QJsonDocument::fromJson(line.toUtf8()).object();
            QVERIFY2(board["ok"].toBool() && board["result"].toString().startsWith("ID 1"), qPrintable(line));
            places << board["place"].toString();
        }
        places.sort();
        QCOMPARE(places, QStringList({"sim-1", "sim-10", "sim-2"}));

        r = run({"--board", "@sim-10", "--board", "serial:ko00000065", "dump-eeprom", file("b-{id}-{place}.hex")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(QFile::exists(file("b-102-sim-10.hex")) && QFile::exists(file("b-101-sim-2.hex")));
    }
};

QTEST_GUILESS_MAIN(TestKousbBatch)
#include "tst_kousbbatch.moc"
