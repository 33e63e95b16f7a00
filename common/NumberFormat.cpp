// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/NumberFormat.h"

#include <QLocale>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

namespace NumberFormat {

namespace {

QChar OverriddenSeparator; // null: the system locale's

// Large enough for any double in fixed form (309 integer digits) with the decimals we allow.
constexpr int BufferSize = 400;
constexpr int MaxDecimals = 40;

// Text made of ASCII bytes: the decimal point becomes the user's separator, blanks pad it on the left.
QString Finish(const char* begin, const char* end, int width)
{
    const QChar separator = DecimalSeparator();
    const auto length = static_cast<int>(end - begin);
    const int pad = std::max(0, width - length);
    QString text(pad + length, QLatin1Char(' '));
    QChar* out = text.data() + pad;
    for (const char* c = begin; c != end; ++c, ++out)
        *out = *c == '.' ? separator : QChar(QLatin1Char(*c));
    return text;
}

// A value that rounds to zero is shown without a minus sign: a reading of "-0,0" means nothing.
char* DropSignOfZero(char* begin, char* end)
{
    if (begin == end || *begin != '-')
        return begin;
    const bool allZero = std::all_of(begin + 1, end, [](char c) { return c == '0' || c == '.'; });
    return allZero ? begin + 1 : begin;
}

// std::to_chars is correctly rounded and ignores the C locale (which Qt sets from the environment).
std::to_chars_result ToChars(char* begin, char* end, double value, std::chars_format format, int precision)
{
    if (!std::isfinite(value)) {
        const std::string_view text = std::isnan(value) ? "nan" : (value < 0 ? "-inf" : "inf");
        std::copy(text.begin(), text.end(), begin);
        return {begin + text.size(), std::errc()};
    }
    return std::to_chars(begin, end, value, format, precision);
}

// The C library's "d.ddde+XX" turned into "d.dddE+XXX": upper-case E, a sign, at least three digits.
char* WidenExponent(char* begin, char* end)
{
    char* e = std::find(begin, end, 'e');
    if (e == end)
        return end;
    *e = 'E';
    char* digits = e + 2; // after the sign
    const auto count = end - digits;
    if (count >= 3)
        return end;
    const auto shift = 3 - count;
    std::copy_backward(digits, end, end + shift);
    std::fill(digits, digits + shift, '0');
    return end + shift;
}

} // namespace

QChar DecimalSeparator()
{
    if (!OverriddenSeparator.isNull())
        return OverriddenSeparator;
    // Read once: asking the system locale for every number costs a third of a number's formatting.
    static const QChar systemSeparator = [] {
        const QString point = QLocale::system().decimalPoint();
        return point.isEmpty() ? QChar(QLatin1Char('.')) : point.front();
    }();
    return systemSeparator;
}

void SetDecimalSeparator(QChar separator)
{
    OverriddenSeparator = separator;
}

QString Fixed(double value, int width, int decimals)
{
    char buffer[BufferSize];
    const auto result = ToChars(buffer, buffer + BufferSize, value, std::chars_format::fixed,
                                std::clamp(decimals, 0, MaxDecimals));
    return Finish(DropSignOfZero(buffer, result.ptr), result.ptr, width);
}

QString Scientific(double value, int width, int decimals)
{
    char buffer[BufferSize];
    const auto result = ToChars(buffer, buffer + BufferSize - 4, value, std::chars_format::scientific,
                                std::clamp(decimals, 0, MaxDecimals));
    char* end = std::isfinite(value) ? WidenExponent(buffer, result.ptr) : result.ptr;
    char* mantissaEnd = std::find(buffer, end, 'E');
    return Finish(DropSignOfZero(buffer, mantissaEnd), end, width);
}

QString General(double value)
{
    if (!std::isfinite(value)) {
        char buffer[8];
        const auto result = ToChars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 0);
        return Finish(buffer, result.ptr, 0);
    }
    if (value == 0.0)
        return QStringLiteral("0");

