#pragma once

#include <string>
#include <string_view>

// Texts the window shows, built without Qt so the rules can be tested on their own.
namespace TextFormat {

constexpr std::string_view kAppTitle = "Kelvra 23";

// A float in the general form: up to 15 significant digits, no trailing zeros, integral
// values without a decimal point ("0", "-20", "0.5"), scientific ("1E20", "1.5E-7") when the
// decimal exponent is below -5 or 15 and above. NaN and infinities read "NAN", "INF", "-INF".
std::string general(double value);

// "X=<rotX> Y=<rotY> Z=<zoom>", each in the general form; "X=0 Y=0 Z=-20" at start.
std::string readout(float rotX, float rotY, float zoom);

// The standard error display's text: a "." is appended when the last character sorts after
// "." (compared as unsigned bytes); an empty text stays empty.
std::string errorText(std::string_view message);

} // namespace TextFormat
