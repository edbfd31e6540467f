#include "link/usb_lib/libusb_library.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <utility>

#include "link/usb_lib/libusb_library_session.h"

namespace regdiag::usb {

using libusb_detail::LibusbSession;
using libusb_detail::OpenDevice;

struct LibusbLibrary::Impl {
  explicit Impl(LibusbOptions libraryOptions) : options(libraryOptions) {}

  // A handle that is not (or no longer) usable: one handed out earlier means
  // the device has gone, any other was never valid.
  [[nodiscard]] UsbStatus Missing(DeviceHandle device) const {
    return device != 0 && device < nextDeviceHandle.load() ? kStatusNoDevice : kStatusInvalidHandle;
  }

  LibusbOptions options;
  std::atomic<DeviceHandle> nextDeviceHandle{1};
  DriverHandle nextDriverHandle = 1;
  DriverHandle driverHandle = 0;
  std::shared_ptr<LibusbSession> session;
  std::map<const DeviceInfo*, std::unique_ptr<DeviceInfo>> infos;
};

namespace {

// What a transfer needs of a claimed device, copied out under its lock.
struct TransferTarget {
  libusb_device_handle* handle = nullptr;
  bool pipeFound = false;
  PipeRecord pipe;
};

}  // namespace

LibusbLibrary::LibusbLibrary(LibusbOptions options) : impl_(std::make_unique<Impl>(options)) {}

LibusbLibrary::~LibusbLibrary() {
  if (impl_->session) {
    UsbUninit(impl_->driverHandle);
  }
}

UsbStatus LibusbLibrary::UsbInit(DriverHandle* driver, std::span<const MatchEntry> matches,
                                 const DeviceEventTable& events, std::uint32_t /*options*/,
                                 Dispatcher dispatch) {
  if (driver == nullptr) {
    return kStatusInvalidParameter;
  }
  *driver = 0;
  if (impl_->session) {
    return kStatusAlreadyInitialized;
  }
  if (!dispatch) {
    return kStatusInvalidParameter;
  }
  LibusbSession::Setup setup{impl_->options,
                             {matches.begin(), matches.end()},
                             events,
                             std::move(dispatch),
                             &impl_->nextDeviceHandle};
  const UsbStatus status = LibusbSession::Start(std::move(setup), &impl_->session);
  if (status != kStatusSuccess) {
    return status;
  }
  impl_->driverHandle = impl_->nextDriverHandle++;
  *driver = impl_->driverHandle;
  return kStatusSuccess;
}

void LibusbLibrary::UsbUninit(DriverHandle driver) {
  if (!impl_->session || driver != impl_->driverHandle) {
    return;
  }
  // Window work still running (this may be called from inside a handler)
  // keeps the session object alive, stopped, until it returns.
  const std::shared_ptr<LibusbSession> session = std::exchange(impl_->session, nullptr);
  impl_->driverHandle = 0;
  session->Stop();
}

UsbStatus LibusbLibrary::UsbSetInterface(DeviceHandle device, std::uint32_t interfaceNumber,
                                         std::uint32_t alternateSetting) {
  libusb_device_handle* handle = nullptr;
  if (!impl_->session ||
      !impl_->session->WithClaimedDevice(device, [&](OpenDevice& open) { handle = open.handle.get(); })) {
    return impl_->Missing(device);
  }
  if (interfaceNumber != 0 || alternateSetting > 0xFF) {
    return kStatusInvalidParameter;  // only interface 0 is claimed
  }
  const int selected = libusb_set_interface_alt_setting(handle, 0, static_cast<int>(alternateSetting));
  if (selected != LIBUSB_SUCCESS) {
    return libusb_detail::StatusFromLibusbError(selected);
  }
  // The device has the new setting now; if its pipes cannot be read, it is
  // left with none, so no transfer goes to a pipe it may not have.
  DeviceInfo info;
  const int read = libusb_detail::ReadDeviceInfo(libusb_get_device(handle),
                                                 static_cast<std::uint8_t>(alternateSetting), &info);
  static_cast<void>(impl_->session->WithClaimedDevice(device, [&](OpenDevice& open) {
    open.alternateSetting = static_cast<std::uint8_t>(alternateSetting);
    open.pipes = std::move(info.activeSetting.pipes);
  }));
  return read == LIBUSB_SUCCESS ? kStatusSuccess : libusb_detail::StatusFromLibusbError(read);
}

UsbStatus LibusbLibrary::UsbGetDeviceInfo(DeviceHandle device, const DeviceInfo** info) {
  if (info == nullptr) {
    return kStatusInvalidParameter;
  }
  *info = nullptr;
  libusb_device_handle* handle = nullptr;
  std::uint8_t alternateSetting = 0;
  const auto find = [&](OpenDevice& open) {
    handle = open.handle.get();
    alternateSetting = open.alternateSetting;
  };
  if (!impl_->session || !impl_->session->WithClaimedDevice(device, find)) {
    return impl_->Missing(device);
  }
  auto owned = std::make_unique<DeviceInfo>();
  const int read = libusb_detail::ReadDeviceInfo(libusb_get_device(handle), alternateSetting, owned.get());
  if (read != LIBUSB_SUCCESS) {
    return libusb_detail::StatusFromLibusbError(read);
  }
  *info = owned.get();
  impl_->infos.emplace(owned.get(), std::move(owned));
  return kStatusSuccess;
}

void LibusbLibrary::UsbPutDeviceInfo(const DeviceInfo* info) {
  impl_->infos.erase(info);  // a pointer we never handed out is ignored
}

UsbStatus LibusbLibrary::UsbTransfer(DeviceHandle device, std::uint32_t pipe, std::uint32_t read,
                                     std::uint32_t /*options*/, std::uint8_t* buffer, std::int32_t length,
                                     std::uint32_t* bytesTransferred, const std::uint8_t* /*setupPacket*/,
                                     std::uint32_t timeoutMs, TransferWaiter* /*waiter*/) {
  std::uint32_t ignored = 0;
  std::uint32_t& moved = bytesTransferred != nullptr ? *bytesTransferred : ignored;
  moved = 0;
  TransferTarget target;
  const auto find = [&](OpenDevice& open) {
    target.handle = open.handle.get();
    const auto it = std::ranges::find(open.pipes, pipe, &PipeRecord::number);
    target.pipeFound = it != open.pipes.end();
    target.pipe = target.pipeFound ? *it : PipeRecord{};
  };
  if (!impl_->session || !impl_->session->WithClaimedDevice(device, find)) {
    return impl_->Missing(device);
  }
  if (buffer == nullptr && length > 0) {
    return kStatusInvalidParameter;
  }
  if (pipe == 0) {
    return kStatusNotSupported;  // control transfers are not offered here
  }
  if (!target.pipeFound || target.pipe.direction != (read != 0 ? 1U : 0U)) {
    return kStatusPipeNotFound;
  }
  const auto type = static_cast<PipeType>(target.pipe.type);
  if (type != PipeType::Bulk && type != PipeType::Interrupt) {
    return kStatusNotSupported;
  }
  // libusb waits without limit for a time-out of 0; ours runs out at once.
  const std::uint32_t timeout = std::max<std::uint32_t>(
      impl_->options.transferTimeoutOverrideMs != 0 ? impl_->options.transferTimeoutOverrideMs : timeoutMs,
      1);
  const auto endpoint = static_cast<unsigned char>(pipe);
  int transferred = 0;
  const int result =
      type == PipeType::Bulk
          ? libusb_bulk_transfer(target.handle, endpoint, buffer, std::max(length, 0), &transferred, timeout)
          : libusb_interrupt_transfer(target.handle, endpoint, buffer, std::max(length, 0), &transferred,
                                      timeout);
  moved = static_cast<std::uint32_t>(std::max(transferred, 0));
  if (result == LIBUSB_ERROR_PIPE) {
    // Clear the halt so that the next transfer can work; the stall is
    // reported all the same, and stays in force if clearing fails too.
    static_cast<void>(libusb_clear_halt(target.handle, endpoint));
  }
  return result == LIBUSB_SUCCESS ? kStatusSuccess : libusb_detail::StatusFromLibusbError(result);
}

}  // namespace regdiag::usb
