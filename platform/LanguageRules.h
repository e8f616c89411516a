#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// The number rules of the language the program was first written in, where its settings
// depend on them.

/// The leading-number rule: blanks skipped, then the longest leading decimal number (sign,
/// digits with an optional decimal point, optional exponent); 0 when the text does not begin
/// with one; infinite when too large for a double.
double Val(const QString& text);

/// Rounds to the nearest integer, a half going to the even neighbour; nullopt when the result
/// does not fit a 16-bit signed integer.
std::optional<std::int16_t> CInt(double value);

/// "0.0000000": a period and exactly seven decimals.
QString formatFraction(float value);
/// "####0" and "0": decimal digits without leading zeros, at least one.
QString formatInteger(std::int32_t value);
