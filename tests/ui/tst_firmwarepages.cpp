// SPDX-License-Identifier: MIT
// The "USB firmware" and "FPGA firmware" pages, driven through the window:
// the file dialogs and their own saved states, the loads and their messages,
// and the EEPROM flash with its bar and its guard.
#include "KoUSBLib.h"
#include "eepromlayout.h"
#include "firmwarefiles.h"
#include "deviceguard.h"
#include "eeprombackups.h"
#include "mainform.h"
#include "recordingboard.h"
#include "simboards.h"

#include <QDir>
#include <QFileDialog>
#include <QSignalSpy>
#include <QStatusBar>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

using kousb::ErrorCode;
using kousb::Status;

namespace {

// Waits for the next file dialog to show and hands it to `answer`, which
// must close it. Polls, because the dialog shows only inside its exec().
void answerFileDialog(std::function<void(QFileDialog*)> answer)
{
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, answer, tries]() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QFileDialog*>(widget);
            if (dialog && dialog->isVisible()) {
                timer->deleteLater();
                timer->stop();
                answer(dialog);
                return;
            }
        }
        if (++*tries > 1000) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(5);
}

// What a dialog looked like when it showed.
const QByteArray kEarlierRun = "[FileDialog]\nhistory=file:///earlier/run\nlastVisited=file:///earlier/run\n";

struct SeenDialog {
    QStringList history;
    QString title;
    QStringList filters;
    QFileDialog::ViewMode view = QFileDialog::Detail;
    QString directory;
    bool modal = false;
    bool parentless = false;
};

SeenDialog look(QFileDialog* dialog)
{
    SeenDialog seen;
    seen.history = dialog->history();
    seen.title = dialog->windowTitle();
    seen.filters = dialog->nameFilters();
    seen.view = dialog->viewMode();
    seen.directory = dialog->directory().absolutePath();
    seen.modal = dialog->isModal();
    seen.parentless = dialog->parentWidget() == nullptr;
    return seen;
}

// Counts the bar being shown and hidden.
class ShowHideCounter : public QObject {
public:
    int shown = 0;
    int hidden = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            ++shown;
        else if (event->type() == QEvent::Hide)
            ++hidden;
        return false;
    }
};

// Holds the recording board's EEPROM call on the worker until released, so a
// test can act while the flash runs. A wait that runs out means the GUI
// thread was stuck (calling the board the worker holds) and never released.
class Gate {
public:
    void hold()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_thread = std::this_thread::get_id();
        m_entered = true;
        if (!m_cv.wait_for(lock, std::chrono::seconds(10), [this] { return m_open; }))
            m_timedOut = true;
    }
    void open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_cv.notify_all();
    }
    bool entered()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_entered;
    }
    bool timedOut()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_timedOut;
    }
    std::thread::id thread()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_thread;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_open = false;
    bool m_entered = false;
    bool m_timedOut = false;
    std::thread::id m_thread;
};

// " (backup: FILE)" for the newest EEPROM backup, as the status bar names it after a flash.
QString newestBackup()
{
    const std::vector<backups::Backup> all = backups::list(backups::folder());
    return all.empty() ? QString() : " (backup: " + QString::fromStdString(all.back().path) + ")";
}

// Processes events until `done` or five seconds have passed.
bool waitFor(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 5000)
        QTest::qWait(5);
    return done();
}

}  // namespace

class TestFirmwarePages : public QObject {
    Q_OBJECT

    SimBoards boards;
    std::shared_ptr<RecordingBoard> board = installRecordingBoard(0);
    QTemporaryDir config;
    QTemporaryDir files;

    static QString status(MainForm& form) { return form.statusbar->currentMessage(); }

    // The form in expert mode (both pages enabled), shown.
    void prepare(MainForm& form)
    {
        if (!form.actionExpertMode->isChecked())
            form.actionExpertMode->trigger();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        board->clearCalls();
    }

    std::vector<RecordedCall> callsOf(const std::string& op) const
    {
        std::vector<RecordedCall> out;
        for (const RecordedCall& call : board->calls())
            if (call.op == op)
                out.push_back(call);
        return out;
    }

