// SPDX-License-Identifier: MIT
// The raw controller image (.bix) reader.
#include "formats/biximage.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using kousb::ErrorCode;

class TestBixImage : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    std::string write(const QString& name, const QByteArray& content)
    {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write a test file");
        return QFile::encodeName(file.fileName()).toStdString();
    }

private slots:
    void imageFromAddressZero()
    {
        std::vector<std::uint8_t> image;
        const kousb::Status s =
            kousb::formats::readBixImage(write("fw.bix", QByteArray::fromHex("020006FF")), 16384, image);
        QVERIFY2(s.isOk(), s.message().c_str());
        QCOMPARE(image, (std::vector<std::uint8_t>{0x02, 0x00, 0x06, 0xFF}));
    }

    void exactlyTheMemoryFits()
    {
        std::vector<std::uint8_t> image;
        QVERIFY(kousb::formats::readBixImage(write("full.bix", QByteArray(16384, 'x')), 16384, image).isOk());
        QCOMPARE(image.size(), std::size_t(16384));
    }

    void refused()
    {
        std::vector<std::uint8_t> image{1, 2, 3};
        kousb::Status s = kousb::formats::readBixImage(write("big.bix", QByteArray(16385, 'x')), 16384, image);
        QCOMPARE(s.code(), ErrorCode::BadFile);
        QCOMPARE(QString::fromStdString(s.message()),
                 QStringLiteral("file refused: image larger than the 16384-byte memory"));

        s = kousb::formats::readBixImage(write("empty.bix", QByteArray()), 16384, image);
        QCOMPARE(QString::fromStdString(s.message()), QStringLiteral("file refused: empty image"));

        s = kousb::formats::readBixImage(QFile::encodeName(dir.filePath("none.bix")).toStdString(), 16384, image);
        QCOMPARE(s.code(), ErrorCode::FileNotFound);

        s = kousb::formats::readBixImage(QFile::encodeName(dir.path()).toStdString(), 16384, image);
        QCOMPARE(s.code(), ErrorCode::FileUnreadable);
        QCOMPARE(image, (std::vector<std::uint8_t>{1, 2, 3}));  // untouched on failure
    }

    void hugeFileRefusedUnread()
    {
        QFile file(dir.filePath("huge.bix"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(qint64(1) << 30));
        file.close();
        std::vector<std::uint8_t> image;
        const kousb::Status s =
            kousb::formats::readBixImage(QFile::encodeName(file.fileName()).toStdString(), 16384, image);
        QCOMPARE(s.code(), ErrorCode::BadFile);
    }
};

QTEST_GUILESS_MAIN(TestBixImage)
#include "tst_biximage.moc"
