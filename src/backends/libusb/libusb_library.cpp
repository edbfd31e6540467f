#include "backends/libusb/libusb_library.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "backends/libusb/libusb_library_session.h"

namespace regdiag::usb {

using libusb_detail::Flight;
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
  std::optional<PipeRecord> pipe;
};

// An IN transfer asks for whole packets, at least one: a bridge may pad its
// reply to a full packet, and asking for less would turn that into an
// overflow. The caller gets what it asked for.
std::size_t InLength(std::int32_t length, std::uint32_t maxPacketSize) {
  const auto asked = static_cast<std::size_t>(std::max(length, 0));
  if (maxPacketSize == 0) {
    return asked;
  }
  return std::max<std::size_t>(1, (asked + maxPacketSize - 1) / maxPacketSize) * maxPacketSize;
}

// What keeps a transfer from being submitted at all; success when nothing.
UsbStatus Refusal(const TransferTarget& target, std::uint32_t pipe, bool in, const std::uint8_t* buffer,
                  std::int32_t length) {
  if (buffer == nullptr && length > 0) {
    return kStatusInvalidParameter;
  }
  if (pipe == 0) {
    return kStatusNotSupported;  // control transfers are not offered here
  }
  if (!target.pipe || target.pipe->direction != (in ? 1U : 0U)) {
    return kStatusPipeNotFound;
  }
  const auto type = static_cast<PipeType>(target.pipe->type);
  return type == PipeType::Bulk || type == PipeType::Interrupt ? kStatusSuccess : kStatusNotSupported;
}

// Event thread. The order matters: see Flight.
void LIBUSB_CALL OnTransferEnded(libusb_transfer* transfer) {
  auto* flight = static_cast<Flight*>(transfer->user_data);
  flight->ended.store(true);
  if (flight->waiter != nullptr) {
    flight->waiter->Wake();
  }
  std::lock_guard lock(flight->mutex);
  flight->finished = true;
  flight->finishedChanged.notify_all();
}

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
  const UsbStatus read = libusb_detail::ReadDeviceInfo(libusb_get_device(handle),
                                                       static_cast<std::uint8_t>(alternateSetting), &info);
  static_cast<void>(impl_->session->WithClaimedDevice(device, [&](OpenDevice& open) {
    open.alternateSetting = static_cast<std::uint8_t>(alternateSetting);
    open.pipes = std::move(info.activeSetting.pipes);
  }));
  return read;
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
  const UsbStatus read =
      libusb_detail::ReadDeviceInfo(libusb_get_device(handle), alternateSetting, owned.get());
  if (read != kStatusSuccess) {
    return read;
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
                                     std::uint32_t timeoutMs, TransferWaiter* waiter) {
  std::uint32_t ignored = 0;
  std::uint32_t& moved = bytesTransferred != nullptr ? *bytesTransferred : ignored;
  moved = 0;
  TransferTarget target;
  const auto find = [&](OpenDevice& open) {
    target.handle = open.handle.get();
    const auto it = std::ranges::find(open.pipes, pipe, &PipeRecord::number);
    target.pipe = it != open.pipes.end() ? std::optional(*it) : std::nullopt;
  };
  // Held here so that the session outlives the transfer, even when it is
  // ended meanwhile.
  const std::shared_ptr<LibusbSession> session = impl_->session;
  if (!session || !session->WithClaimedDevice(device, find)) {
    return impl_->Missing(device);
  }
  const bool in = read != 0;
  const UsbStatus refused = Refusal(target, pipe, in, buffer, length);
  if (refused != kStatusSuccess) {
    return refused;
  }
  const auto type = static_cast<PipeType>(target.pipe->type);
  // libusb waits without limit for a time-out of 0; ours runs out at once.
  const std::uint32_t cap = impl_->options.transferTimeoutCapMs;
  const std::uint32_t timeout = std::max<std::uint32_t>(cap != 0 ? std::min(cap, timeoutMs) : timeoutMs, 1);
  std::vector<std::uint8_t> received(in ? InLength(length, target.pipe->maxPacketSize) : 0);
  Flight flight;
  flight.device = device;
  flight.waiter = waiter;
  flight.transfer = libusb_alloc_transfer(0);
  if (flight.transfer == nullptr) {
    return kStatusNoMemory;
  }
  const auto endpoint = static_cast<unsigned char>(pipe);
  libusb_fill_bulk_transfer(flight.transfer, target.handle, endpoint, in ? received.data() : buffer,
                            in ? static_cast<int>(received.size()) : std::max(length, 0), &OnTransferEnded,
                            &flight, timeout);
  if (type == PipeType::Interrupt) {
    flight.transfer->type = LIBUSB_TRANSFER_TYPE_INTERRUPT;
  }
  const UsbStatus status = session->Fly(flight, timeout);
  const auto actual = static_cast<std::size_t>(std::max(flight.actual, 0));
  moved = static_cast<std::uint32_t>(in ? std::min(actual, static_cast<std::size_t>(std::max(length, 0)))
                                        : actual);
  if (in) {
    std::copy_n(received.begin(), moved, buffer);
  }
  // Clear the halt so that the next transfer can work; the stall is reported
  // all the same, and stays in force if clearing fails too.
  if (status == kStatusStall && session->WithClaimedDevice(device, [](OpenDevice& /*open*/) {})) {
    static_cast<void>(libusb_clear_halt(target.handle, endpoint));
  }
  return status;
}

}  // namespace regdiag::usb
