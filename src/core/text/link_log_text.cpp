#include "core/text/link_log_text.h"

#include "core/text/number_text.h"

namespace regdiag::logtext {

namespace {

constexpr const char* kBreak = "\r\n";

const char* PipeName(PipeDirection dir) { return dir == PipeDirection::Write ? "WritePipe" : "ReadPipe"; }

std::string Hex16(std::uint16_t value) {
  // Same bits, so the two's complement text is the unsigned text.
  return HexText16(static_cast<std::int16_t>(value));
}

}  // namespace

std::string InitFailed(std::uint32_t status, const std::string& statusText) {
  return "Form_Activate(): Failed to initialize USB driver: error &H" + HexText32(status) + kBreak + "(" +
         statusText + ")";
}

std::string AttachReceived(std::uint16_t vendorId, std::uint16_t productId, std::uint32_t deviceHandle) {
  return std::string("DeviceAttach: Received attach for ") + kBreak + "vendor ID &H" + Hex16(vendorId) +
         " product ID &H" + Hex16(productId) + kBreak + "device handle &H" + HexText32(deviceHandle);
}

std::string AlreadyHeld() {
  return std::string("DeviceAttach: Previous attached already accepted control of the device - ") + kBreak +
         "control is rejected because only one device control is supported";
}

std::string SetInterfaceFailed(std::uint32_t interfaceNumber, std::uint32_t alternate,
                               std::uint32_t deviceHandle, std::uint32_t status,
                               const std::string& statusText) {
  return std::string("DeviceAttach: UsbSetInterface failed") + kBreak + "(num. " +
         DecimalText(interfaceNumber) + " alternate " + DecimalText(alternate) + ")" + kBreak + "device &H" +
         HexText32(deviceHandle) + ": error &H" + HexText32(status) + kBreak + "(" + statusText + ")";
}

std::string DetachReceived(std::uint32_t deviceHandle) {
  return "DeviceDetach: Received detach for device handle &H" + HexText32(deviceHandle);
}

std::string DeviceInfoFailed(PipeDirection dir, std::uint32_t status, const std::string& statusText) {
  return std::string(PipeName(dir)) + ": UsbGetDeviceInfo() failed:" + kBreak + "error &H" +
         HexText32(status) + " (" + statusText + ")" + kBreak;
}

std::string NoPipes() {
  return std::string("  No pipes are defined for this device ") + kBreak +
         "other than the default pipe (number 0)";
}

std::string TransferFailed(PipeDirection dir, std::uint32_t status, const std::string& statusText) {
  return std::string(PipeName(dir)) + ": UsbTransfer() failed: error &H" + HexText32(status) + " (" +
         statusText + ")";
}

std::string PipeFailed(PipeDirection dir) {
  return dir == PipeDirection::Write ? "Write Pipe failed" : "Read Pipe failed";
}

std::string CutAtNul(const std::string& libraryText) { return libraryText.substr(0, libraryText.find('\0')); }

}  // namespace regdiag::logtext
