#include "usbdevfs_handler.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <utility>

namespace regdiag::test {

namespace {

constexpr std::uint8_t kOutEndpoint = 0x02;
constexpr std::uint8_t kInEndpoint = 0x82;
constexpr int kPacketSize = 64;  // wMaxPacketSize of both endpoints
constexpr std::uint32_t kCapabilities = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM;

template <typename Object>
void Drop(Object*& object) {
  if (object != nullptr) {
    g_object_unref(object);
    object = nullptr;
  }
}

// The memory an ioctl argument points to, copied from the client; synced
// back when the call completes. Null when the client gave a bad address.
UMockdevIoctlData* Resolve(UMockdevIoctlData* data, std::size_t offset, std::size_t length) {
  GError* error = nullptr;
  UMockdevIoctlData* resolved = umockdev_ioctl_data_resolve(data, offset, length, &error);
  if (error != nullptr) {
    g_error_free(error);
    return nullptr;
  }
  return resolved;
}

// Reads (and with `store` replaces) the unsigned int an argument points to.
bool ArgumentValue(UMockdevIoctlClient* client, unsigned int* value, const unsigned int* store = nullptr) {
  UMockdevIoctlData* data = Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(unsigned int));
  if (data == nullptr) {
    return false;
  }
  std::memcpy(value, data->data, sizeof(unsigned int));
  if (store != nullptr) {
    std::memcpy(data->data, store, sizeof(unsigned int));
  }
  Drop(data);
  return true;
}

void Complete(UMockdevIoctlClient* client, long result, int error = 0) {
  umockdev_ioctl_client_complete(client, result, error);
}

usbdevfs_urb* UrbOf(UMockdevIoctlData* data) { return reinterpret_cast<usbdevfs_urb*>(data->data); }

}  // namespace

UsbdevfsHandler::UsbdevfsHandler(bool endpoints) : base_(umockdev_ioctl_base_new()), endpoints_(endpoints) {
  g_signal_connect(base_, "handle-ioctl", G_CALLBACK(&UsbdevfsHandler::OnIoctl), this);
}

UsbdevfsHandler::~UsbdevfsHandler() {
  g_signal_handlers_disconnect_by_data(base_, this);
  for (auto* queue : {&waitingIn_, &done_}) {
    for (Urb& urb : *queue) {
      Release(urb);
    }
  }
  g_object_unref(base_);
}

UsbdevfsRecord UsbdevfsHandler::Record() {
  std::lock_guard lock(mutex_);
  return record_;
}

void UsbdevfsHandler::InjectNext(Fault fault) {
  std::lock_guard lock(mutex_);
  faults_.insert(fault);
}

void UsbdevfsHandler::Unplugged() {
  std::lock_guard lock(mutex_);
  gone_ = true;
  for (; !waitingIn_.empty(); waitingIn_.pop_front()) {
    Finish(waitingIn_.front(), -ESHUTDOWN);
  }
}

bool UsbdevfsHandler::Has(unsigned int endpoint) const {
  return endpoints_ && (endpoint == kOutEndpoint || endpoint == kInEndpoint);
}

gboolean UsbdevfsHandler::OnIoctl(UMockdevIoctlBase* /*base*/, UMockdevIoctlClient* client, gpointer self) {
  auto* handler = static_cast<UsbdevfsHandler*>(self);
  std::lock_guard lock(handler->mutex_);
  handler->Serve(client, umockdev_ioctl_client_get_request(client));
  return TRUE;
}

