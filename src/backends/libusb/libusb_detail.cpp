#include <algorithm>
#include <memory>

#include "backends/libusb/libusb_library.h"
#include "backends/libusb/libusb_library_session.h"

namespace regdiag::usb::libusb_detail {

namespace {

// Bits 0..10 of wMaxPacketSize give the size; bits 11 and 12 count extra
// transactions per microframe and are not part of it.
constexpr std::uint16_t kPacketSizeMask = 0x07FF;
constexpr std::uint8_t kDirectionIn = 0x80;

struct ConfigFree {
  void operator()(libusb_config_descriptor* config) const { libusb_free_config_descriptor(config); }
};

bool FieldMatches(std::uint8_t wanted, std::uint8_t actual) { return wanted == 0 || wanted == actual; }

const libusb_interface_descriptor* FindSetting(const libusb_config_descriptor& config,
                                               std::uint8_t alternateSetting) {
  for (int i = 0; i < config.bNumInterfaces; ++i) {
    const libusb_interface& interface = config.interface[i];
    for (int a = 0; a < interface.num_altsetting; ++a) {
      const libusb_interface_descriptor& setting = interface.altsetting[a];
      if (setting.bInterfaceNumber == 0 && setting.bAlternateSetting == alternateSetting) {
        return &setting;
      }
    }
  }
  return nullptr;
}

void CopyDevice(const libusb_device_descriptor& from, DeviceDescriptor* to) {
  to->bLength = from.bLength;
  to->bDescriptorType = from.bDescriptorType;
  to->bcdUSB = from.bcdUSB;
  to->bDeviceClass = from.bDeviceClass;
  to->bDeviceSubClass = from.bDeviceSubClass;
  to->bDeviceProtocol = from.bDeviceProtocol;
  to->bMaxPacketSize0 = from.bMaxPacketSize0;
  to->idVendor = from.idVendor;
  to->idProduct = from.idProduct;
  to->bcdDevice = from.bcdDevice;
  to->iManufacturer = from.iManufacturer;
  to->iProduct = from.iProduct;
  to->iSerialNumber = from.iSerialNumber;
  to->bNumConfigurations = from.bNumConfigurations;
}

void CopySetting(const libusb_interface_descriptor& from, AlternateSetting* to) {
  InterfaceDescriptor& descriptor = to->descriptor;
  descriptor.bLength = from.bLength;
  descriptor.bDescriptorType = from.bDescriptorType;
  descriptor.bInterfaceNumber = from.bInterfaceNumber;
  descriptor.bAlternateSetting = from.bAlternateSetting;
  descriptor.bNumEndpoints = from.bNumEndpoints;
  descriptor.bInterfaceClass = from.bInterfaceClass;
  descriptor.bInterfaceSubClass = from.bInterfaceSubClass;
  descriptor.bInterfaceProtocol = from.bInterfaceProtocol;
  descriptor.iInterface = from.iInterface;
  to->pipes.clear();
  for (int e = 0; e < from.bNumEndpoints; ++e) {
    const libusb_endpoint_descriptor& endpoint = from.endpoint[e];
    to->pipes.push_back(PipeRecord{
        endpoint.bEndpointAddress,
        static_cast<std::uint32_t>(PipeTypeFromAttributes(endpoint.bmAttributes)),
        static_cast<std::uint32_t>(endpoint.wMaxPacketSize & kPacketSizeMask),
        endpoint.bInterval,
        (endpoint.bEndpointAddress & kDirectionIn) != 0 ? 1U : 0U,
    });
  }
}

}  // namespace

UsbStatus StatusFromLibusbError(int libusbError) {
  switch (libusbError) {
    case LIBUSB_SUCCESS:  // also LIBUSB_TRANSFER_COMPLETED
      return kStatusSuccess;
    case LIBUSB_ERROR_TIMEOUT:
    case LIBUSB_TRANSFER_TIMED_OUT:
      return kStatusTimeout;
    case LIBUSB_ERROR_PIPE:
    case LIBUSB_TRANSFER_STALL:
      return kStatusStall;
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_TRANSFER_NO_DEVICE:
      return kStatusNoDevice;
    case LIBUSB_ERROR_NOT_FOUND:  // no such interface, alternate setting or endpoint; never a device gone
      return kStatusNoSuchInterface;
    case LIBUSB_ERROR_ACCESS:
      return kStatusAccessDenied;
    case LIBUSB_ERROR_BUSY:
      return kStatusBusy;
    case LIBUSB_ERROR_OVERFLOW:
    case LIBUSB_TRANSFER_OVERFLOW:
      return kStatusOverflow;
    case LIBUSB_ERROR_INVALID_PARAM:
      return kStatusInvalidParameter;
    case LIBUSB_ERROR_NO_MEM:
      return kStatusNoMemory;
    case LIBUSB_ERROR_NOT_SUPPORTED:
      return kStatusNotSupported;
    case LIBUSB_ERROR_INTERRUPTED:
    case LIBUSB_TRANSFER_CANCELLED:
      return kStatusCancelled;
    default:  // LIBUSB_ERROR_IO, LIBUSB_ERROR_OTHER, LIBUSB_TRANSFER_ERROR, codes yet unknown
      return kStatusIoError;
  }
}

bool MatchesEntry(const MatchEntry& entry, const DeviceDescriptor& device,
                  const InterfaceDescriptor* firstInterface) {
  if (entry.vendorId != device.idVendor || entry.productId != device.idProduct ||
      !FieldMatches(entry.deviceClass, device.bDeviceClass) ||
      !FieldMatches(entry.deviceSubClass, device.bDeviceSubClass)) {
    return false;
  }
  if (firstInterface == nullptr) {
    // Nothing to compare with: only an entry that asks nothing of it fits.
    return entry.interfaceClass == 0 && entry.interfaceSubClass == 0 && entry.interfaceProtocol == 0;
  }
  return FieldMatches(entry.interfaceClass, firstInterface->bInterfaceClass) &&
         FieldMatches(entry.interfaceSubClass, firstInterface->bInterfaceSubClass) &&
         FieldMatches(entry.interfaceProtocol, firstInterface->bInterfaceProtocol);
}

PipeType PipeTypeFromAttributes(std::uint8_t bmAttributes) {
  return static_cast<PipeType>(bmAttributes & LIBUSB_TRANSFER_TYPE_MASK);
}

std::string FoundAt(std::uint8_t busNumber, std::uint8_t deviceAddress) {
  return "USB-to-I2C interface found (bus " + std::to_string(busNumber) + ", device " +
         std::to_string(deviceAddress) + ")";
}

std::string PermissionNotice(std::uint8_t busNumber, std::uint8_t deviceAddress) {
  return FoundAt(busNumber, deviceAddress) + " but it cannot be opened: permission denied.\r\n" +
         "Install the udev rule 70-regdiag.rules as shown in the README; the bridge is taken up as soon "
         "as it can be opened, without replugging.";
}

UsbStatus ReadDeviceInfo(libusb_device* device, std::uint8_t alternateSetting, DeviceInfo* info) {
  libusb_device_descriptor descriptor{};
  const int read = libusb_get_device_descriptor(device, &descriptor);
  if (read != LIBUSB_SUCCESS) {
    return StatusFromLibusbError(read);
  }
  libusb_config_descriptor* raw = nullptr;
  const int active = libusb_get_active_config_descriptor(device, &raw);
  if (active != LIBUSB_SUCCESS) {
    return StatusFromLibusbError(active);
  }
  const std::unique_ptr<libusb_config_descriptor, ConfigFree> config(raw);
  const libusb_interface_descriptor* setting = FindSetting(*config, alternateSetting);
  if (setting == nullptr) {
    return kStatusNoSuchInterface;
  }
  CopyDevice(descriptor, &info->deviceDescriptor);
  CopySetting(*setting, &info->activeSetting);
  return kStatusSuccess;
}

}  // namespace regdiag::usb::libusb_detail
