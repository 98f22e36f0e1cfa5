// SPDX-License-Identifier: MIT
// udm-screenshots DIR: the window with the boards of $KOUSB_SIM_DIR, one PNG
// per page in DIR, for the README (scripts/screenshot.sh runs it under Xvfb).
// Each page shows something done on it: a read on "IO Tests", a run on
// "Benchmark"; the firmware pages are shown in expert mode.
#include "highdpi.h"
#include "mainform.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>

#include <cstdio>

namespace {

// Lets the window paint what it has to before it is grabbed.
void settle()
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

bool shoot(MainForm& form, const QDir& dir, const char* name)
{
    settle();
    const QString path = dir.filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    if (!form.grab().save(path)) {
        std::fprintf(stderr, "udm-screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    prepareHighDpi(argc, argv);  // as the program itself, so a high-DPI screen gives the scaled window
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: udm-screenshots DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    MainForm form;
    form.show();
    bool ok = true;

    form.tabWidget->setCurrentWidget(form.devlistTab);
    form.deviceTab->setCurrentWidget(form.infoTab);
    ok = shoot(form, dir, "device-list") && ok;
    form.deviceTab->setCurrentWidget(form.miscTab);
    ok = shoot(form, dir, "identification") && ok;
    form.actionExpertMode->trigger();
    form.deviceTab->setCurrentWidget(form.firmwareTab);
    ok = shoot(form, dir, "usb-firmware") && ok;
    form.deviceTab->setCurrentWidget(form.fpgaTab);
    ok = shoot(form, dir, "fpga-firmware") && ok;

    form.tabWidget->setCurrentWidget(form.testTb);
    form.modeComboBox->setCurrentText(QStringLiteral("External"));
    form.addLine->setText(QStringLiteral("16"));
    form.writeDataLine->setText(QStringLiteral("1 2 255"));
    form.writeBtn->click();
    form.readBtn->click();
    ok = shoot(form, dir, "io-tests") && ok;

    form.tabWidget->setCurrentWidget(form.benchmarkTab);
    form.runBtn->click();  // returns when the run has ended
    ok = shoot(form, dir, "benchmark") && ok;
    return ok ? 0 : 1;
}
