#pragma once

// The general number text written the slow and obvious way, from the 18 digits that the standard
// library prints: the reference that the tests and the value-text fuzz target hold the number
// writer to. Needs no test framework, so that the fuzz targets can link it.

#include <string>

// The 18 significant digits of a positive finite magnitude, correctly rounded (a tie to the
// even digit), into Digits (no terminator); answers E with magnitude = 0.d1d2...d18 times 10^E.
int PrintedDigits(long double magnitude, char* digits);

// What FloatToValueText writes for a finite value within the double range: the printed 18
// digits rounded half up to 15, trailing zeros dropped, fixed notation for decimal exponents
// -3 to 15, scientific otherwise.
std::string ReferenceValueText(long double value);
