// SPDX-License-Identifier: MIT
// The one file writer: nothing planted in a shared folder redirects it, two
// writers of one path never mix, and a refused write changes nothing.
#include "atomicfile.h"
#include "formats/intelhex.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kousb;

namespace {

QByteArray contentOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::string hexOf(std::uint8_t fill)
{
    const std::vector<std::uint8_t> data(32 * 1024, fill);
    return formats::formatIntelHex(data.data(), data.size());
}

// Runs `write` in a child process; as root the child first becomes nobody, so
// that folder permissions apply. Returns the child's exit code.
template <typename Write>
int inChild(Write&& write)
{
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(99);
        _exit(write() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

class TestAtomicFile : public QObject {
    Q_OBJECT

private slots:
    void plantedLinksAreNeverFollowed_data()
    {
        QTest::addColumn<int>("mask");
        QTest::newRow("umask 022") << 022;
        QTest::newRow("umask 077") << 077;
    }

    void plantedLinksAreNeverFollowed()
    {
        QFETCH(int, mask);
        QTemporaryDir shared, mine;
        const QString victim = mine.filePath("precious.txt");
        QFile v(victim);
        QVERIFY(v.open(QIODevice::WriteOnly) && v.write("precious") == 8);
        v.close();
        QVERIFY(QFile::setPermissions(victim, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther
                                                  | QFileDevice::WriteOther));
        const QString out = shared.filePath("out.hex");
        for (const QString& name : {QStringLiteral("out.hex"), QStringLiteral("out.hex.part"),
                                    QStringLiteral(".out.hex.tmp"), QStringLiteral(".out.hex.XXXXXX")})
            QVERIFY(QFile::link(victim, shared.filePath(name)));

        const mode_t before = ::umask(static_cast<mode_t>(mask));
        const std::vector<std::uint8_t> data(100, 0x5A);
        const Status s = formats::writeIntelHexFile(out.toStdString(), data.data(), data.size());
        ::umask(before);
        QVERIFY2(s.isOk(), s.message().c_str());

        QCOMPARE(contentOf(victim), QByteArray("precious"));
        struct stat st;
        QCOMPARE(::lstat(QFile::encodeName(out).constData(), &st), 0);
        QVERIFY(S_ISREG(st.st_mode));
        QCOMPARE(int(st.st_mode & 0777), 0666 & ~mask);
        QCOMPARE(contentOf(out).toStdString(), formats::formatIntelHex(data.data(), data.size()));
        // Only the planted links besides the new file: no temporary file left.
        QCOMPARE(QDir(shared.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 4);
    }

    void concurrentWritersLeaveOneWholeFile()
    {
        QTemporaryDir dir;
        const std::string path = QFile::encodeName(dir.filePath("dump.hex")).toStdString();
        const std::string a = hexOf(0xA5), b = hexOf(0x5A);
        pid_t writers[2];
        for (int w = 0; w < 2; ++w) {
            writers[w] = fork();
            if (writers[w] == 0) {
                std::string error;
                for (int i = 0; i < 150; ++i)
                    if (!writeFileAtomic(path, w ? b : a, WriteMode::CreateOrReplace, error, false))
                        _exit(1);
                _exit(0);
            }
        }
        int reads = 0;
        for (int w = 0; w < 2; ++w) {
            int status = 0;
            while (waitpid(writers[w], &status, WNOHANG) == 0) {
                const QByteArray now = contentOf(QString::fromStdString(path));
                QVERIFY(now.isEmpty() || now.toStdString() == a || now.toStdString() == b);
                ++reads;
            }
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        const std::string last = contentOf(QString::fromStdString(path)).toStdString();
        QVERIFY(last == a || last == b);
        QVERIFY(reads > 0);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void refusedWriteChangesNothing()
    {
        QTemporaryDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                      | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                                      | QFileDevice::ExeOther));
        const QString readOnly = dir.filePath("ro");
        QVERIFY(QDir().mkdir(readOnly));
        const QString kept = readOnly + "/kept.hex";
        QFile k(kept);
        QVERIFY(k.open(QIODevice::WriteOnly) && k.write("old") == 3);
        k.close();
        QVERIFY(QFile::setPermissions(
            readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther | QFileDevice::ExeOther));
        QVERIFY(QFile::setPermissions(
            kept, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther | QFileDevice::WriteOther));

        const int rc = inChild([&] {
            std::string error;
            const bool written = writeFileAtomic(kept.toStdString(), "new", WriteMode::CreateOrReplace, error);
            // Refused, naming the file and the reason.
            return !written && error.find(kept.toStdString()) != std::string::npos
                   && error.find("Permission denied") != std::string::npos;
        });
        QCOMPARE(rc, 0);
        QCOMPARE(contentOf(kept), QByteArray("old"));
        QCOMPARE(QDir(readOnly).entryList(QDir::Files | QDir::Hidden), QStringList{"kept.hex"});
    }
};

QTEST_GUILESS_MAIN(TestAtomicFile)
#include "tst_atomicfile.moc"
