#include "core/usb/usb_status.h"

namespace regdiag::usb {

std::string StatusDescription(UsbStatus status) {
  switch (status) {
    case kStatusSuccess:
      return "Success";
    case kStatusInvalidHandle:
      return "Invalid handle";
    case kStatusInvalidParameter:
      return "Invalid parameter";
    case kStatusNoDevice:
      return "The device is no longer connected";
    case kStatusNotOpen:
      return "The device is not open";
    case kStatusAccessDenied:
      return "Access denied: no permission to open the device";
    case kStatusBusy:
      return "The device is busy: another program is using it";
    case kStatusTimeout:
      return "The transfer timed out";
    case kStatusStall:
      return "The endpoint stalled";
    case kStatusOverflow:
      return "The device sent more data than was asked for";
    case kStatusPipeNotFound:
      return "No such pipe on the device";
    case kStatusIoError:
      return "Input/output error";
    case kStatusNoMemory:
      return "Out of memory";
    case kStatusNotSupported:
      return "The operation is not supported";
    case kStatusAlreadyInitialized:
      return "The USB library is already initialised";
    case kStatusNotInitialized:
      return "The USB library is not initialised";
    case kStatusCancelled:
      return "The operation was cancelled";
    case kStatusNoSuchInterface:
      return "The device has no such interface or alternate setting";
    case kStatusInternalError:
      return "Internal error in the USB library";
    default:
      return "Unknown USB library status";
  }
}

}  // namespace regdiag::usb
