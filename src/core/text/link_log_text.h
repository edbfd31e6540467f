// Texts of the driver session and pipe entries of the log. Each function
// returns one entry without its closing CR LF; line breaks inside an entry
// are CR LF.
#pragma once

#include <cstdint>
#include <string>

namespace regdiag::logtext {

inline constexpr const char* kInitializing = "Initializing driver for USB-to-I2C interface...";
inline constexpr const char* kInitSuccessful = "USB-to-I2C driver initialization successful.";
inline constexpr const char* kInitFailure = "USB-to-I2C driver initialization failure.";
inline constexpr const char* kSearching = "Searching for USB-to-I2C interface...";
inline constexpr const char* kNotDetected = "USB-to-I2C interface not detected. Please check connections.";
inline constexpr const char* kDetected = "USB-to-I2C interface detected.";
inline constexpr const char* kAccepting = "DeviceAttach: Accepting control of the device";
inline constexpr const char* kRejecting = "DeviceAttach: Rejecting control of the device";

// "Form_Activate(): Failed to initialize USB driver: error &H<status>" CR LF "(<text>)"
[[nodiscard]] std::string InitFailed(std::uint32_t status, const std::string& statusText);
// The three-line attach notice.
[[nodiscard]] std::string AttachReceived(std::uint16_t vendorId, std::uint16_t productId,
                                         std::uint32_t deviceHandle);
// The two-line notice for a second device while one is held.
[[nodiscard]] std::string AlreadyHeld();
[[nodiscard]] std::string SetInterfaceFailed(std::uint32_t interfaceNumber, std::uint32_t alternate,
                                             std::uint32_t deviceHandle, std::uint32_t status,
                                             const std::string& statusText);
[[nodiscard]] std::string DetachReceived(std::uint32_t deviceHandle);

enum class PipeDirection { Write, Read };
// "<WritePipe|ReadPipe>: UsbGetDeviceInfo() failed:" CR LF "error &H<s> (<text>)" CR LF
[[nodiscard]] std::string DeviceInfoFailed(PipeDirection dir, std::uint32_t status,
                                           const std::string& statusText);
// "  No pipes are defined for this device " CR LF "other than the default pipe (number 0)"
[[nodiscard]] std::string NoPipes();
// "<WritePipe|ReadPipe>: UsbTransfer() failed: error &H<s> (<text>)"
[[nodiscard]] std::string TransferFailed(PipeDirection dir, std::uint32_t status,
                                         const std::string& statusText);
// "Write Pipe failed" / "Read Pipe failed"
[[nodiscard]] std::string PipeFailed(PipeDirection dir);

// The library's text for a status, cut at the first NUL.
[[nodiscard]] std::string CutAtNul(const std::string& libraryText);

}  // namespace regdiag::logtext
