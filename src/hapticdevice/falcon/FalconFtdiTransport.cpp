// The Falcon over libftdi1: the FT232 bridge in plain UART mode in front of
// the device's DSP.
#include "hapticdevice/falcon/FalconProtocol.h"
#include "hapticdevice/falcon/FalconTransport.h"

#include <ftdi.h>
#include <libusb.h>

#include <chrono>
#include <memory>

namespace Kiln {
namespace falcon {
namespace {

// The bridge rounds this to 1.5 MBd; it is the rate the firmware expects.
constexpr int normalBaud = 1456312;
constexpr int bootloaderSlowBaud = 9600;
constexpr int bootloaderFastBaud = 140000;
constexpr unsigned char normalLatencyMs = 1;
// Bootloader replies are rarely complete with a shorter timer.
constexpr unsigned char bootloaderLatencyMs = 16;
// A single USB transfer; reads loop on it until their own deadline.
constexpr int usbTimeoutMs = 100;
// Failed transfers in a row after which the device counts as gone.
constexpr int failuresBeforeLost = 3;

struct ContextDeleter {
    void operator()(ftdi_context* context) const { ftdi_free(context); }
};
using Context = std::unique_ptr<ftdi_context, ContextDeleter>;

struct DeviceListDeleter {
    void operator()(ftdi_device_list* list) const { ftdi_list_free(&list); }
};
using DeviceList = std::unique_ptr<ftdi_device_list, DeviceListDeleter>;

std::int64_t nowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class FtdiTransport final : public ITransport {
public:
    explicit FtdiTransport(Context context_) : context(std::move(context_)) {
        context->usb_read_timeout = usbTimeoutMs;
        context->usb_write_timeout = usbTimeoutMs;
    }
    ~FtdiTransport() override { ftdi_usb_close(context.get()); }

    bool setMode(LinkMode mode) override {
        const bool normal = mode == LinkMode::Normal;
        const int baud = normal ? normalBaud
                                : (mode == LinkMode::BootloaderSlow ? bootloaderSlowBaud
                                                                    : bootloaderFastBaud);
        return check(ftdi_set_latency_timer(context.get(),
                                            normal ? normalLatencyMs : bootloaderLatencyMs)) &&
               check(ftdi_set_baudrate(context.get(), baud)) &&
               check(ftdi_set_line_property(context.get(), BITS_8, STOP_BIT_1, NONE)) &&
               check(ftdi_setflowctrl(context.get(), SIO_DISABLE_FLOW_CTRL));
    }

    bool purge() override { return check(ftdi_tcioflush(context.get())); }
    bool setDtr(bool high) override { return check(ftdi_setdtr(context.get(), high ? 1 : 0)); }
    bool setRts(bool high) override { return check(ftdi_setrts(context.get(), high ? 1 : 0)); }

    bool write(const std::uint8_t* data, std::size_t size) override {
        if (lost)
            return false;
        const int written = ftdi_write_data(context.get(), data, static_cast<int>(size));
        return check(written) && static_cast<std::size_t>(written) == size;
    }

    int read(std::uint8_t* data, std::size_t capacity, std::int64_t timeoutMicros) override {
        if (lost)
            return -1;
        // A transfer that carries only the bridge's two status bytes ends
        // ftdi_read_data early with 0: that is "nothing yet", not an error.
        const std::int64_t deadline = nowMicros() + timeoutMicros;
        for (;;) {
            const int got = ftdi_read_data(context.get(), data, static_cast<int>(capacity));
            if (!check(got))
                return lost ? -1 : 0;
            if (got > 0 || nowMicros() >= deadline)
                return got;
        }
    }

    bool isLost() const override { return lost; }

private:
    bool check(int result) {
        if (result >= 0) {
            failures = 0;
            return true;
        }
        if (++failures >= failuresBeforeLost)
            lost = true;
        return false;
    }

    Context context;
    int failures = 0;
    bool lost = false;
};

class FtdiPort final : public IPort {
public:
    std::vector<DeviceInfo> list() override {
        std::vector<DeviceInfo> found;
        Context context(ftdi_new());
        if (!context)
            return found;
        ftdi_device_list* raw = nullptr;
        if (ftdi_usb_find_all(context.get(), &raw, usbVendorId, usbProductId) <= 0) {
            ftdi_list_free(&raw);
            return found;
        }
        const DeviceList devices(raw);
        for (ftdi_device_list* node = raw; node; node = node->next)
            found.push_back(describe(context.get(), node->dev));
        return found;
    }

    std::unique_ptr<ITransport> open(int index, std::string& error) override {
        Context context(ftdi_new());
        if (!context) {
            error = "libftdi could not start";
            return nullptr;
        }
        ftdi_device_list* raw = nullptr;
        const int count = ftdi_usb_find_all(context.get(), &raw, usbVendorId, usbProductId);
        const DeviceList devices(raw);
        if (count < 0) {
            error = std::string("the USB bus cannot be read: ") + ftdi_get_error_string(context.get());
            return nullptr;
        }
        ftdi_device_list* node = raw;
        for (int i = 0; node && i < index; ++i)
            node = node->next;
        if (!node) {
            error = "no Falcon is connected";
            return nullptr;
        }
        // Opening detaches the kernel's serial driver, resets the bridge and
        // claims interface 0.
        if (ftdi_usb_open_dev(context.get(), node->dev) < 0) {
            error = std::string("the Falcon cannot be opened (") +
                    ftdi_get_error_string(context.get()) +
                    "); without root this needs the udev rule that comes with Morvel";
            return nullptr;
        }
        return std::make_unique<FtdiTransport>(std::move(context));
    }

private:
    static DeviceInfo describe(ftdi_context* context, libusb_device* device) {
        DeviceInfo info;
        char description[128] = {0};
        char serial[128] = {0};
        // Reading the strings opens the device: without access rights they
        // stay empty, and the device is still listed.
        if (ftdi_usb_get_strings(context, device, nullptr, 0, description, sizeof description,
                                 serial, sizeof serial) == 0) {
            info.description = description;
            info.serial = serial;
        }
        if (info.description.empty())
            info.description = usbDescription;
        info.location = "bus " + std::to_string(libusb_get_bus_number(device)) + " port " +
                        std::to_string(libusb_get_port_number(device));
        return info;
    }
};

} // namespace

std::shared_ptr<IPort> makeFtdiPort() { return std::make_shared<FtdiPort>(); }

} // namespace falcon
} // namespace Kiln
