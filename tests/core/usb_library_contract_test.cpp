// What every backend of the USB library promises, run against each of them.
// The first suite needs no device; the second plugs a bridge in through a
// bench that each device-capable backend provides.
#include <libusb.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/usb_lib/libusb_library.h"
#include "link/usb_lib/sim_usb_library.h"
#include "usb_test_support.h"

namespace regdiag::usb {
namespace {

using testing::DispatchQueue;
using ::testing::ElementsAre;
using testing::EventRecorder;
using ::testing::IsEmpty;
using testing::kBridgeMatch;

struct SimBackend {
  static std::unique_ptr<UsbLibrary> Make() { return std::make_unique<SimUsbLibrary>(); }
  static std::optional<std::string> Unavailable() { return std::nullopt; }
};

struct LibusbBackend {
  static std::unique_ptr<UsbLibrary> Make() { return std::make_unique<LibusbLibrary>(); }
  static std::optional<std::string> Unavailable() {
    libusb_context* context = nullptr;
    if (libusb_init(&context) != LIBUSB_SUCCESS) {
      return "libusb cannot start here (no USB subsystem)";
    }
    libusb_exit(context);
    return std::nullopt;
  }
};

template <typename Backend>
class UsbLibraryContractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const auto reason = Backend::Unavailable()) {
      GTEST_SKIP() << *reason;
    }
    library = Backend::Make();
  }
  UsbStatus Init(DriverHandle* driver) {
    return library->UsbInit(driver, std::vector{kBridgeMatch}, recorder.Table(), 0, queue.dispatcher());
  }

  DispatchQueue queue;
  EventRecorder recorder;
  std::unique_ptr<UsbLibrary> library;
};

using Backends = ::testing::Types<SimBackend, LibusbBackend>;
TYPED_TEST_SUITE(UsbLibraryContractTest, Backends);

TYPED_TEST(UsbLibraryContractTest, SessionOpensClosesAndOpensAgain) {
  DriverHandle first = 0;
  ASSERT_EQ(this->Init(&first), kStatusSuccess);
  EXPECT_NE(first, 0u);
  this->library->UsbUninit(first);
  this->library->UsbUninit(first);
  DriverHandle second = 0;
  ASSERT_EQ(this->Init(&second), kStatusSuccess);
  EXPECT_NE(second, 0u);
  this->library->UsbUninit(second);
}

TYPED_TEST(UsbLibraryContractTest, OneSessionAtATime) {
  DriverHandle driver = 0;
  ASSERT_EQ(this->Init(&driver), kStatusSuccess);
  DriverHandle refused = 99;
  EXPECT_EQ(this->Init(&refused), kStatusAlreadyInitialized);
  EXPECT_EQ(refused, 0u);
  this->library->UsbUninit(driver + 1);  // not the session's handle: ignored
  EXPECT_EQ(this->Init(&refused), kStatusAlreadyInitialized);
  this->library->UsbUninit(driver);
}

TYPED_TEST(UsbLibraryContractTest, RefusesMissingDriverOrDispatcher) {
  EXPECT_EQ(this->Init(nullptr), kStatusInvalidParameter);
  DriverHandle driver = 99;
  EXPECT_EQ(
      this->library->UsbInit(&driver, std::vector{kBridgeMatch}, this->recorder.Table(), 0, Dispatcher{}),
      kStatusInvalidParameter);
  EXPECT_EQ(driver, 0u);
  ASSERT_EQ(this->Init(&driver), kStatusSuccess);  // nothing was left half-open
  this->library->UsbUninit(driver);
}

TYPED_TEST(UsbLibraryContractTest, DeviceCallsOnInvalidHandlesFail) {
  for (const bool sessionOpen : {false, true}) {
    DriverHandle driver = 0;
    if (sessionOpen) {
      ASSERT_EQ(this->Init(&driver), kStatusSuccess);
    }
    for (const DeviceHandle device : {DeviceHandle{0}, DeviceHandle{0xFFFFFFF0}}) {
      SCOPED_TRACE(::testing::Message() << "session " << sessionOpen << ", handle " << device);
      const DeviceInfo sentinel;
      const DeviceInfo* info = &sentinel;
      EXPECT_EQ(this->library->UsbGetDeviceInfo(device, &info), kStatusInvalidHandle);
      EXPECT_EQ(info, nullptr);
      std::array<std::uint8_t, 3> buffer{};
      std::uint32_t moved = 77;
      EXPECT_EQ(
          this->library->UsbTransfer(device, 0x02, 0, 0, buffer.data(), 3, &moved, nullptr, 10, nullptr),
          kStatusInvalidHandle);
      EXPECT_EQ(moved, 0u);
      EXPECT_EQ(this->library->UsbSetInterface(device, 0, 0), kStatusInvalidHandle);
    }
    this->library->UsbUninit(driver);
  }
}

TYPED_TEST(UsbLibraryContractTest, PutIgnoresPointersItNeverGave) {
  const DeviceInfo foreign;
  this->library->UsbPutDeviceInfo(nullptr);
  this->library->UsbPutDeviceInfo(&foreign);
  EXPECT_EQ(foreign.deviceDescriptor.bLength, 18);
}

