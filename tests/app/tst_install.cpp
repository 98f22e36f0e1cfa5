// Installing: the files `cmake --install` puts into a fresh prefix, the menu
// entry as desktop-file-validate judges it, and (label slow) the Debian
// package that CPack builds from the same rules.
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestInstall : public QObject {
    Q_OBJECT

    QTemporaryDir prefix;

    static QString env(const char* name) { return QString::fromLocal8Bit(qgetenv(name)); }

    static QStringList expectedFiles()
    {
        QStringList files{"bin/kousb", "bin/kousb-sim", "bin/usb-device-manager",
                          "share/applications/usb-device-manager.desktop",
                          "share/icons/hicolor/scalable/apps/usb-device-manager.svg",
                          "share/man/man1/kousb.1", "share/man/man1/kousb-sim.1",
                          "share/man/man1/usb-device-manager.1"};
        for (int size : {16, 32, 64, 128, 256})
            files << QStringLiteral("share/icons/hicolor/%1x%1/apps/usb-device-manager.png").arg(size);
#ifdef UDM_FIRMWARE_IMAGES
        // The board firmware, when SDCC built it.
        for (const char* image : {"kousb-fx2", "kousb-fx2-generic"})
            for (const char* type : {".ihx", ".bix"})
                files << QStringLiteral("share/usb-device-manager/firmware/") + image + type;
#endif
        for (const QString& rule : QDir(env("UDM_SOURCE_DIR") + "/packaging").entryList({"*.rules"}, QDir::Files))
            files << "lib/udev/rules.d/" + rule;
        files.sort();
        return files;
    }

    static QStringList filesUnder(const QString& root)
    {
        QStringList files;
        QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << QDir(root).relativeFilePath(it.next());
        files.sort();
        return files;
    }

    static QString runTool(const QString& program, const QStringList& args, int& exitCode)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, args);
        exitCode = process.waitForFinished(300000) ? process.exitCode() : -1;
        return QString::fromLocal8Bit(process.readAll());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(prefix.isValid());
        int rc = -1;
        const QString out = runTool(env("UDM_CMAKE"), {"--install", env("UDM_BUILD_DIR"), "--prefix", prefix.path()}, rc);
        QVERIFY2(rc == 0, qPrintable(out));
    }

    void installsTheExpectedFiles()
    {
        QCOMPARE(filesUnder(prefix.path()), expectedFiles());
        for (const char* program : {"kousb", "kousb-sim", "usb-device-manager"})
            QVERIFY(QFileInfo(prefix.filePath("bin/" + QString(program))).isExecutable());
    }

    void installedKousbRuns()
    {
        int rc = -1;
        const QString out = runTool(prefix.filePath("bin/kousb"), {"--help"}, rc);
        QCOMPARE(rc, 0);
        QVERIFY(out.startsWith("usage: kousb"));
    }

    void desktopEntryIsValid()
    {
        const QString entry = prefix.filePath("share/applications/usb-device-manager.desktop");
        int rc = -1;
        const QString out = runTool("desktop-file-validate", {entry}, rc);
        QVERIFY2(rc == 0 && out.trimmed().isEmpty(), qPrintable(out));
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY(text.contains("\nExec=usb-device-manager\n"));
        QVERIFY(text.contains("\nIcon=usb-device-manager\n"));
    }

    void iconsAreTheirSize()
    {
        for (int size : {16, 32, 64, 128, 256}) {
            QFile png(prefix.filePath(QStringLiteral("share/icons/hicolor/%1x%1/apps/usb-device-manager.png").arg(size)));
            QVERIFY(png.open(QIODevice::ReadOnly));
            const QByteArray head = png.read(24);
            QVERIFY(head.startsWith("\x89PNG\r\n\x1a\n"));
            QCOMPARE(qFromBigEndian<quint32>(head.constData() + 16), quint32(size));
            QCOMPARE(qFromBigEndian<quint32>(head.constData() + 20), quint32(size));
        }
    }

    void debianPackage()
    {
        if (env("UDM_PACKAGE_TEST") != "1")
            QSKIP("the package is built by tst_package (label slow)");
        QTemporaryDir out;
        int rc = -1;
        QString log = runTool(env("UDM_CPACK"), {"--config", env("UDM_BUILD_DIR") + "/CPackConfig.cmake", "-G", "DEB",
                                                 "-B", out.path()}, rc);
        QVERIFY2(rc == 0, qPrintable(log));
        const QStringList debs = QDir(out.path()).entryList({"*.deb"});
        QCOMPARE(debs.size(), 1);
        const QString deb = out.filePath(debs[0]);
        const QString listing = runTool("dpkg-deb", {"-c", deb}, rc);
        QCOMPARE(rc, 0);
        for (const QString& file : expectedFiles())
            QVERIFY2(listing.contains("./usr/" + file + "\n"), qPrintable(file));
        const QString depends = runTool("dpkg-deb", {"-f", deb, "Depends"}, rc);
        for (const char* package : {"libqt5widgets5", "libqwt-qt5-6", "libusb-1.0-0"})
            QVERIFY2(depends.contains(package), qPrintable(depends));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
