#include "emulated_bridge.h"

#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace regdiag::test {

namespace {

constexpr std::uint16_t kVendorId = 0x4B7C;
constexpr std::uint16_t kProductId = 0x2005;
constexpr std::uint8_t kBusNumber = 1;

// A read-only kernel setting: the kernel refuses to open it for writing to
// everyone, root included, with EACCES. A node that points there cannot be
// opened the way libusb opens one (read and write).
constexpr const char* kUnwritableFile = "/proc/sys/kernel/osrelease";

void Append16(std::vector<std::uint8_t>& bytes, std::uint16_t value) {
  bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
  bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

std::string Format(const char* format, unsigned value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::vector<std::uint8_t> BridgeDescriptors(bool endpoints) {
  std::vector<std::uint8_t> bytes = {18, 1};  // device
  Append16(bytes, 0x0200);                    // bcdUSB
  bytes.insert(bytes.end(), {0x00, 0x00, 0x00, 64});
  Append16(bytes, kVendorId);
  Append16(bytes, kProductId);
  Append16(bytes, 0x0100);  // bcdDevice
  bytes.insert(bytes.end(), {0, 0, 0, 1});

  const std::uint8_t endpointCount = endpoints ? 2 : 0;
  bytes.insert(bytes.end(), {9, 2});  // configuration
  Append16(bytes, static_cast<std::uint16_t>(9 + 9 + 7 * endpointCount));
  bytes.insert(bytes.end(), {1, 1, 0, 0x80, 50});
  bytes.insert(bytes.end(), {9, 4, 0, 0, endpointCount, 0xFF, 0x00, 0x00, 0});  // interface 0
  if (endpoints) {
    bytes.insert(bytes.end(), {7, 5, 0x02, 0x02});  // bulk OUT
    Append16(bytes, 64);
    bytes.push_back(0);
    bytes.insert(bytes.end(), {7, 5, 0x82, 0x02});  // bulk IN
    Append16(bytes, 64);
    bytes.push_back(0);
  }
  return bytes;
}

EmulatedUsb::EmulatedUsb() : testbed_(umockdev_testbed_new()) {}

EmulatedUsb::~EmulatedUsb() {
  // The bed goes first: its worker thread may still be serving the handlers.
  g_object_unref(testbed_);
  bridges_.clear();
}

std::string EmulatedUsb::UnopenableProblem() {
  const int probe = open(kUnwritableFile, O_RDWR);
  const int error = errno;
  if (probe >= 0) {
    close(probe);
  }
  if (probe < 0 && error == EACCES) {
    return {};
  }
  return std::string("this system opens ") + kUnwritableFile + " for writing with \"" +
         (probe >= 0 ? "success" : std::strerror(error)) +
         "\" instead of EACCES, so no node can be made to refuse libusb for lack of permission";
}

bool EmulatedUsb::InMockEnvironment() {
  const auto isPreload = [](dl_phdr_info* info, std::size_t /*size*/, void* /*data*/) -> int {
    const char* name = info->dlpi_name;
    return name != nullptr && std::strstr(name, "libumockdev-preload") != nullptr ? 1 : 0;
  };
  return dl_iterate_phdr(isPreload, nullptr) != 0;
}

int EmulatedUsb::Plug(BridgeShape shape) {
  Plugged bridge;
  bridge.deviceNumber = nextDeviceNumber_++;
  bridge.handler = std::make_unique<UsbdevfsHandler>(shape.endpoints);
  const std::string bus = Format("%03u", kBusNumber);
  const std::string device = Format("%03u", bridge.deviceNumber);
  const std::string name = std::to_string(kBusNumber) + "-" + std::to_string(bridges_.size() + 1);
  bridge.node = "/dev/bus/usb/" + bus + "/" + device;
  const std::string& node = bridge.node;
  const std::string vendor = Format("%04x", kVendorId);
  const std::string product = Format("%04x", kProductId);

  // sysfs attributes, then udev properties, as the kernel and udev show them.
  gchar* syspath = umockdev_testbed_add_device(
      testbed_, "usb", name.c_str(), nullptr,  //
      "busnum", Format("%u\n", kBusNumber).c_str(), "devnum", Format("%u\n", bridge.deviceNumber).c_str(),
      "speed", "480\n", "bConfigurationValue", "1\n", "bNumConfigurations", "1\n", "idVendor",
      (vendor + "\n").c_str(), "idProduct", (product + "\n").c_str(), nullptr,  //
      "DEVNAME", node.c_str(), "DEVTYPE", "usb_device", "BUSNUM", bus.c_str(), "DEVNUM", device.c_str(),
      "PRODUCT", (vendor + "/" + product + "/100").c_str(), nullptr);
  bridge.syspath = syspath;
  g_free(syspath);

  MakeNode(bridge, shape.openable);

  // The descriptors come last: libusb takes up a device (and opens it) only
  // once it can read them, and by then the node is ready. The first "add"
  // went out before they were there.
  std::vector<std::uint8_t> descriptors = BridgeDescriptors(shape.endpoints);
  umockdev_testbed_set_attribute_binary(testbed_, bridge.syspath.c_str(), "descriptors", descriptors.data(),
                                        static_cast<gint>(descriptors.size()));
  umockdev_testbed_uevent(testbed_, bridge.syspath.c_str(), "add");
  bridge.present = true;
  bridges_.push_back(std::move(bridge));
  return static_cast<int>(bridges_.size()) - 1;
}

void EmulatedUsb::MakeNode(const Plugged& bridge, bool openable) {
  gchar* root = umockdev_testbed_get_root_dir(testbed_);
  const std::string file = std::string(root) + bridge.node;
  g_free(root);
  gchar* folder = g_path_get_dirname(file.c_str());
  g_mkdir_with_parents(folder, 0755);
  g_free(folder);
  unlink(file.c_str());
  if (!openable) {
    if (symlink(kUnwritableFile, file.c_str()) != 0) {
      throw std::runtime_error("cannot create " + file);
    }
    return;
  }
  if (!g_file_set_contents(file.c_str(), "", 0, nullptr)) {
    throw std::runtime_error("cannot create " + file);
  }
  GError* error = nullptr;
  if (!umockdev_testbed_attach_ioctl(testbed_, bridge.node.c_str(), bridge.handler->Base(), &error)) {
    const std::string message = error != nullptr ? error->message : "unknown error";
    g_clear_error(&error);
    throw std::runtime_error("cannot attach to " + bridge.node + ": " + message);
  }
}

void EmulatedUsb::MakeOpenable(int bridge) { MakeNode(bridges_.at(static_cast<std::size_t>(bridge)), true); }

void EmulatedUsb::Unplug(int index) {
  Plugged& bridge = bridges_.at(static_cast<std::size_t>(index));
  if (!bridge.present) {
    return;
  }
  // As with a real bridge, a descriptor still open after the pull only gets
  // ENODEV; the program closes it when it handles the remove event.
  bridge.handler->Unplugged();
  umockdev_testbed_uevent(testbed_, bridge.syspath.c_str(), "remove");
  umockdev_testbed_remove_device(testbed_, bridge.syspath.c_str());
  bridge.present = false;
}

}  // namespace regdiag::test