    // Round to 15 significant digits first; the layout follows from the rounded exponent.
    char buffer[BufferSize];
    const auto rounded = std::to_chars(buffer, buffer + BufferSize, value, std::chars_format::scientific, 14);
    char* e = std::find(buffer, rounded.ptr, 'e');
    const int exponent = std::atoi(std::string(e + 1, rounded.ptr).c_str());
    const bool negative = buffer[0] == '-';
    std::string digits;
    for (char* c = buffer + (negative ? 1 : 0); c != e; ++c)
        if (*c != '.')
            digits += *c;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string text = negative ? "-" : "";
    const auto count = static_cast<int>(digits.size());
    if (exponent >= 15 || exponent < -4) {
        text += digits[0];
        if (count > 1)
            text += '.' + digits.substr(1);
        text += 'E' + std::to_string(exponent);
    } else if (exponent < 0) {
        text += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    } else if (count <= exponent + 1) {
        text += digits + std::string(static_cast<std::size_t>(exponent + 1 - count), '0');
    } else {
        const auto integerDigits = static_cast<std::size_t>(exponent + 1);
        text += digits.substr(0, integerDigits) + '.' + digits.substr(integerDigits);
    }
    return Finish(text.data(), text.data() + text.size(), 0);
}

QString Exact(double value, QChar separator)
{
    char buffer[BufferSize];
    char* end = buffer;
    if (std::isfinite(value))
        end = std::to_chars(buffer, buffer + BufferSize, value, std::chars_format::fixed).ptr;
    else
        end = ToChars(buffer, buffer + BufferSize, value, std::chars_format::fixed, 0).ptr;
    char* begin = DropSignOfZero(buffer, end);
    QString text(static_cast<qsizetype>(end - begin), QLatin1Char(' '));
    for (qsizetype i = 0; begin + i != end; ++i)
        text[i] = begin[i] == '.' ? separator : QChar(QLatin1Char(begin[i]));
    return text;
}

QString Integer(long long value, int width)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return Finish(buffer, result.ptr, width);
}

QString LeftAligned(const QString& text, int width)
{
    return text.leftJustified(width, QLatin1Char(' '), false);
}

namespace {
// The long time format without a time zone, which the program never shows.
QString LongTimeFormat()
{
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return format.trimmed();
}
} // namespace

QString ShortDateLongTime(const QDateTime& when)
{
    const QLocale locale = QLocale::system();
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), LongTimeFormat());
}

QString LongTime(const QTime& time)
{
    return QLocale::system().toString(time, LongTimeFormat());
}

bool IsDecimalSeparator(QChar c)
{
    return c == QLatin1Char('.') || c == QLatin1Char(',') || c == QChar(ArabicDecimalSeparator);
}

namespace {
// The trimmed text as ASCII with every decimal separator turned into "."; empty when it holds
// anything else.
std::string AsciiNumber(const QString& text)
{
    const QString trimmed = text.trimmed();
    std::string ascii;
    ascii.reserve(static_cast<std::size_t>(trimmed.size()));
    for (const QChar c : trimmed) {
        if (IsDecimalSeparator(c))
            ascii += '.';
        else if (c.unicode() > 0x7F)
            return {};
        else
            ascii += static_cast<char>(c.unicode());
    }
    // from_chars takes no plus sign; a second sign after it stays an error.
    if (!ascii.empty() && ascii[0] == '+') {
        ascii.erase(0, 1);
        if (!ascii.empty() && (ascii[0] == '+' || ascii[0] == '-'))
            return {};
    }
    return ascii;
}
} // namespace

std::optional<double> ParseNumber(const QString& text)
{
    const std::string ascii = AsciiNumber(text);
    if (ascii.empty() || ascii.find_first_of("iInN") != std::string::npos)
        return std::nullopt;
    double value = 0;
    const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (result.ec != std::errc() || result.ptr != ascii.data() + ascii.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<long long> ParseInteger(const QString& text)
{
    const std::string ascii = AsciiNumber(text);
    if (ascii.empty())
        return std::nullopt;
    long long value = 0;
    const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (result.ec != std::errc() || result.ptr != ascii.data() + ascii.size())
        return std::nullopt;
    return value;
}

std::string_view WithOneByteSeparators(std::string_view utf8, std::string& storage)
{
    constexpr std::string_view arabic = "\xD9\xAB"; // U+066B in UTF-8
    std::size_t at = utf8.find(arabic);
    if (at == std::string_view::npos)
        return utf8;
    storage.assign(utf8);
    for (; at != std::string::npos; at = storage.find(arabic, at + 1))
        storage.replace(at, arabic.size(), 1, '.');
    return storage;
}

} // namespace NumberFormat