TYPED_TEST(UsbLibraryContractTest, StatusTextsAreOurs) {
  const std::string unknown = "Unknown USB library status";
  std::vector<std::string> texts;
  for (UsbStatus status = kStatusInvalidHandle; status <= kStatusNoSuchInterface; ++status) {
    const std::string text = this->library->UsbStatusString(status);
    EXPECT_EQ(text, StatusDescription(status));
    EXPECT_NE(text, unknown) << std::hex << status;
    texts.push_back(text);
  }
  texts.push_back(this->library->UsbStatusString(kStatusSuccess));
  texts.push_back(this->library->UsbStatusString(kStatusInternalError));
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(std::unique(texts.begin(), texts.end()), texts.end()) << "two statuses share a text";
  EXPECT_EQ(this->library->UsbStatusString(kStatusNoSuchInterface + 1), unknown);
  EXPECT_EQ(this->library->UsbStatusString(1), unknown);
}

// --- With a bridge -----------------------------------------------------------

class SimBench {
 public:
  UsbLibrary& library() { return sim_; }
  int Plug() { return sim_.Plug(); }
  void Unplug(int id) { sim_.Unplug(id); }
  VirtualBridge& Chip(int id) { return sim_.Bridge(id); }
  // Lets the window thread run until the backend has delivered what is due.
  void Settle(DispatchQueue& queue) { queue.RunAll(); }

 private:
  SimUsbLibrary sim_;
};

template <typename Bench>
class UsbDeviceContractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bridge = bench.Plug();
    ASSERT_EQ(
        bench.library().UsbInit(&driver, std::vector{kBridgeMatch}, recorder.Table(), 0, queue.dispatcher()),
        kStatusSuccess);
    bench.Settle(queue);
    ASSERT_EQ(recorder.attached.size(), 1u);
    device = recorder.attached[0];
  }
  UsbStatus Transfer(std::uint32_t pipe, std::vector<std::uint8_t>& buffer) {
    moved = 0;
    const std::uint32_t read = (pipe & 0x80) != 0 ? 1 : 0;
    const UsbStatus status = bench.library().UsbTransfer(device, pipe, read, 0, buffer.data(),
                                                         static_cast<std::int32_t>(buffer.size()), &moved,
                                                         nullptr, kTransferTimeoutMs, nullptr);
    buffer.resize(moved);
    return status;
  }

  DispatchQueue queue;
  EventRecorder recorder;
  Bench bench;
  int bridge = 0;
  DriverHandle driver = 0;
  DeviceHandle device = 0;
  std::uint32_t moved = 0;
};

using Benches = ::testing::Types<SimBench>;
TYPED_TEST_SUITE(UsbDeviceContractTest, Benches);

TYPED_TEST(UsbDeviceContractTest, BridgeOffersItsTwoBulkPipes) {
  const DeviceInfo* info = nullptr;
  ASSERT_EQ(this->bench.library().UsbGetDeviceInfo(this->device, &info), kStatusSuccess);
  ASSERT_NE(info, nullptr);
  for (const DeviceInfo* seen : std::array<const DeviceInfo*, 2>{info, &this->recorder.infos[0]}) {
    EXPECT_EQ(seen->deviceDescriptor.idVendor, testing::kBridgeVendor);
    EXPECT_EQ(seen->deviceDescriptor.idProduct, testing::kBridgeProduct);
    ASSERT_EQ(seen->activeSetting.pipes.size(), seen->activeSetting.descriptor.bNumEndpoints);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pipes;
    for (const PipeRecord& pipe : seen->activeSetting.pipes) {
      EXPECT_EQ(pipe.type, static_cast<std::uint32_t>(PipeType::Bulk));
      pipes.emplace_back(pipe.number, pipe.direction);
    }
    EXPECT_THAT(pipes, ElementsAre(std::pair{0x02u, 0u}, std::pair{0x82u, 1u}));
  }
  this->bench.library().UsbPutDeviceInfo(info);
}

TYPED_TEST(UsbDeviceContractTest, RegistersRoundTripThroughTransfers) {
  std::vector<std::uint8_t> write{0x00, 0x5A, 0x31, 0x9C};
  ASSERT_EQ(this->Transfer(0x02, write), kStatusSuccess);
  EXPECT_EQ(this->moved, 4u);
  std::vector<std::uint8_t> status(10);
  ASSERT_EQ(this->Transfer(0x82, status), kStatusSuccess);
  EXPECT_THAT(status, ElementsAre(0x00));
  EXPECT_EQ(this->bench.Chip(this->bridge).Register(0x31), 0x9C);

  std::vector<std::uint8_t> read{0x01, 0x5B, 0x31};
  ASSERT_EQ(this->Transfer(0x02, read), kStatusSuccess);
  std::vector<std::uint8_t> reply(3);
  ASSERT_EQ(this->Transfer(0x82, reply), kStatusSuccess);
  EXPECT_THAT(reply, ElementsAre(0x00, 0x9C));
}

TYPED_TEST(UsbDeviceContractTest, UnplugReportsDetachAndTheHandleGoesDead) {
  this->bench.Unplug(this->bridge);
  this->bench.Settle(this->queue);
  EXPECT_THAT(this->recorder.detached, ElementsAre(this->device));
  std::vector<std::uint8_t> reply(3);
  EXPECT_EQ(this->Transfer(0x82, reply), kStatusNoDevice);
  const DeviceInfo* info = nullptr;
  EXPECT_EQ(this->bench.library().UsbGetDeviceInfo(this->device, &info), kStatusNoDevice);
  EXPECT_EQ(this->recorder.userDataMismatch, 0);
}

TYPED_TEST(UsbDeviceContractTest, EndingTheSessionClosesWithoutDetach) {
  this->bench.library().UsbUninit(this->driver);
  this->bench.Settle(this->queue);
  EXPECT_THAT(this->recorder.detached, IsEmpty());
  std::vector<std::uint8_t> reply(3);
  EXPECT_EQ(this->Transfer(0x82, reply), kStatusNoDevice);
}

}  // namespace
}  // namespace regdiag::usb