    QString folder(const QString& name)
    {
        QDir(files.path()).mkpath(name);
        return QDir(files.filePath(name)).absolutePath();
    }

private slots:
    void initTestCase()
    {
        // Qt's dialogs keep their settings here. What an earlier run left
        // must not be read, and nothing may be written.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        QFile earlier(config.filePath("QtProject.conf"));
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write(kEarlierRun);
    }

    void cleanup()
    {
        board->setHook("loadEepromImage", nullptr);
        board->setResult("loadEepromImage", Status::ok());
        board->setResult("downloadXilinx", Status::ok());
        board->setResult("loadFirmware", Status::ok());
        boards.unplugAll();
        SimBoards::sync();
    }

    void dialogsKeepTheirOwnState()
    {
        MainForm form;
        prepare(form);
        const QString a = folder("fpga"), b = folder("controller"), c = folder("eeprom");
        const QString bitFile = a + "/design.bit", hexFile = c + "/image.hex";
        form.controllerFileLineEdit->setText("typed.bix");
        SeenDialog seen;

        // First openings: nothing saved, each starts in the working folder,
        // not where the dialog before it was.
        answerFileDialog([&](QFileDialog* d) {
            seen = look(d);
            d->setViewMode(QFileDialog::List);
            d->setDirectory(a);
            d->selectFile(bitFile);
            static_cast<QDialog*>(d)->accept();  // QFileDialog::accept is protected
        });
        form.openFPGADialog();
        QCOMPARE(seen.title, QStringLiteral("Select FPGA configuration file"));
        QCOMPARE(seen.filters, QStringList{"Bit Files (*.bit)"});
        QCOMPARE(seen.directory, QDir::currentPath());
        QVERIFY(!seen.history.contains("/earlier/run"));
        QVERIFY(seen.modal);
        QVERIFY(seen.parentless);
        QCOMPARE(form.fpgaFileLineEdit->text(), bitFile);

        answerFileDialog([&](QFileDialog* d) {
            seen = look(d);
            d->setDirectory(b);
            d->reject();
        });
        form.openControllerDialog();
        QCOMPARE(seen.title, QStringLiteral("Select USB controller firmware"));
        QCOMPARE(seen.filters, QStringList{"BIX Files (*.bix)"});
        QCOMPARE(seen.view, QFileDialog::Detail);  // not the FPGA dialog's list view
        QCOMPARE(seen.directory, QDir::currentPath());
        QCOMPARE(form.controllerFileLineEdit->text(), QStringLiteral("typed.bix"));  // cancelled: kept

        answerFileDialog([&](QFileDialog* d) {
            seen = look(d);
            d->setDirectory(c);
            d->selectFile(hexFile);
            static_cast<QDialog*>(d)->accept();  // QFileDialog::accept is protected
        });
        form.openEEPROMDialog();
        QCOMPARE(seen.title, QStringLiteral("Select USB controller firmware"));
        QCOMPARE(seen.filters, QStringList{"HEX Files (*.hex)"});
        QCOMPARE(seen.view, QFileDialog::Detail);
        QCOMPARE(seen.directory, QDir::currentPath());
        QCOMPARE(form.eepromFileLineEdit->text(), hexFile);

        // Second openings: each gets its own state back, the cancelled one too.
        answerFileDialog([&](QFileDialog* d) {
            seen = look(d);
            d->reject();
        });
        form.openFPGADialog();
        QCOMPARE(seen.directory, a);
        QCOMPARE(seen.view, QFileDialog::List);
        QCOMPARE(form.fpgaFileLineEdit->text(), bitFile);

        answerFileDialog([&](QFileDialog* d) {
            seen = look(d);
            d->setViewMode(QFileDialog::List);
            d->reject();
        });
        form.openControllerDialog();
        QCOMPARE(seen.directory, b);
        QCOMPARE(seen.view, QFileDialog::Detail);

        answerFileDialog([&](QFileDialog* d) {
            seen = look(d);
            d->reject();
        });
        form.openEEPROMDialog();
        QCOMPARE(seen.directory, c);
        QCOMPARE(seen.view, QFileDialog::Detail);

        // The controller dialog is set to the detail view before its state is
        // restored, so the list view it closed in comes back.
        answerFileDialog([&](QFileDialog* d) {
            seen = look(d);
            d->reject();
        });
        form.openControllerDialog();
        QCOMPARE(seen.view, QFileDialog::List);
        QCOMPARE(seen.directory, b);

        // Kept in memory only: no settings file was written.
        QCOMPARE(QDir(config.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"QtProject.conf"});
        QCOMPARE(firmwarefiles::readFile(config.filePath("QtProject.conf")), kEarlierRun);
        QVERIFY(callsOf("downloadXilinx").empty());  // picking a file loads nothing
    }

