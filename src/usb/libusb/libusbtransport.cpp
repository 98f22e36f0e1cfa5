// SPDX-License-Identifier: MIT
// The libusb side of the transport: synchronous transfers, the error names,
// and following a device through re-enumeration by its port.
#include "libusbtransport.h"

#include "protocol.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>

namespace kousb::usb {

namespace {

using Clock = std::chrono::steady_clock;
// How often the device list is looked at again while a board re-enumerates
// when nothing else wakes the wait: without hot-plug, and while a node that
// has come back waits for udev to give it its permissions (no bus event).
constexpr Milliseconds kRelookInterval{20};

TransferError errorOf(int code)
{
    switch (code) {
    case LIBUSB_SUCCESS: return TransferError::None;
    case LIBUSB_ERROR_TIMEOUT: return TransferError::Timeout;
    case LIBUSB_ERROR_PIPE: return TransferError::Stall;
    case LIBUSB_ERROR_NO_DEVICE: return TransferError::NoDevice;
    case LIBUSB_ERROR_ACCESS: return TransferError::Access;
    case LIBUSB_ERROR_OVERFLOW: return TransferError::Overflow;
    case LIBUSB_ERROR_BUSY: return TransferError::Busy;
    default: return TransferError::Other;
    }
}

const char* speedName(int speed)
{
    switch (speed) {
    case LIBUSB_SPEED_LOW: return "low (1.5 Mbit/s)";
    case LIBUSB_SPEED_FULL: return "full (12 Mbit/s)";
    case LIBUSB_SPEED_HIGH: return "high (480 Mbit/s)";
    case LIBUSB_SPEED_SUPER: return "super (5 Gbit/s)";
    case LIBUSB_SPEED_SUPER_PLUS: return "super plus (10 Gbit/s)";
    default: return "unknown";
    }
}

EndpointType typeOf(std::uint8_t attributes)
{
    switch (attributes & LIBUSB_TRANSFER_TYPE_MASK) {
    case LIBUSB_TRANSFER_TYPE_CONTROL: return EndpointType::Control;
    case LIBUSB_TRANSFER_TYPE_ISOCHRONOUS: return EndpointType::Isochronous;
    case LIBUSB_TRANSFER_TYPE_INTERRUPT: return EndpointType::Interrupt;
    default: return EndpointType::Bulk;
    }
}

// A string descriptor as ASCII; empty for index 0, without a handle, or unreadable.
std::string stringDescriptor(libusb_device_handle* handle, std::uint8_t index)
{
    unsigned char text[128] = {};
    if (!handle || index == 0 || libusb_get_string_descriptor_ascii(handle, index, text, sizeof text) <= 0)
        return {};
    return reinterpret_cast<const char*>(text);
}

// Descriptors come from the kernel's cache, so they need no open handle;
// only the product and serial strings do.
DeviceDescription describe(libusb_device* device, libusb_device_handle* handle)
{
    DeviceDescription d;
    libusb_device_descriptor dev{};
    if (libusb_get_device_descriptor(device, &dev) == 0) {
        d.vendorId = dev.idVendor;
        d.productId = dev.idProduct;
        d.deviceRelease = dev.bcdDevice;
        d.product = stringDescriptor(handle, dev.iProduct);
        d.serial = stringDescriptor(handle, dev.iSerialNumber);
    }
    d.speed = speedName(libusb_get_device_speed(device));
    d.bus = libusb_get_bus_number(device);
    d.deviceAddress = libusb_get_device_address(device);
    std::uint8_t ports[8];
    const int n = libusb_get_port_numbers(device, ports, sizeof ports);
    if (n > 0)
        d.portPath.assign(ports, ports + n);
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) == 0) {
        d.configuration = config->bConfigurationValue;
        for (int i = 0; i < config->bNumInterfaces; ++i) {
            const libusb_interface& iface = config->interface[i];
            for (int a = 0; a < iface.num_altsetting; ++a) {
                const libusb_interface_descriptor& alt = iface.altsetting[a];
                AltSettingDescription out;
                out.interfaceNumber = alt.bInterfaceNumber;
                out.alternateSetting = alt.bAlternateSetting;
                out.interfaceClass = alt.bInterfaceClass;
                for (int e = 0; e < alt.bNumEndpoints; ++e) {
                    const libusb_endpoint_descriptor& ep = alt.endpoint[e];
                    out.endpoints.push_back({ep.bEndpointAddress, typeOf(ep.bmAttributes), ep.wMaxPacketSize});
                }
                d.altSettings.push_back(std::move(out));
            }
        }
        libusb_free_config_descriptor(config);
    }
    return d;
}

}  // namespace

