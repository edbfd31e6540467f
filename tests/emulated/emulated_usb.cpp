#include "emulated_usb.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <stdexcept>
#include <utility>

namespace regdiag::test {

namespace {

using Urb = Bridge::Urb;

constexpr unsigned int kIn = 0x82;
constexpr std::size_t kPacket = 64;  // wMaxPacketSize of both endpoints
// An unopenable node points to a read-only kernel setting: opening that for
// writing fails with EACCES for everyone, root included, and libusb opens
// read and write.
constexpr const char* kUnwritable = "/proc/sys/kernel/osrelease";

void Answer(UMockdevIoctlClient* client, int error) {
  umockdev_ioctl_client_complete(client, error == 0 ? 0 : -1, error);
}

// The memory an argument points to, copied from the client and synced back
// when the call completes. libusb never passes a bad address.
GPtr<UMockdevIoctlData> Resolve(UMockdevIoctlData* data, std::size_t length, std::size_t offset = 0) {
  return GPtr<UMockdevIoctlData>(umockdev_ioctl_data_resolve(data, offset, length, nullptr));
}

// The numbers the argument points to: an interface or an endpoint, or an
// interface and its alternate setting.
std::array<unsigned int, 2> Numbers(UMockdevIoctlClient* client, std::size_t count) {
  std::array<unsigned int, 2> numbers{};
  const std::size_t size = count * sizeof(unsigned int);
  std::memcpy(numbers.data(), Resolve(umockdev_ioctl_client_get_arg(client), size)->data, size);
  return numbers;
}

// What changes after the submission goes back through update(); the reap syncs it.
void Finish(Bridge& bridge, Urb urb, int status) {
  umockdev_ioctl_data_update(urb.urb.get(), offsetof(usbdevfs_urb, status),
                             reinterpret_cast<guint8*>(&status), sizeof status);
  umockdev_ioctl_data_update(urb.urb.get(), offsetof(usbdevfs_urb, actual_length),
                             reinterpret_cast<guint8*>(&urb.filled), sizeof urb.filled);
  bridge.done.push_back(std::move(urb));
}

void AnswerWaitingIns(Bridge& bridge) {
  while (!bridge.waiting.empty()) {
    Urb& urb = bridge.waiting.front();
    bridge.halted = bridge.halted || bridge.faults.erase(Fault::Stall) != 0;
    int status = -EPIPE;
    if (!bridge.halted) {
      if (bridge.pipe.empty()) return;
      std::vector<std::uint8_t> packet = std::move(bridge.pipe.front());
      bridge.pipe.pop_front();
      const int room = reinterpret_cast<usbdevfs_urb*>(urb.urb->data)->buffer_length - urb.filled;
      const int taken = std::min(static_cast<int>(packet.size()), room);
      umockdev_ioctl_data_update(urb.buffer.get(), urb.filled, packet.data(), taken);
      urb.filled += taken;
      status = std::ssize(packet) > taken ? -EOVERFLOW : 0;
      if (status == 0 && packet.size() == kPacket && taken < room) continue;  // more may follow
    }
    Finish(bridge, std::move(urb), status);
    bridge.waiting.pop_front();
  }
}

void Reply(Bridge& bridge, std::vector<std::uint8_t> reply) {
  if (bridge.faults.erase(Fault::NoAck) != 0) reply.assign(1, usb::VirtualBridge::kStatusNoAck);
  if (bridge.faults.erase(Fault::StatusOnly) != 0) reply.resize(1);
  if (bridge.faults.erase(Fault::Pad) != 0) reply.resize(kPacket, 0);
  if (bridge.faults.erase(Fault::Late) != 0) return static_cast<void>(bridge.late = std::move(reply));
  if (bridge.faults.erase(Fault::AfterDrain) != 0) return static_cast<void>(bridge.held = std::move(reply));
  if (bridge.faults.erase(Fault::Hang) != 0) return;
  std::vector<std::vector<std::uint8_t>> packets{std::move(reply)};
  if (bridge.faults.erase(Fault::Split) != 0)
    packets = {{packets[0][0]}, {packets[0].begin() + 1, packets[0].end()}};
  if (bridge.faults.erase(Fault::ZeroLength) != 0) packets[0].resize(kPacket, 0), packets.emplace_back();
  for (std::vector<std::uint8_t>& packet : packets) bridge.pipe.push_back(std::move(packet));
  AnswerWaitingIns(bridge);
}

void Submit(Bridge& bridge, UMockdevIoctlClient* client) {
  Urb urb{GPtr<UMockdevIoctlClient>(UMOCKDEV_IOCTL_CLIENT(g_object_ref(client))),
          Resolve(umockdev_ioctl_client_get_arg(client), sizeof(usbdevfs_urb)), nullptr};
  const usbdevfs_urb& fields = *reinterpret_cast<usbdevfs_urb*>(urb.urb->data);
  if (!bridge.endpoints.contains(fields.endpoint)) return Answer(client, ENOENT);
  if (fields.type != USBDEVFS_URB_TYPE_BULK) return Answer(client, EINVAL);
  urb.buffer = Resolve(urb.urb.get(), fields.buffer_length, offsetof(usbdevfs_urb, buffer));
  Answer(client, 0);
  if (fields.endpoint == kIn) {
    bridge.waiting.push_back(std::move(urb));
    return AnswerWaitingIns(bridge);
  }
  if (bridge.held)
    Reply(bridge, *std::exchange(bridge.held, std::nullopt));  // in order: the older reply first
  bridge.chip.HandleRequest(std::span(urb.buffer->data, static_cast<std::size_t>(urb.buffer->data_len)));
  urb.filled = fields.buffer_length;
  Finish(bridge, std::move(urb), 0);
  Reply(bridge, bridge.chip.TakeReply());
}

void Discard(Bridge& bridge, UMockdevIoctlClient* client) {
  const gulong urbAddress = *reinterpret_cast<gulong*>(umockdev_ioctl_client_get_arg(client)->data);
  const auto it = std::ranges::find_if(bridge.waiting, [&](const Urb& urb) {
    return urb.client.get() == client && urb.urb->client_addr == urbAddress;
  });
  if (it == bridge.waiting.end()) return Answer(client, EINVAL);  // ended already, or never submitted
  Answer(client, 0);
  Finish(bridge, std::move(*it), -ENOENT);
  bridge.waiting.erase(it);
  if (bridge.late) Reply(bridge, *std::exchange(bridge.late, std::nullopt));  // the reply comes now, too late
}

// Completes the client's reap with its oldest ended URB: the URB's address
// goes where the argument points, and its fields and data go back with it.
bool HandOut(Bridge& bridge, UMockdevIoctlClient* client) {
  const auto it =
      std::ranges::find_if(bridge.done, [&](const Urb& urb) { return urb.client.get() == client; });
  if (it == bridge.done.end()) return false;
  const Urb urb = std::move(*it);
  bridge.done.erase(it);
  umockdev_ioctl_data_set_ptr(Resolve(umockdev_ioctl_client_get_arg(client), sizeof(void*)).get(), 0,
                              urb.urb.get());
  Answer(client, 0);
  return true;
}

void Serve(Bridge& bridge, UMockdevIoctlClient* client) {
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  ++bridge.calls[request];
  if (request == USBDEVFS_REAPURBNDELAY) {  // libusb never waits in REAPURB
    if (!HandOut(bridge, client)) Answer(client, bridge.gone ? ENODEV : EAGAIN);
    return;
  }
  if (bridge.gone) return Answer(client, ENODEV);
  switch (request) {
    case USBDEVFS_CLAIMINTERFACE:
      if (bridge.faults.erase(Fault::Busy) != 0) return Answer(client, EBUSY);
      // An earlier run, killed during a transfer, left its reply in the bridge.
      if (bridge.faults.erase(Fault::Waiting) != 0) {
        bridge.pipe.push_back({usb::VirtualBridge::kStatusOk, bridge.chip.UnheldValue()});
      }
      [[fallthrough]];
    case USBDEVFS_RELEASEINTERFACE:
      return Answer(client, Numbers(client, 1)[0] == 0 ? 0 : ENOENT);
    case USBDEVFS_SETINTERFACE:  // interface 0 has its alternate setting 0 only
      return Answer(client, Numbers(client, 2) == std::array{0U, 0U} ? 0 : EINVAL);
    case USBDEVFS_CLEAR_HALT:
      bridge.halted = bridge.halted && Numbers(client, 1)[0] != kIn;
      return Answer(client, bridge.endpoints.contains(Numbers(client, 1)[0]) ? 0 : ENOENT);
    case USBDEVFS_GETDRIVER:
    case USBDEVFS_IOCTL:
      return Answer(client, ENODATA);  // no kernel driver is bound to interface 0
    case USBDEVFS_SUBMITURB:
      return Submit(bridge, client);
    case USBDEVFS_DISCARDURB:
      return Discard(bridge, client);
    default:  // GET_CAPABILITIES, DISCONNECT_CLAIM: libusb falls back to the calls above
      return Answer(client, ENOTTY);
  }
}

}  // namespace

EmulatedUsb::EmulatedUsb() {
  const auto serve = +[](UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) -> gboolean {
    auto* usb = static_cast<EmulatedUsb*>(self);
    const std::string node = umockdev_ioctl_client_get_devnode(client);
    std::lock_guard lock(usb->mutex_);
    const auto it = std::ranges::find(usb->bridges_, node, &Bridge::node);
    if (it != usb->bridges_.end()) Serve(*it, client);
    return it != usb->bridges_.end();
  };
  g_signal_connect(handler_.get(), "handle-ioctl", G_CALLBACK(serve), this);
}

int EmulatedUsb::Plug(bool endpoints, bool openable) {
  const std::string number = std::to_string(bridges_.size() + 2);  // device 1 is the root hub
  std::unique_lock lock(mutex_);
  Bridge& bridge = bridges_.emplace_back();
  bridge.node = "/dev/bus/usb/001/" + std::string(3 - number.size(), '0') + number;
  bridge.endpoints = endpoints ? std::set{0x02U, kIn} : std::set<unsigned int>{};
  lock.unlock();
  gchar* syspath = umockdev_testbed_add_device(
      testbed_.get(), "usb", ("1-" + number).c_str(), nullptr,                       //
      "busnum", "1", "devnum", number.c_str(), "bConfigurationValue", "1", nullptr,  //
      "DEVNAME", bridge.node.c_str(), "DEVTYPE", "usb_device", nullptr);
  bridge.syspath = syspath;
  g_free(syspath);
  MakeNode(bridge, openable);
  // Its calls are answered before it can first open: a client that found no one to answer would fail.
  if (!umockdev_testbed_attach_ioctl(testbed_.get(), bridge.node.c_str(), handler_.get(), nullptr)) {
    throw std::runtime_error("cannot attach to " + bridge.node);
  }
  // The descriptors (the device's, 4B7C:2005, then configuration 1 with
  // interface 0) come last: libusb takes a device up only once it can read them.
  std::vector<std::uint8_t> descriptors = {
      18, 1, 0x00, 0x02, 0,  0, 0, 64,   0x7C, 0x4B, 0x05, 0x20, 0x00, 0x01, 0,    0, 0, 1,  //
      9,  2, 32,   0,    1,  1, 0, 0x80, 50,   9,    4,    0,    0,    2,    0xFF, 0, 0, 0,  //
      7,  5, 0x02, 2,    64, 0, 0, 7,    5,    kIn,  2,    64,   0,    0};
  if (!endpoints) descriptors = {descriptors.begin(), descriptors.begin() + 36};
  descriptors[20] = static_cast<std::uint8_t>(descriptors.size() - 18);  // wTotalLength
  descriptors[31] = endpoints ? 2 : 0;                                   // bNumEndpoints
  umockdev_testbed_set_attribute_binary(testbed_.get(), bridge.syspath.c_str(), "descriptors",
                                        descriptors.data(), static_cast<gint>(descriptors.size()));
  umockdev_testbed_uevent(testbed_.get(), bridge.syspath.c_str(), "add");
  return static_cast<int>(bridges_.size()) - 1;
}

// The node changes in one step: libusb may be opening it.
void EmulatedUsb::MakeNode(const Bridge& bridge, bool openable) {
  gchar* root = umockdev_testbed_get_root_dir(testbed_.get());
  const std::filesystem::path file = root + bridge.node;
  g_free(root);
  const std::filesystem::path made = file.string() + ".new";
  std::filesystem::create_directories(file.parent_path());
  openable ? static_cast<void>(std::ofstream(made)) : std::filesystem::create_symlink(kUnwritable, made);
  std::filesystem::rename(made, file);  // fails when the node could not be made
}

// As with a real bridge, a descriptor still open after the pull only gets
// ENODEV, but for URBs that have ended; the program closes it when it
// handles the remove event. URBs waiting end with -ESHUTDOWN.
void EmulatedUsb::Unplug(int bridge) {
  const std::string syspath = With(bridge, [](Bridge& pulled) {
    pulled.gone = true;
    for (; !pulled.waiting.empty(); pulled.waiting.pop_front()) {
      Finish(pulled, std::move(pulled.waiting.front()), -ESHUTDOWN);
    }
    return pulled.syspath;
  });
  umockdev_testbed_uevent(testbed_.get(), syspath.c_str(), "remove");
  umockdev_testbed_remove_device(testbed_.get(), syspath.c_str());
}

}  // namespace regdiag::test
