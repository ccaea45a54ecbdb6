#include "app/TextFormat.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace TextFormat {

namespace {

// Strips trailing zeros (and a bare point) from a digit string with a decimal point.
void trimFraction(std::string &digits)
{
    if (digits.find('.') == std::string::npos)
        return;
    while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
    if (!digits.empty() && digits.back() == '.')
        digits.pop_back();
}

} // namespace

std::string general(double value)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    if (value == 0.0)
        return "0";

    // Round to 15 significant digits first; the exponent of the rounded value decides the form.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", value);
    const char *e = std::strchr(buf, 'e');
    const int exponent = std::atoi(e + 1);

    if (exponent < -5 || exponent >= 15) {
        std::string mantissa(buf, static_cast<std::size_t>(e - buf));
        trimFraction(mantissa);
        return mantissa + "E" + std::to_string(exponent);
    }
    std::snprintf(buf, sizeof buf, "%.*f", 14 - exponent, value);
    std::string fixed(buf);
    trimFraction(fixed);
    if (fixed == "-0")
        return "0";
    return fixed;
}

std::string readout(float rotX, float rotY, float zoom)
{
    return "X=" + general(rotX) + " Y=" + general(rotY) + " Z=" + general(zoom);
}

std::string errorText(std::string_view message)
{
    std::string text(message);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return text;
}

} // namespace TextFormat