TransferResult libusbResult(int code, int transferred)
{
    TransferResult r;
    r.error = errorOf(code < 0 ? code : 0);
    r.transferred = transferred > 0 ? std::size_t(transferred) : 0;
    if (code < 0)
        r.detail = libusb_error_name(code);
    return r;
}

std::shared_ptr<LibusbContext> LibusbContext::create(std::string& error)
{
    libusb_context* context = nullptr;
    const int rc = libusb_init(&context);
    if (rc != 0) {
        error = libusb_error_name(rc);
        return nullptr;
    }
    return std::shared_ptr<LibusbContext>(new LibusbContext(context));
}

LibusbContext::~LibusbContext() { libusb_exit(m_context); }

void LibusbContext::noteBusChange()
{
    {
        std::lock_guard<std::mutex> lock(m_changeMutex);
        ++m_changes;
    }
    m_changed.notify_all();
}

std::uint64_t LibusbContext::busChanges() const
{
    std::lock_guard<std::mutex> lock(m_changeMutex);
    return m_changes;
}

std::uint64_t LibusbContext::waitForBusChange(std::uint64_t seen, Clock::time_point until) const
{
    std::unique_lock<std::mutex> lock(m_changeMutex);
    m_changed.wait_until(lock, until, [&] { return m_changes != seen; });
    return m_changes;
}

std::vector<std::uint8_t> portKey(libusb_device* device)
{
    std::vector<std::uint8_t> key{libusb_get_bus_number(device)};
    std::uint8_t ports[8];
    const int n = libusb_get_port_numbers(device, ports, sizeof ports);
    if (n > 0)
        key.insert(key.end(), ports, ports + n);
    return key;
}

LibusbTransport::LibusbTransport(std::shared_ptr<LibusbContext> context, libusb_device* device)
    : m_context(std::move(context))
{
    adopt(device);
}

LibusbTransport::~LibusbTransport() { close(); }

void LibusbTransport::close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_handle) {
        if (m_claimed)
            libusb_release_interface(m_handle, 0);
        libusb_close(m_handle);
    }
    if (m_device)
        libusb_unref_device(m_device);
    m_handle = nullptr;
    m_device = nullptr;
    m_claimed = false;
}

void LibusbTransport::adopt(libusb_device* device)
{
    libusb_ref_device(device);  // before close(): `device` may be the one closed
    close();
    libusb_device_handle* handle = nullptr;
    const int rc = libusb_open(device, &handle);
    bool claimed = false;
    if (rc == 0) {
        // A kernel driver bound to the interface (none normally is) gives way while we hold it.
        libusb_set_auto_detach_kernel_driver(handle, 1);
        claimed = libusb_claim_interface(handle, 0) == 0;
    }
    DeviceDescription d = describe(device, handle);
    d.openError = errorOf(rc);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_device = device;
    m_handle = handle;
    m_claimed = claimed;
    m_openError = d.openError;
    m_openDetail = rc == 0 ? "" : libusb_error_name(rc);
    m_description = std::move(d);
}

bool LibusbTransport::reenumerating() const
{
    if (m_awaiting)
        return true;
    const std::int64_t started = m_cpuStartedAt;
    return started != 0 && Clock::now() - Clock::time_point(Clock::duration(started)) < protocol::kLeaveWithin;
}

libusb_device* LibusbTransport::device() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_device;
}

DeviceDescription LibusbTransport::description() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_description;
}

TransferResult LibusbTransport::notOpen() const
{
    TransferResult r;
    r.error = m_openError == TransferError::None ? TransferError::Other : m_openError;
    r.detail = m_openDetail.empty() ? "the device is not open" : m_openDetail;
    return r;
}

