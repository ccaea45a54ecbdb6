#pragma once

#include <filesystem>
#include <string>

// The symbolic link "<folder>/COMn" -> device that makes a port name open the simulator.
// Creating it replaces any link of that name; it is removed on destruction, but only while it
// still points at this device (another simulator may have taken the name since).
class PortLink
{
public:
    // Creates the folder if needed and the link. Throws std::filesystem::filesystem_error.
    PortLink(const std::filesystem::path &folder, const std::string &comName,
             const std::filesystem::path &device);
    ~PortLink();
    PortLink(const PortLink &) = delete;
    PortLink &operator=(const PortLink &) = delete;

    const std::filesystem::path &path() const { return m_link; }
    // Removes the link if it still points at the device. Safe to call more than once.
    void remove() noexcept;

private:
    std::filesystem::path m_link;
    std::filesystem::path m_device;
};