    void emptyFieldsDoNothing()
    {
        MainForm form;
        prepare(form);
        QSignalSpy busy(form.deviceGuard(), &DeviceGuard::busyChanged);
        form.statusbar->showMessage("before");
        form.fpgaFileLineEdit->clear();
        form.controllerFileLineEdit->clear();
        form.eepromFileLineEdit->clear();
        form.loadFPGAButton->click();
        form.loadControllerBtn->click();
        QTest::mouseClick(form.flashEEPROMBtn, Qt::LeftButton);
        QVERIFY(board->calls().empty());
        QCOMPARE(busy.count(), 0);  // no flash began, so no thread was started
        QVERIFY(form.flashProgressBar->isHidden());
        QCOMPARE(status(form), QStringLiteral("before"));
    }

    void loadsPassThePathAndReportTheResult()
    {
        MainForm form;
        prepare(form);
        // Characters outside Latin-1 reach the library in the file-name encoding.
        const QString bit = QString::fromUtf8("/tmp/Проверка/μ design.bit");
        const QString bix = QString::fromUtf8("/tmp/固件.bix");
        form.fpgaFileLineEdit->setText(bit);  // QTest::keyClicks types ASCII only
        form.controllerFileLineEdit->setText(bix);

        form.loadFPGAButton->click();
        QCOMPARE(callsOf("downloadXilinx").size(), std::size_t(1));
        QCOMPARE(QByteArray::fromStdString(callsOf("downloadXilinx").front().text), QFile::encodeName(bit));
        QCOMPARE(status(form), "FPGA configured from " + bit);
        QCOMPARE(form.fpgaFileLineEdit->text(), bit);

        form.loadControllerBtn->click();
        QCOMPARE(QByteArray::fromStdString(callsOf("loadFirmware").front().text), QFile::encodeName(bix));
        QCOMPARE(status(form), "Controller firmware loaded from " + bix);

        // A refusal is not silent: the library's reason reaches the status bar.
        board->setResult("downloadXilinx", Status::error(ErrorCode::BadFile, "wrong part"));
        form.loadFPGAButton->click();
        QCOMPARE(status(form), "Loading the FPGA from " + bit + " failed: file refused: wrong part");
        board->setResult("loadFirmware", Status::error(ErrorCode::BadFile, "line 12: bad checksum"));
        form.loadControllerBtn->click();
        QCOMPARE(status(form),
                 "Loading the controller firmware from " + bix + " failed: file refused: line 12: bad checksum");
    }

    void noBoardSelected()
    {
        MainForm form;
        prepare(form);
        ShowHideCounter bar;
        form.flashProgressBar->installEventFilter(&bar);
        form.updateCurrentDevice(999);  // no such board: the current device is unbound
        form.controllerFileLineEdit->setText("fw.bix");
        form.loadControllerBtn->click();
        QCOMPARE(status(form), QStringLiteral("Loading the controller firmware from fw.bix failed: no board selected"));

        form.eepromFileLineEdit->setText("image.hex");
        form.flashEEPROMBtn->click();
        QCOMPARE(bar.shown, 1);
        QCOMPARE(bar.hidden, 1);
        QVERIFY(form.flashProgressBar->isHidden());
        QCOMPARE(status(form), QStringLiteral("Flashing the EEPROM from image.hex failed: no board selected"));
        QVERIFY(board->calls().empty());
    }

