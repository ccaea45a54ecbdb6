#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// How the port names "COM1", "COM2", ... map to devices on this platform.
//
// The port folder holds symbolic links named after the ports ("COM1" -> "/dev/ttyUSB0").
// A port with a link opens the link's target; a port without one opens the n-th standard
// serial device, "/dev/ttyS{n-1}".

// The port folder: $XDG_CONFIG_HOME/kelvra23/ports, or $HOME/.config/kelvra23/ports when
// XDG_CONFIG_HOME is unset, empty or relative. The folder need not exist.
std::filesystem::path portFolder();

// The port number n of a name "COMn" (n >= 1, decimal, no sign), or nothing for any other name.
std::optional<unsigned> comPortNumber(std::string_view comName);

// The device path to open for comName:
//  - "COMn" with a link "COMn" in folder: the link's target, taken relative to folder when it
//    is relative. The target need not exist, so that an open error can name it.
//  - "COMn" with a file "COMn" in folder that is not a link: that file.
//  - "COMn" with nothing in folder: "/dev/ttyS{n-1}".
//  - any other name is taken as a device path as it stands.
std::string resolvePortDevice(std::string_view comName, const std::filesystem::path &folder);
