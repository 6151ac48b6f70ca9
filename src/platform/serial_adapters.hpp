// Where the USB serial adapters are listed by their identity, and the board's adapter found there
// as a device path, afresh at every call.
#pragma once

#include <string>
#include <vector>

namespace lumora {

// /dev/serial/by-id, where udev links each USB serial adapter under its maker, product and serial
// number (usb-<maker>_<product>_<serial>-if00-port0 -> ../../ttyUSB0). $LUMORA_SERIAL_BY_ID
// names another folder instead: the tests fill one with links to pseudo-terminals.
std::string adapterFolder();

// The names in `folder`, in no particular order. A folder that is not there lists nothing: udev
// removes it with the last adapter. Throws LinkError (Unusable) when it cannot be read.
std::vector<std::string> listAdapters(const std::string& folder);

// The device the board's adapter link in `folder` points to now, e.g. /dev/ttyUSB1, by
// chooseAdapter's rule. Throws LinkError: Absent when there is none or its link leads nowhere,
// Unusable when there are several or the link cannot be followed.
std::string findAdapter(const std::string& folder);

} // namespace lumora