void UsbdevfsHandler::Serve(UMockdevIoctlClient* client, unsigned long request) {
  if (gone_) {
    if (request != USBDEVFS_REAPURBNDELAY || !HandOut(client)) {
      Complete(client, -1, ENODEV);
    }
    return;
  }
  unsigned int value = 0;
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      const unsigned int capabilities = kCapabilities;
      ArgumentValue(client, &value, &capabilities) ? Complete(client, 0) : Complete(client, -1, EFAULT);
      return;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE:
      if (!ArgumentValue(client, &value)) {
        Complete(client, -1, EFAULT);
      } else if (value != 0) {
        Complete(client, -1, ENOENT);  // the bridge has interface 0 only
      } else {
        ++(request == USBDEVFS_CLAIMINTERFACE ? record_.claims : record_.releases);
        Complete(client, 0);
      }
      return;
    case USBDEVFS_SETINTERFACE:
      SetInterface(client);
      return;
    case USBDEVFS_GETDRIVER:
    case USBDEVFS_IOCTL:
      Complete(client, -1, ENODATA);  // no kernel driver is bound to interface 0
      return;
    case USBDEVFS_CLEAR_HALT:
      if (!ArgumentValue(client, &value)) {
        Complete(client, -1, EFAULT);
      } else if (!Has(value)) {
        Complete(client, -1, ENOENT);
      } else {
        record_.clearedHalts.push_back(static_cast<std::uint8_t>(value));
        inHalted_ = inHalted_ && value != kInEndpoint;
        Complete(client, 0);
      }
      return;
    case USBDEVFS_SUBMITURB:
      Submit(client);
      return;
    case USBDEVFS_DISCARDURB:
      Discard(client);
      return;
    case USBDEVFS_REAPURBNDELAY:  // libusb never waits in REAPURB
      if (!HandOut(client)) {
        Complete(client, -1, EAGAIN);
      }
      return;
    default:
      // Among others DISCONNECT_CLAIM and the driver calls: libusb falls
      // back to the plain calls above.
      Complete(client, -1, ENOTTY);
      return;
  }
}

// Interface 0 has alternate setting 0 only; selecting it again resets its
// endpoints.
void UsbdevfsHandler::SetInterface(UMockdevIoctlClient* client) {
  UMockdevIoctlData* data = Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(usbdevfs_setinterface));
  if (data == nullptr) {
    Complete(client, -1, EFAULT);
    return;
  }
  usbdevfs_setinterface setting{};
  std::memcpy(&setting, data->data, sizeof setting);
  Drop(data);
  if (setting.interface != 0 || setting.altsetting != 0) {
    Complete(client, -1, EINVAL);
    return;
  }
  inHalted_ = false;
  Complete(client, 0);
}

void UsbdevfsHandler::Submit(UMockdevIoctlClient* client) {
  Urb urb;
  urb.urb = Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(usbdevfs_urb));
  if (urb.urb == nullptr) {
    Complete(client, -1, EFAULT);
    return;
  }
  const usbdevfs_urb& fields = *UrbOf(urb.urb);
  int refusal = 0;  // as the kernel refuses: no such endpoint, or not a bulk URB for it
  if (!Has(fields.endpoint)) {
    refusal = ENOENT;
  } else if (fields.type != USBDEVFS_URB_TYPE_BULK || fields.buffer_length < 0) {
    refusal = EINVAL;
  }
  if (refusal == 0 && fields.buffer_length > 0) {
    urb.buffer =
        Resolve(urb.urb, offsetof(usbdevfs_urb, buffer), static_cast<std::size_t>(fields.buffer_length));
  }
  if (refusal != 0 || (fields.buffer_length > 0 && urb.buffer == nullptr)) {
    Release(urb);
    Complete(client, -1, refusal != 0 ? refusal : EFAULT);
    return;
  }
  urb.client = static_cast<UMockdevIoctlClient*>(g_object_ref(client));
  Complete(client, 0);

  if (fields.endpoint == kOutEndpoint) {
    std::vector<std::uint8_t> packet;
    if (urb.buffer != nullptr) {
      packet.assign(urb.buffer->data, urb.buffer->data + fields.buffer_length);
    }
    urb.filled = fields.buffer_length;
    Finish(urb, 0);
    Reply(std::move(packet));
  } else {
    waitingIn_.push_back(urb);
  }
  AnswerWaitingIns();
}