    void barShownForEachFlashAndHiddenWhateverTheResult()
    {
        MainForm form;
        prepare(form);
        ShowHideCounter bar;
        form.flashProgressBar->installEventFilter(&bar);
        form.eepromFileLineEdit->setText("image.hex");

        board->setResult("loadEepromImage", Status::error(ErrorCode::Unplugged));
        form.flashEEPROMBtn->click();
        QVERIFY(form.flashProgressBar->isHidden());
        QCOMPARE(status(form), QStringLiteral("Flashing the EEPROM from image.hex failed: board unplugged"));
        QVERIFY(form.flashEEPROMBtn->isEnabled());

        board->setResult("loadEepromImage", Status::ok());
        form.flashEEPROMBtn->click();
        QVERIFY(form.flashProgressBar->isHidden());
        QCOMPARE(status(form), QStringLiteral("EEPROM flashed from image.hex"));
        QCOMPARE(bar.shown, 2);
        QCOMPARE(bar.hidden, 2);
        QCOMPARE(callsOf("loadEepromImage").size(), std::size_t(2));
    }

    void guardDuringTheFlash()
    {
        MainForm form;
        prepare(form);
        const QString path = QString::fromUtf8("/tmp/образ.hex");
        form.eepromFileLineEdit->setText(path);
        form.fpgaFileLineEdit->setText("design.bit");
        form.controllerFileLineEdit->setText("fw.bix");
        QCOMPARE(form.devListTree->topLevelItemCount(), 1);
        Gate gate;
        board->setHook("loadEepromImage", [&gate]() { gate.hold(); });

        struct {
            bool entered = false, barVisible = false, busy = false;
            bool flashEnabled = true, flashEnabledAfterPageToggle = true, listEnabled = true, loadEnabled = true;
            bool identityEnabled = true, ioEnabled = true, benchEnabled = true, dialogsEnabled = false;
            int paintsOfTheBar = 0, rows = -1;
            std::size_t calls = 0;
            QString status;
        } during;

        QTimer::singleShot(0, [&]() {
            during.entered = waitFor([&] { return gate.entered(); });
            during.barVisible = form.flashProgressBar->isVisible();
            during.busy = form.deviceGuard()->isBusy();
            during.flashEnabled = form.flashEEPROMBtn->isEnabled();
            during.listEnabled = form.devListTree->isEnabled();
            during.loadEnabled = form.loadFPGAButton->isEnabled() || form.loadControllerBtn->isEnabled();
            during.identityEnabled = form.updateIdBtn->isEnabled();
            during.ioEnabled = form.readBtn->isEnabled() || form.writeBtn->isEnabled();
            during.benchEnabled = form.runBtn->isEnabled();
            during.dialogsEnabled = form.eepromFileDialogBtn->isEnabled() && form.fpgaFileDialogBtn->isEnabled();

            // The window stays live: the busy bar keeps being painted.
            struct PaintCounter : QObject {
                int paints = 0;
                bool eventFilter(QObject*, QEvent* e) override
                {
                    paints += e->type() == QEvent::Paint;
                    return false;
                }
            } paints;
            form.flashProgressBar->installEventFilter(&paints);
            QTest::qWait(300);
            form.flashProgressBar->removeEventFilter(&paints);
            during.paintsOfTheBar = paints.paints;

            // Expert mode off and on again re-enables the page, not the button.
            form.firmwareTab->setEnabled(false);
            form.firmwareTab->setEnabled(true);
            form.actionExpertMode->trigger();
            form.actionExpertMode->trigger();
            during.flashEnabledAfterPageToggle = form.flashEEPROMBtn->isEnabled();

            // None of these may reach the board the worker holds (a call would
            // block here and the gate would time out).
            QTest::mouseClick(form.flashEEPROMBtn, Qt::LeftButton);
            form.flashEEPROM();
            form.loadFPGA();
            form.loadController();
            // The other device tools refuse too, even when called directly.
            form.writeDataLine->setText("1 2 3");
            form.writeClicked();
            form.readClicked();
            form.runBenchmark();
            form.updateDeviceId();
            const QRect row = form.devListTree->visualItemRect(form.devListTree->topLevelItem(0));
            QTest::mouseClick(form.devListTree->viewport(), Qt::LeftButton, {}, row.center());
            form.listItemClicked(form.devListTree->topLevelItem(0), 0);
            boards.plug(1, 5, "Newcomer");
            form.handleDeviceChange();  // as the device-change source would
            // Editing the field does not change the file being flashed.
            form.eepromFileLineEdit->setText("other.hex");

            during.rows = form.devListTree->topLevelItemCount();
            during.status = form.statusbar->currentMessage();
            during.calls = board->calls().size();
            gate.open();
        });
        form.flashEEPROM();  // returns when the flash has ended

        QVERIFY(during.entered);
        QVERIFY(!gate.timedOut());
        QVERIFY(gate.thread() != std::this_thread::get_id());  // the call ran on the worker
        QVERIFY(during.barVisible);
        QVERIFY(during.busy);
        QVERIFY(!during.flashEnabled);
        QVERIFY(!during.flashEnabledAfterPageToggle);
        QVERIFY(!during.listEnabled);
        QVERIFY(!during.loadEnabled);
        QVERIFY(!during.identityEnabled);
        QVERIFY(!during.ioEnabled);
        QVERIFY(!during.benchEnabled);
        QVERIFY(during.dialogsEnabled);
        QVERIFY2(during.paintsOfTheBar >= 2, qPrintable(QString::number(during.paintsOfTheBar)));
        QCOMPARE(during.rows, 1);  // the device change was put off
        QCOMPARE(during.status, "Flashing the EEPROM from " + path + " ...");
        QCOMPARE(during.calls, std::size_t(1));

        // After: one flash of the path captured at the start, the device change
        // handled, the controls back, the result in the status bar.
        const std::vector<RecordedCall> flashes = callsOf("loadEepromImage");
        QCOMPARE(flashes.size(), std::size_t(1));
        QCOMPARE(QByteArray::fromStdString(flashes.front().text), QFile::encodeName(path));
        QCOMPARE(board->calls().size(), std::size_t(1));
        QVERIFY(form.flashProgressBar->isHidden());
        QVERIFY(!form.deviceGuard()->isBusy());
        QVERIFY(form.flashEEPROMBtn->isEnabled());
        QVERIFY(form.devListTree->isEnabled());
        QVERIFY(form.runBtn->isEnabled());
        QCOMPARE(form.devListTree->topLevelItemCount(), 2);
        QCOMPARE(form.devListTree->topLevelItem(1)->text(1), QStringLiteral("Newcomer"));
        QCOMPARE(status(form), "EEPROM flashed from " + path);
        QCOMPARE(form.eepromFileLineEdit->text(), QStringLiteral("other.hex"));

        // A row click works again.
        const QRect row = form.devListTree->visualItemRect(form.devListTree->topLevelItem(1));
        QTest::mouseClick(form.devListTree->viewport(), Qt::LeftButton, {}, row.center());
        QCOMPARE(status(form), QStringLiteral("Current device: Newcomer with ID 5"));
    }

