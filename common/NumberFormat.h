// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QChar>
#include <QDateTime>
#include <QString>
#include <optional>
#include <string>
#include <string_view>

// The program's one formatter: every number shown to the user or written to a result file goes
// through here, with the user's decimal separator.
namespace NumberFormat {

// The decimal separator in force: the system locale's, unless a test has set one.
QChar DecimalSeparator();
void SetDecimalSeparator(QChar separator); // QChar() restores the system locale's

// printf "%<width>.<decimals>f": right-aligned, rounding exactly (ties of the binary value to even).
// A value that rounds to zero is written without a minus sign (-0.04 with one decimal is "0,0"), here
// and in Scientific.
QString Fixed(double value, int width, int decimals);
// printf "%<width>.<decimals>e" in the program's form: one digit, separator, <decimals> digits, "E",
// a sign and at least three exponent digits ("-1.25000000000000E+001" for -12.5 with 14 decimals).
QString Scientific(double value, int width, int decimals);
// Shortest general form: at most 15 significant digits, no trailing zeros, exponent form ("1E-5",
// "1,5E20") only where the fixed form would be longer than 15 digits.
QString General(double value);
// The shortest fixed form that reads back as exactly the same double ("-45,12", "1258,92541179417"),
// for the exchange files; `separator` is the user's unless given ("." for FRD files).
QString Exact(double value, QChar separator = DecimalSeparator());
// printf "%<width>d" and "%-<width>s".
QString Integer(long long value, int width = 0);
QString LeftAligned(const QString& text, int width);

// The system's short date and long time ("08.12.2026 14:03:05" in a Polish setting).
QString ShortDateLongTime(const QDateTime& when);
// A duration shown as a time of day in the system's long time format ("00:01:05").
QString LongTime(const QTime& time);

// The decimal separators of every locale: ".", "," and the Arabic one. Numbers are read with any of
// them, whatever the locale in force, so that a file reads back wherever it was written.
inline constexpr char16_t ArabicDecimalSeparator = u'\u066B';
bool IsDecimalSeparator(QChar c);

// A number typed by the user or read from a file, with any decimal separator above, optional
// sign and exponent, surrounding blanks allowed. Empty, partial or non-finite text gives nothing.
std::optional<double> ParseNumber(const QString& text);
// A whole number in signed decimal (blanks allowed around it); nothing when it does not parse or fit.
std::optional<long long> ParseInteger(const QString& text);

// A line of numbers in UTF-8 with the Arabic separator (two bytes) turned into "." (one), so that
// fixed widths counted in characters are widths in bytes again. Returns `utf8` itself when it holds
// none; otherwise a view of `storage`.
std::string_view WithOneByteSeparators(std::string_view utf8, std::string& storage);

} // namespace NumberFormat
