// SPDX-License-Identifier: MIT
// A board file is replaced atomically: a writer killed at any moment leaves
// either the old or the new file, never a mix, and never a half-written
// EEPROM image.
#include "eepromlayout.h"
#include "atomicfile.h"
#include "sim/boardfile.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
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
        QVERIFY(writeFileAtomic(path, a, WriteMode::CreateNew, error, false));

        int sawA = 0, sawB = 0;
        for (int round = 0; round < 150; ++round) {
            struct stat before {};
            QCOMPARE(::stat(path.c_str(), &before), 0);
            const pid_t child = fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                // Rewrite the file between the two states until killed.
                std::string e;
                for (unsigned i = 0;; ++i)
                    writeFileAtomic(path, i % 2 ? a : b, WriteMode::ReplaceExisting, e, false);
            }
            // Once the child has replaced the file (a new inode), at a random moment
            // of its writing: a loaded machine may take a while to run it at all.
            struct stat now = before;
            for (QDeadlineTimer started(10000); now.st_ino == before.st_ino && !started.hasExpired();)
                ::stat(path.c_str(), &now);
            usleep(QRandomGenerator::global()->bounded(3000));
            kill(child, SIGKILL);
            int status = 0;
            waitpid(child, &status, 0);

            QFile file(QString::fromStdString(path));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const std::string text = file.readAll().toStdString();
            sim::BoardState state;
            QVERIFY2(sim::readBoardFile(path, state, error), error.c_str());
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
        QVERIFY(!writeFileAtomic(path, "x", WriteMode::ReplaceExisting, error));
        QVERIFY(QByteArray::fromStdString(error).contains("has been removed"));
        QVERIFY(!QFile::exists(QString::fromStdString(path)));
        QVERIFY(writeFileAtomic(path, "one", WriteMode::CreateNew, error));
        QVERIFY(!writeFileAtomic(path, "two", WriteMode::CreateNew, error));
        QVERIFY(QByteArray::fromStdString(error).contains("already exists"));
        QVERIFY(writeFileAtomic(path, "three", WriteMode::ReplaceExisting, error));
        QFile file(QString::fromStdString(path));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("three"));
        // No temporary file is left behind after successful or refused writes.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"slot-01.board"});
    }
};

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