    void pageSwitchedOffDuringTheFlashStaysOff()
    {
        MainForm form;
        prepare(form);
        form.eepromFileLineEdit->setText("image.hex");
        Gate gate;
        board->setHook("loadEepromImage", [&gate]() { gate.hold(); });
        QTimer::singleShot(0, [&]() {
            waitFor([&] { return gate.entered(); });
            form.firmwareTab->setEnabled(false);  // what expert mode off does
            gate.open();
        });
        form.flashEEPROM();
        QVERIFY(!gate.timedOut());
        QVERIFY(form.flashProgressBar->isHidden());
        QCOMPARE(status(form), QStringLiteral("EEPROM flashed from image.hex"));  // the flash was not stopped
        QVERIFY(!form.flashEEPROMBtn->isEnabled());                               // the page is off
        form.firmwareTab->setEnabled(true);
        QVERIFY(form.flashEEPROMBtn->isEnabled());
    }

    void simulatedBoardEndToEnd()
    {
        // The whole chain on a simulated board: the window, the library, the
        // board's checks, and what the user is shown.
        boards.plug(1, 5, "Sim board");
        MainForm form;
        prepare(form);
        const QRect row = form.devListTree->visualItemRect(form.devListTree->topLevelItem(1));
        QTest::mouseClick(form.devListTree->viewport(), Qt::LeftButton, {}, row.center());
        QCOMPARE(status(form), QStringLiteral("Current device: Sim board with ID 5"));
        using namespace firmwarefiles;

        const QString good = writeFile(files.filePath("blink.bit"), bitFile("3s500efg320", 1000, "blink.ncd"));
        form.fpgaFileLineEdit->setText(good);
        form.loadFPGAButton->click();
        QCOMPARE(status(form), "FPGA configured from " + good);
        QVERIFY(form.infoWindow->toPlainText().contains("configured with blink.ncd"));

        const QString wrong = writeFile(files.filePath("big.bit"), bitFile("3s1600efg320"));
        form.fpgaFileLineEdit->setText(wrong);
        form.loadFPGAButton->click();
        QCOMPARE(status(form),
                 "Loading the FPGA from " + wrong
                     + " failed: file refused: wrong part: the file is for 3s1600efg320, this board's FPGA is 3s500e");

        const QString bix = writeFile(files.filePath("fw.bix"), QByteArray(512, '\x02'));
        form.controllerFileLineEdit->setText(bix);
        form.loadControllerBtn->click();
        QCOMPARE(status(form), "Controller firmware loaded from " + bix);
        QVERIFY(form.infoWindow->toPlainText().contains("Controller firmware: fw.bix (512 bytes)"));

        // An image over the identity block renames the board; the list shows it.
        std::vector<std::uint8_t> eeprom(kousb::eeprom::kSize, kousb::eeprom::kErased);
        kousb::eeprom::writeId(eeprom, 6);
        kousb::eeprom::writeName(eeprom, "Renamed by flash");
        QMap<unsigned, QByteArray> chunks;
        chunks[kousb::eeprom::kIdentityOffset] =
            QByteArray(reinterpret_cast<const char*>(eeprom.data() + kousb::eeprom::kIdentityOffset),
                       int(kousb::eeprom::kIdentityBlockSize));
        const QString hex = writeFile(files.filePath("id.hex"), intelHex(chunks, "\r\n"));
        form.eepromFileLineEdit->setText(hex);
        form.flashEEPROMBtn->click();
        QCOMPARE(status(form),
                 "EEPROM flashed from " + hex + newestBackup() + "; the board is now Renamed by flash with ID 6");
        QCOMPARE(form.devListTree->topLevelItem(1)->text(0), QStringLiteral("6"));
        QCOMPARE(form.devListTree->topLevelItem(1)->text(1), QStringLiteral("Renamed by flash"));
        // The fields follow the same board (still current and marked), so
        // Update writes the new identity, not the old one back.
        QCOMPARE(form.devListTree->selectedItems(), QList<QTreeWidgetItem*>{form.devListTree->topLevelItem(1)});
        QCOMPARE(form.IdLineEdit->text(), QStringLiteral("6"));
        QCOMPARE(form.nameLineEdit->text(), QStringLiteral("Renamed by flash"));
        form.updateIdBtn->click();
        QCOMPARE(form.devListTree->topLevelItem(1)->text(1), QStringLiteral("Renamed by flash"));

        const QString missing = files.filePath("missing.hex");
        form.eepromFileLineEdit->setText(missing);
        form.flashEEPROMBtn->click();
        QCOMPARE(status(form), "Flashing the EEPROM from " + missing + " failed: file not found");
        QVERIFY(form.flashProgressBar->isHidden());
    }