// The bridge answers a request with one packet into the IN pipe, unless a
// fault says otherwise.
void UsbdevfsHandler::Reply(std::vector<std::uint8_t> request) {
  record_.requests.push_back(request);
  bridge_.HandleRequest(request);
  std::vector<std::uint8_t> reply = bridge_.TakeReply();
  if (faults_.erase(Fault::StatusOnly) != 0) {
    reply.assign(1, usb::VirtualBridge::kStatusNoAck);
  }
  if (faults_.erase(Fault::Pad) != 0) {
    reply.resize(kPacketSize, 0);
  }
  if (faults_.erase(Fault::Hang) != 0) {
    return;
  }
  if (faults_.erase(Fault::Late) != 0) {
    late_ = std::move(reply);
    return;
  }
  pipe_.push_back(std::move(reply));
}

// Each IN URB takes packets from the pipe until a short one or a full buffer
// ends it; without them it waits.
void UsbdevfsHandler::AnswerWaitingIns() {
  while (!waitingIn_.empty()) {
    Urb& urb = waitingIn_.front();
    inHalted_ = inHalted_ || faults_.erase(Fault::Stall) != 0;
    int status = 0;
    if (inHalted_) {
      status = -EPIPE;
    } else if (pipe_.empty()) {
      return;
    } else {
      std::vector<std::uint8_t> packet = std::move(pipe_.front());
      pipe_.pop_front();
      const int length = UrbOf(urb.urb)->buffer_length;
      const int size = static_cast<int>(packet.size());
      const int taken = std::min(size, length - urb.filled);
      if (taken > 0) {
        umockdev_ioctl_data_update(urb.buffer, static_cast<gsize>(urb.filled), packet.data(), taken);
      }
      urb.filled += taken;
      if (size > taken) {
        status = -EOVERFLOW;
      } else if (size == kPacketSize && urb.filled < length) {
        continue;  // a full packet: more may follow
      }
    }
    Finish(urb, status);
    waitingIn_.pop_front();
  }
}

void UsbdevfsHandler::Finish(Urb urb, int status) {
  // What changes after the submission is handed back with update(), which
  // the reap then syncs to the client.
  umockdev_ioctl_data_update(urb.urb, offsetof(usbdevfs_urb, status), reinterpret_cast<guint8*>(&status),
                             sizeof status);
  umockdev_ioctl_data_update(urb.urb, offsetof(usbdevfs_urb, actual_length),
                             reinterpret_cast<guint8*>(&urb.filled), sizeof urb.filled);
  done_.push_back(urb);
}

void UsbdevfsHandler::Discard(UMockdevIoctlClient* client) {
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  gulong address = 0;
  std::memcpy(&address, arg->data, std::min(sizeof address, static_cast<std::size_t>(arg->data_len)));
  const auto it = std::ranges::find_if(
      waitingIn_, [&](const Urb& urb) { return urb.client == client && urb.urb->client_addr == address; });
  if (it == waitingIn_.end()) {
    Complete(client, -1, EINVAL);  // done already, or never submitted
    return;
  }
  const Urb urb = *it;
  waitingIn_.erase(it);
  ++record_.discarded;
  Complete(client, 0);
  Finish(urb, -ENOENT);
  if (late_) {  // the reply that was waited for comes now, too late
    pipe_.push_back(*std::exchange(late_, std::nullopt));
    AnswerWaitingIns();
  }
}

// Completes the reap call of `client` with its oldest completed URB: the
// URB's address goes where the argument points, and its fields and data go
// back with it. False when none of its URBs is complete.
bool UsbdevfsHandler::HandOut(UMockdevIoctlClient* client) {
  const auto it = std::ranges::find(done_, client, &Urb::client);
  if (it == done_.end()) {
    return false;
  }
  Urb urb = *it;
  done_.erase(it);
  UMockdevIoctlData* slot = Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(void*));
  if (slot == nullptr) {
    Complete(client, -1, EFAULT);
  } else {
    umockdev_ioctl_data_set_ptr(slot, 0, urb.urb);
    Complete(client, 0);
    Drop(slot);
  }
  Release(urb);
  return true;
}

void UsbdevfsHandler::Release(Urb& urb) {
  Drop(urb.buffer);
  Drop(urb.urb);
  Drop(urb.client);
}

}  // namespace regdiag::test
