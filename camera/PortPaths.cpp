#include "camera/PortPaths.h"

#include <charconv>
#include <cstdlib>
#include <system_error>

#include <pwd.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string homeFolder()
{
    if (const char *home = std::getenv("HOME"); home && *home)
        return home;
    // No HOME (a service or a stripped environment): fall back to the password database.
    if (const passwd *pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

} // namespace

fs::path portFolder()
{
    fs::path base;
    // Relative values are invalid for XDG_CONFIG_HOME and are ignored, as the XDG rules say.
    if (const char *xdg = std::getenv("XDG_CONFIG_HOME");
        xdg && *xdg && fs::path(xdg).is_absolute())
        base = xdg;
    else
        base = fs::path(homeFolder()) / ".config";
    return base / "kelvra23" / "ports";
}

std::optional<unsigned> comPortNumber(std::string_view comName)
{
    constexpr std::string_view prefix = "COM";
    if (comName.size() <= prefix.size() || comName.substr(0, prefix.size()) != prefix)
        return std::nullopt;
    const std::string_view digits = comName.substr(prefix.size());
    if (digits.front() < '0' || digits.front() > '9')
        return std::nullopt;
    unsigned n = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (ec != std::errc() || end != digits.data() + digits.size() || n == 0)
        return std::nullopt;
    return n;
}

std::string resolvePortDevice(std::string_view comName, const fs::path &folder)
{
    const std::optional<unsigned> n = comPortNumber(comName);
    if (!n)
        return std::string(comName);

    const fs::path entry = folder / std::string(comName);
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(entry, ec);
    if (!ec && fs::is_symlink(status)) {
        const fs::path target = fs::read_symlink(entry, ec);
        if (!ec)
            return (target.is_absolute() ? target : folder / target).lexically_normal().string();
    } else if (!ec && fs::exists(status)) {
        return entry.string();
    }
    return "/dev/ttyS" + std::to_string(*n - 1);
}