    void flashEndsInsideAnotherModalLoop()
    {
        // A file dialog opened during the flash: the flash ends (bar hidden,
        // message shown, controls back) while the dialog is still open.
        MainForm form;
        prepare(form);
        form.eepromFileLineEdit->setText("image.hex");
        Gate gate;
        board->setHook("loadEepromImage", [&gate]() { gate.hold(); });
        bool barHiddenWhileDialogOpen = false;
        QString statusWhileDialogOpen;
        QTimer::singleShot(0, [&]() {
            waitFor([&] { return gate.entered(); });
            answerFileDialog([&](QFileDialog* d) {
                gate.open();
                waitFor([&] { return form.flashProgressBar->isHidden(); });
                barHiddenWhileDialogOpen = form.flashProgressBar->isHidden();
                statusWhileDialogOpen = form.statusbar->currentMessage();
                d->reject();
            });
            form.openFPGADialog();
        });
        form.flashEEPROM();
        QVERIFY(!gate.timedOut());
        QVERIFY(barHiddenWhileDialogOpen);
        QCOMPARE(statusWhileDialogOpen, QStringLiteral("EEPROM flashed from image.hex"));
        QVERIFY(form.flashEEPROMBtn->isEnabled());
    }
};

QTEST_MAIN(TestFirmwarePages)
#include "tst_firmwarepages.moc"
