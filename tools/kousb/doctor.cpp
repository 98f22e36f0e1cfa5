// SPDX-License-Identifier: MIT
// doctor: whether each board, real or simulated, can be used from here, and
// what to do where it cannot.
#include "commands.h"
#include "doctorfacts.h"
#ifdef KOUSB_HAVE_LIBUSB
#include "libusb/libusbbackend.h"
#endif

#include <cstdlib>
#include <iostream>
#include <string>
#include <map>

namespace cli {

int doctorCommand(const Args& args)
{
    const Arguments arguments(args, {}, {});
    arguments.expectPositional(0, 0, "");
    std::vector<doctor::Finding> findings;
    const char* backend = std::getenv("KOUSB_USB_BACKEND");
    if (backend && std::string(backend) == "off") {
        findings.push_back({doctor::Finding::Level::Note, "usb", "real boards left out (KOUSB_USB_BACKEND=off)", {}});
    } else {
#ifdef KOUSB_HAVE_LIBUSB
        // Looked at directly: the library would open and claim every board.
        findings = doctor::examineUsb(kousb::usb::LibusbBackend::idsFromEnvironment());
#else
        findings.push_back(
            {doctor::Finding::Level::Note, "usb", "this kousb was built without libusb: no real boards", {}});
#endif
    }
    // The library serves the simulated boards; the real ones were seen above.
    ::setenv("KOUSB_USB_BACKEND", "off", 1);
    InitUSB();
    std::map<int, std::pair<std::int32_t, std::string>> listed;
    KoUSBDevice device(nullptr);
    for (int slot = 0; slot < GetMaxNumberOfUSBBoards(); ++slot) {
        if (void* handle = GetUSBDeviceIndexed(slot)) {
            device.SetDeviceHandle(handle);
            const std::string place = device.GetPlace();
            if (place.compare(0, 4, "sim-") == 0)
                listed[std::atoi(place.c_str() + 4)] = {device.GetId(), printableBoardText(device.GetName())};
        }
    }
    const std::vector<doctor::Finding> sim = doctor::judgeSimFolder(doctor::simFolderFacts(listed));
    findings.insert(findings.end(), sim.begin(), sim.end());
    for (const doctor::Finding& finding : findings)
        std::cout << doctor::format(finding) << "\n";
    return doctor::allUsable(findings) ? kExitOk : kExitFailed;
}

}  // namespace cli
