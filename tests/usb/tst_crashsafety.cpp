// A board file is replaced atomically: a writer killed at any moment leaves
// either the old or the new file, never a mix, and never a half-written
// EEPROM image.
#include "eepromlayout.h"
#include "sim/atomicfile.h"
#include "sim/boardfile.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace kousb;

class TestCrashSafety : public QObject {
    Q_OBJECT

    static sim::BoardState stateWithEepromByte(std::uint8_t fill, std::int32_t id)
    {
        sim::BoardState state = sim::blankBoard();
        state.instance = "feedfacefeedface";
        std::fill(state.eeprom.begin(), state.eeprom.begin() + eeprom::kIdentityOffset, fill);
        eeprom::writeId(state.eeprom, id);
        return state;
    }

private slots:
    void killedWriterLeavesOldOrNew()
    {
        QTemporaryDir dir;
        const std::string path = QFile::encodeName(dir.filePath("slot-00.board")).toStdString();
        const std::string a = sim::formatBoardFile(stateWithEepromByte(0xA5, 1));
        const std::string b = sim::formatBoardFile(stateWithEepromByte(0x5A, 2));
        std::string error;
        QVERIFY(sim::writeFileAtomic(path, a, sim::WriteMode::CreateNew, false, error));

        int sawA = 0, sawB = 0;
        for (int round = 0; round < 150; ++round) {
            const pid_t child = fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                // Rewrite the file between the two states until killed.
                std::string e;
                for (unsigned i = 0;; ++i)
                    sim::writeFileAtomic(path, i % 2 ? a : b, sim::WriteMode::ReplaceExisting, false, e);
            }
            usleep(200 + QRandomGenerator::global()->bounded(3000));
            kill(child, SIGKILL);
            int status = 0;
            waitpid(child, &status, 0);

            std::string text;
            QVERIFY2(sim::readSmallFile(path, sim::kMaxBoardFileBytes, text, error), error.c_str());
            sim::BoardState state;
            QVERIFY2(sim::parseBoardFile(text, state, error), error.c_str());
            QVERIFY(text == a || text == b);
            const BoardIdentity identity = eeprom::readIdentity(state.eeprom);
            const std::uint8_t fill = identity.id == 1 ? 0xA5 : 0x5A;
            QVERIFY(std::all_of(state.eeprom.begin(), state.eeprom.begin() + eeprom::kIdentityOffset,
                                [&](std::uint8_t byte) { return byte == fill; }));
            (text == a ? sawA : sawB)++;
        }
        // Both states were seen, so the kills did land mid-way through the writing.
        QVERIFY(sawA > 0);
        QVERIFY(sawB > 0);
    }

    void replaceNeverRecreatesARemovedFile()
    {
        QTemporaryDir dir;
        const std::string path = QFile::encodeName(dir.filePath("slot-01.board")).toStdString();
        std::string error;
        QVERIFY(!sim::writeFileAtomic(path, "x", sim::WriteMode::ReplaceExisting, false, error));
        QVERIFY(QByteArray::fromStdString(error).contains("has been removed"));
        QVERIFY(!QFile::exists(QString::fromStdString(path)));
        QVERIFY(sim::writeFileAtomic(path, "one", sim::WriteMode::CreateNew, true, error));
        QVERIFY(!sim::writeFileAtomic(path, "two", sim::WriteMode::CreateNew, true, error));
        QVERIFY(QByteArray::fromStdString(error).contains("already exists"));
        QVERIFY(sim::writeFileAtomic(path, "three", sim::WriteMode::ReplaceExisting, true, error));
        QFile file(QString::fromStdString(path));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("three"));
        // No temporary file is left behind after successful or refused writes.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"slot-01.board"});
    }
};

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