TransferResult LibusbTransport::control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                        std::uint16_t index, std::uint8_t* data, std::size_t length,
                                        Milliseconds timeout)
{
    if (!m_handle)
        return notOpen();
    // Letting the CPU run makes the device drop off the bus at once, before
    // awaitReenumeration starts: from here on its absence is expected.
    const bool startsCpu = requestType == protocol::kVendorOut && request == protocol::kFirmwareLoad
                           && value == protocol::kCpucs && length == 1 && data && (data[0] & protocol::kCpuReset) == 0;
    if (startsCpu)
        m_cpuStartedAt = Clock::now().time_since_epoch().count();
    const int rc = libusb_control_transfer(m_handle, requestType, request, value, index, data, std::uint16_t(length),
                                           unsigned(timeout.count()));
    if (startsCpu && rc < 0)
        m_cpuStartedAt = 0;
    return libusbResult(rc, rc);
}

TransferResult LibusbTransport::endpointTransfer(EndpointTransfer transfer, std::uint8_t endpoint, std::uint8_t* data,
                                                 std::size_t length, Milliseconds timeout)
{
    if (!m_handle)
        return notOpen();
    if (!m_claimed)
        return {TransferError::Busy, 0, "interface 0 is held by another program"};
    int transferred = 0;
    const int rc = transfer(m_handle, endpoint, data, int(length), &transferred, unsigned(timeout.count()));
    return libusbResult(rc, transferred);
}

TransferResult LibusbTransport::bulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t length,
                                     Milliseconds timeout)
{
    return endpointTransfer(libusb_bulk_transfer, endpoint, data, length, timeout);
}

TransferResult LibusbTransport::interrupt(std::uint8_t endpoint, std::uint8_t* data, std::size_t length,
                                          Milliseconds timeout)
{
    return endpointTransfer(libusb_interrupt_transfer, endpoint, data, length, timeout);
}

TransferResult LibusbTransport::clearHalt(std::uint8_t endpoint)
{
    if (!m_handle)
        return notOpen();
    return libusbResult(libusb_clear_halt(m_handle, endpoint), 0);
}

TransferResult LibusbTransport::awaitReenumeration(Milliseconds leaveWithin, Milliseconds backWithin)
{
    struct Flag {
        LibusbTransport& t;
        explicit Flag(LibusbTransport& transport) : t(transport) { t.m_awaiting = true; }
        ~Flag()
        {
            t.m_cpuStartedAt = 0;
            t.m_awaiting = false;
        }
    } flag(*this);

    // Held for the whole wait, so that the pointer compared below stays this device's.
    struct Held {
        libusb_device* d;
        ~Held() { libusb_unref_device(d); }
    } const held{libusb_ref_device(device())};
    libusb_device* const old = held.d;
    const std::vector<std::uint8_t> key = portKey(old);
    // The device at our port now: the old one, a new one, or none.
    auto atPort = [&](bool& oldSeen) -> libusb_device* {
        libusb_device** list = nullptr;
        const ssize_t n = libusb_get_device_list(m_context->get(), &list);
        libusb_device* found = nullptr;
        oldSeen = false;
        for (ssize_t i = 0; i < n; ++i) {
            if (list[i] == old)
                oldSeen = true;
            else if (!found && portKey(list[i]) == key)
                found = libusb_ref_device(list[i]);
        }
        if (n >= 0)
            libusb_free_device_list(list, 1);
        return found;
    };

    // The device list is looked at again on each hot-plug event, so the
    // board is followed as soon as it is back.
    const auto leaveBy = Clock::now() + leaveWithin;
    const auto backBy = leaveBy + backWithin;
    bool left = false;
    std::uint64_t changes = m_context->busChanges();
    while (Clock::now() < backBy) {
        bool oldSeen = false;
        bool relook = !m_context->hotplug();
        libusb_device* fresh = atPort(oldSeen);
        if (fresh) {
            adopt(fresh);
            libusb_unref_device(fresh);
            // udev may not yet have given the new node its permissions.
            if (m_openError != TransferError::Access || Clock::now() >= backBy)
                return {};
            relook = true;
        } else if (!oldSeen) {
            left = true;
        } else if (!left && Clock::now() >= leaveBy) {
            // Still there: the firmware runs without re-enumerating.
            adopt(old);
            return {};
        }
        const auto until = relook ? Clock::now() + kRelookInterval : left ? backBy : leaveBy;
        changes = m_context->waitForBusChange(changes, std::min(until, backBy));
    }
    return {TransferError::Timeout, 0, "the device did not come back"};
}

}  // namespace kousb::usb
