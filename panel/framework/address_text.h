// What the connection pages take in an address field: an address or host
// name the engine can listen on or connect to, typed in ASCII.
#pragma once

#include <QString>

namespace panel {

// True for an IPv4 address, an IPv6 address or a host name (letters,
// digits, "-" and "_" in dot-separated labels), all in ASCII. Text typed
// with the input method on (full-width digits and dots) is none of them.
bool IsAddressOrHostName(const QString& text);

// The pages' message for an address field that is none of these; %1 is
// the field's name.
QString NotAnAddressMessage();

// The pages' message for a port outside 1 to 65535; %1 is the field's
// name.
QString PortRangeMessage();

}  // namespace panel
