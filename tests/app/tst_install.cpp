// SPDX-License-Identifier: MIT
// Installing: the files `cmake --install` puts into a fresh prefix, what the
// installed programs answer, the menu entry as desktop-file-validate judges
// it, and (label slow) the Debian packages that CPack builds from the same
// rules: two, and a third with the Python module where it is built.
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestInstall : public QObject {
    Q_OBJECT

    QTemporaryDir prefix;

    static QString env(const char* name) { return QString::fromLocal8Bit(qgetenv(name)); }

    // What each of the two packages holds.
    static QStringList kousbFiles()
    {
        QStringList files{"bin/kousb",
                          "bin/kousb-sim",
                          "share/man/man1/kousb.1.gz",
                          "share/man/man1/kousb-sim.1.gz",
                          "lib/udev/rules.d/70-kousb.rules",
                          "share/kousb/70-kousb.rules",
                          "share/kousb/install-udev-rule.sh",
                          "share/usb-device-manager/examples/demo-fpga.bit",
                          "share/usb-device-manager/examples/example-controller.bix",
                          "share/usb-device-manager/examples/example-identity.hex",
                          "share/doc/kousb/copyright",
                          "share/doc/kousb/changelog.gz"};
#ifdef UDM_FIRMWARE_IMAGES
        // The board firmware, when SDCC built it.
        for (const char* image : {"kousb-fx2", "kousb-fx2-generic"})
            for (const char* type : {".ihx", ".bix"})
                files << QStringLiteral("share/usb-device-manager/firmware/") + image + type;
#endif
        return files;
    }
    static QStringList windowFiles()
    {
        QStringList files{"bin/usb-device-manager",
                          "share/man/man1/usb-device-manager.1.gz",
                          "share/applications/usb-device-manager.desktop",
                          "share/icons/hicolor/scalable/apps/usb-device-manager.svg",
                          "share/doc/usb-device-manager/copyright",
                          "share/doc/usb-device-manager/changelog.gz"};
        for (int size : {16, 32, 64, 128, 256})
            files << QStringLiteral("share/icons/hicolor/%1x%1/apps/usb-device-manager.png").arg(size);
        return files;
    }
    static QStringList pythonFiles()
    {
#ifdef UDM_PYTHON_MODULE
        QStringList files{"share/doc/python3-kousb/copyright", "share/doc/python3-kousb/changelog.gz"};
        for (const char* example : {"list_boards.py", "log_temperature.py", "flash_tray.py"})
            files << QStringLiteral("share/doc/python3-kousb/examples/") + example;
        for (const char* file : {UDM_PYTHON_MODULE, "__init__.py", "__init__.pyi", "py.typed"})
            files << QStringLiteral(UDM_PYTHON_DIR "/kousb/") + file;
        return files;
#else
        return {};
#endif
    }
    static QStringList expectedFiles()
    {
        QStringList files = kousbFiles() + windowFiles() + pythonFiles();
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

    // Runs a program without a display: a window that started anyway would
    // fail instead of answering.
    static QString runTool(const QString& program, const QStringList& args, int& exitCode)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        environment.insert("QT_QPA_PLATFORM", "xcb");
        process.setProcessEnvironment(environment);
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
        const QString out =
            runTool(env("UDM_CMAKE"), {"--install", env("UDM_BUILD_DIR"), "--prefix", prefix.path()}, rc);
        QVERIFY2(rc == 0, qPrintable(out));
    }

    void installsTheExpectedFiles()
    {
        QCOMPARE(filesUnder(prefix.path()), expectedFiles());
        for (const char* program : {"kousb", "kousb-sim", "usb-device-manager"})
            QVERIFY(QFileInfo(prefix.filePath("bin/" + QString(program))).isExecutable());
        for (const char* page : {"kousb", "kousb-sim", "usb-device-manager"}) {
            QFile gz(prefix.filePath(QStringLiteral("share/man/man1/%1.1.gz").arg(page)));
            QVERIFY(gz.open(QIODevice::ReadOnly));
            QVERIFY2(gz.read(2) == "\x1f\x8b", page);
        }
    }

    void installedProgramsAnswer_data()
    {
        const QString version = env("UDM_VERSION");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QStringList>("expected");  // the start of the output, then texts it holds
        QTest::newRow("kousb --help") << "kousb"
                                      << "--help" << QStringList{"usage: kousb", "--version"};
        QTest::newRow("kousb --version") << "kousb"
                                         << "--version" << QStringList{"kousb " + version + "\n"};
        QTest::newRow("kousb-sim --version") << "kousb-sim"
                                             << "--version" << QStringList{"kousb-sim " + version + "\n"};
        QTest::newRow("window --version") << "usb-device-manager"
                                          << "--version" << QStringList{"usb-device-manager " + version + "\n"};
        QTest::newRow("window --help: the toolkit's options")
            << "usb-device-manager"
            << "--help"
            << QStringList{"usage: usb-device-manager", "-platform", "-style", "-geometry", "-reverse", "--version"};
    }

    void installedProgramsAnswer()
    {
        QFETCH(QString, program);
        QFETCH(QString, argument);
        QFETCH(QStringList, expected);
        int rc = -1;
        const QString out = runTool(prefix.filePath("bin/" + program), {argument}, rc);
        QCOMPARE(rc, 0);
        QVERIFY2(out.startsWith(expected[0]), qPrintable(out));
        for (const QString& text : expected.mid(1))
            QVERIFY2(out.contains(text), qPrintable(text));
        if (argument == "--version")
            QCOMPARE(out, expected[0]);
    }

    // The installed package imports in Debian's Python and is the one installed.
    void pythonModuleImports()
    {
        if (pythonFiles().isEmpty())
            QSKIP("the Python module is not built here");
        const QString packages = prefix.filePath(pythonFiles().last().section('/', 0, -3));
        int rc = -1;
        const QString out = runTool(
            env("UDM_PYTHON"),
            {"-c",
             "import sys; sys.path.insert(0, sys.argv[1]); import kousb; print(kousb.__version__, kousb.__file__)",
             packages},
            rc);
        QVERIFY2(rc == 0, qPrintable(out));
        QCOMPARE(out.trimmed(), env("UDM_VERSION") + " " + packages + "/kousb/__init__.py");
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
            QFile png(
                prefix.filePath(QStringLiteral("share/icons/hicolor/%1x%1/apps/usb-device-manager.png").arg(size)));
            QVERIFY(png.open(QIODevice::ReadOnly));
            const QByteArray head = png.read(24);
            QVERIFY(head.startsWith("\x89PNG\r\n\x1a\n"));
            QCOMPARE(qFromBigEndian<quint32>(head.constData() + 16), quint32(size));
            QCOMPARE(qFromBigEndian<quint32>(head.constData() + 20), quint32(size));
        }
    }

    // Two packages: kousb on its own, and the window depending on kousb of
    // the same version; and the Python module's, depending on kousb of the
    // same version and on the Python it was built for. Each holds its files
    // only, depends on the runtime packages of what it links, and passes
    // lintian (Debian's package checker) without an error or a warning.
    void debianPackage()
    {
        if (env("UDM_PACKAGE_TEST") != "1")
            QSKIP("the packages are built by tst_package (label slow)");
        QTemporaryDir out;
        int rc = -1;
        QString log =
            runTool(env("UDM_CPACK"),
                    {"--config", env("UDM_BUILD_DIR") + "/CPackConfig.cmake", "-G", "DEB", "-B", out.path()}, rc);
        QVERIFY2(rc == 0, qPrintable(log));
        const QString version = env("UDM_VERSION");
        struct Package {
            QString name;
            QStringList files;
            QStringList depends;
        };
        QList<Package> packages = {
            {"kousb", kousbFiles(), {"libc6", "libstdc++6", "libusb-1.0-0"}},
            {"usb-device-manager", windowFiles(), {"kousb (= " + version + ")", "libqt5widgets5", "libqwt-qt5-6"}},
        };
        if (!pythonFiles().isEmpty())
            packages.append({"python3-kousb",
                             pythonFiles(),
                             {"kousb (= " + version + ")", "python3 (>= 3.", "python3 (<< 3.", "libusb-1.0-0"}});
        QCOMPARE(QDir(out.path()).entryList({"*.deb"}).size(), packages.size());
        for (const Package& package : packages) {
            const QStringList debs = QDir(out.path()).entryList({package.name + "_" + version + "_*.deb"});
            QCOMPARE(debs.size(), 1);
            const QString deb = out.filePath(debs[0]);
            const QString listing = runTool("dpkg-deb", {"-c", deb}, rc);
            QCOMPARE(rc, 0);
            int listed = 0;
            for (const QString& line : listing.split('\n', Qt::SkipEmptyParts))
                listed += line.startsWith('-');
            QCOMPARE(listed, package.files.size());
            for (const QString& file : package.files)
                QVERIFY2(listing.contains("./usr/" + file + "\n"), qPrintable(package.name + ": " + file));
            const QString depends = runTool("dpkg-deb", {"-f", deb, "Depends"}, rc);
            for (const QString& dependency : package.depends)
                QVERIFY2(depends.contains(dependency), qPrintable(package.name + ": " + depends));
            const QString findings = runTool("lintian", {"--fail-on", "error,warning", deb}, rc);
            QVERIFY2(rc == 0, qPrintable(package.name + ": " + findings));
        }
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
