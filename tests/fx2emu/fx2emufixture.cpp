// SPDX-License-Identifier: MIT
#include "fx2emufixture.h"

#include "buildpaths.h"

#include "KoUSBLib.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QTest>
#include <QThread>

#include <poll.h>

namespace fx2emu {

QString missing()
{
    std::string why;
    if (!EmulatedBus::available(why))
        return QString::fromStdString(why);
    if (!QFileInfo(QString::fromStdString(tools().s51)).isExecutable())
        return "s51 (Debian package sdcc-ucsim) is not installed";
    if (!QFileInfo(image("kousb-fx2.ihx")).isFile())
        return "the firmware image was not built (Debian package sdcc)";
    return {};
}

std::unique_ptr<EmulatedBus> startBus()
{
    if (const QString why = missing(); !why.isEmpty()) {
        QTest::qSkip(qPrintable(why), __FILE__, __LINE__);
        return nullptr;
    }
    auto bus = std::make_unique<EmulatedBus>();
    qputenv("KOUSB_USB_BACKEND", "on");
    if (!QTest::qVerify(InitUSB(), "InitUSB()", "", __FILE__, __LINE__))
        return nullptr;
    return bus;
}

void stopBus(std::unique_ptr<EmulatedBus>& bus)
{
    if (bus)
        bus->unplugAll();
    OnDeviceChange();
    bus.reset();
}

Fx2Emulator::Tools tools() { return fx2emubuild::tools(); }

QString image(const QString& name) { return QString::fromStdString(fx2emubuild::image(name.toStdString())); }

ToolResult runOnBus(const EmulatedBus& bus, const QString& program, const QStringList& args)
{
    QStringList env;
    for (const std::string& e : bus.environment())
        env << QString::fromStdString(e);
    // A program built with ASan wants its runtime first among the libraries;
    // the preload comes first here, which works all the same.
    const QByteArray asan = qgetenv("ASAN_OPTIONS");
    env << "ASAN_OPTIONS=" + QString::fromLatin1(asan) + (asan.isEmpty() ? "" : ":") + "verify_asan_link_order=0";
    return runTool(program, args, 120000, env);
}

int waitForBoard(int port, const QString& showing)
{
    const QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        pollfd p{GetDeviceChangeDescriptor(), POLLIN, 0};
        if (p.fd >= 0)
            ::poll(&p, 1, 100);
        OnDeviceChange();
        for (int slot = 0; slot < GetMaxNumberOfUSBBoards(); ++slot) {
            KoUSBDevice d(GetUSBDeviceIndexed(slot));
            const QString info = QString::fromLatin1(d.GetEndpointInfo());
            if (info.contains(QString("Bus 1, port %1,").arg(port)) && info.contains(showing))
                return slot;
        }
    }
    return -1;
}

QString takeFaults(Fx2Emulator& chip)
{
    QStringList lines;
    for (const std::string& f : chip.takeFaults())
        lines << QString::fromStdString(f);
    return lines.join('\n');
}

}  // namespace fx2emu
