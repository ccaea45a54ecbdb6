#include "tools/camsim/PortLink.h"

#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

PortLink::PortLink(const fs::path &folder, const std::string &comName, const fs::path &device)
    : m_link(folder / comName)
    , m_device(device)
{
    fs::create_directories(folder);
    // Made under a private name, then renamed over the old link: the name never dangles.
    const fs::path temporary = folder / (comName + ".new." + std::to_string(::getpid()));
    std::error_code ignored;
    fs::remove(temporary, ignored);
    fs::create_symlink(device, temporary);
    try {
        fs::rename(temporary, m_link);
    } catch (...) {
        fs::remove(temporary, ignored);
        throw;
    }
}

PortLink::~PortLink()
{
    remove();
}

void PortLink::remove() noexcept
{
    std::error_code ec;
    const fs::path target = fs::read_symlink(m_link, ec);
    if (!ec && target == m_device)
        fs::remove(m_link, ec);
}
