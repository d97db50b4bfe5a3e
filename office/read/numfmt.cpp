// Excel's number format codes: a code is up to four sections split by ';'
// (positive, negative, zero, text), each of literals, digit placeholders
// (0 # ?), '.', ',', '%', E+, '@', General, or date and time parts (y m d h
// s, AM/PM, [h]); bracketed colours are ignored and bracketed conditions
// choose the section. Numbers are rounded half away from zero on their
// 15-significant-digit decimal form, as Excel shows them (2.675 → 2.68).
#include "office/read/numfmt.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

[[noreturn]] void unknown(std::string_view code, const std::string& why)
{
    throw FormatError("the number format \"" + std::string(code) + "\" is not one the reader knows (" + why +
                      "); give the column a format such as 0.00 or @ (text)");
}

enum class Kind { Literal, Digit, Point, Comma, Percent, Exponent, Text, General, Year, Month, Minute, Day, Hour,
                  Second, AmPm, Elapsed };

struct Token {
    Kind kind;
    std::string text;  // a literal; the placeholder (0 # ?); E+ or E-; AM/PM's form; [h] [m] [s]
    int count = 1;     // repeated letters (yyyy: 4)
};

struct Condition {
    enum { None, Less, LessEqual, Greater, GreaterEqual, Equal, NotEqual } op = None;
    double operand = 0;
    bool holds(double v) const
    {
        switch (op) {
        case Less: return v < operand;
        case LessEqual: return v <= operand;
        case Greater: return v > operand;
        case GreaterEqual: return v >= operand;
        case Equal: return v == operand;
        case NotEqual: return v != operand;
        case None: return true;
        }
        return true;
    }
};

struct Section {
    std::vector<Token> tokens;
    Condition condition;
    bool date = false;
};

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::size_t utf8Length(unsigned char lead) { return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4; }

// The code cut into sections at ';' outside quotes, brackets and escapes.
std::vector<std::string_view> splitSections(std::string_view code)
{
    std::vector<std::string_view> sections;
    std::size_t start = 0;
    for (std::size_t i = 0; i < code.size(); ++i) {
        if (code[i] == '"') {
            const auto close = code.find('"', i + 1);
            if (close == std::string_view::npos)
                unknown(code, "a quote is not closed");
            i = close;
        } else if (code[i] == '\\' || code[i] == '_' || code[i] == '*') {
            ++i;
        } else if (code[i] == '[') {
            const auto close = code.find(']', i);
            if (close == std::string_view::npos)
                unknown(code, "a bracket is not closed");
            i = close;
        } else if (code[i] == ';') {
            sections.push_back(code.substr(start, i - start));
            start = i + 1;
        }
    }
    sections.push_back(code.substr(start));
    if (sections.size() > 4)
        unknown(code, "more than four sections");
    return sections;
}

void addLiteral(std::vector<Token>& tokens, std::string_view text)
{
    if (!tokens.empty() && tokens.back().kind == Kind::Literal)
        tokens.back().text += text;
    else
        tokens.push_back({Kind::Literal, std::string(text)});
}

Section parseSection(std::string_view text, std::string_view code)
{
    static constexpr std::string_view COLOURS[] = {"black", "blue", "cyan", "green", "magenta", "red", "white",
                                                   "yellow"};
    Section section;
    auto& tokens = section.tokens;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::string_view rest = text.substr(i);
        if (c == '"') {
            const auto close = text.find('"', i + 1);
            addLiteral(tokens, text.substr(i + 1, close - i - 1));
            i = close + 1;
        } else if (c == '\\' || c == '_' || c == '*') {
            if (i + 1 >= text.size())
                unknown(code, std::string("'") + c + "' ends it");
            const std::size_t length = utf8Length(static_cast<unsigned char>(text[i + 1]));
            // '_' leaves the width of the next character blank, '*' repeats it
            // to fill the cell: the exports write a blank for the one, nothing
            // for the other.
            if (c == '\\')
                addLiteral(tokens, text.substr(i + 1, length));
            else if (c == '_')
                addLiteral(tokens, " ");
            i += 1 + length;
        } else if (c == '[') {
            const auto close = text.find(']', i);
            const std::string_view inside = text.substr(i + 1, close - i - 1);
            i = close + 1;
            bool colour = false;
            for (const auto name : COLOURS)
                colour |= equalsIgnoringCase(inside, name);
            if (colour || (inside.size() > 5 && equalsIgnoringCase(inside.substr(0, 5), "color")))
                continue;
            if (inside.starts_with('$')) {  // [$¥-804]: a currency symbol and a language
                const auto dash = inside.find('-');
                const std::string_view locale = dash == std::string_view::npos ? "" : inside.substr(dash + 1);
                // The system's long date or time: the rest of the section is
                // what Windows shows without it, replaced by what Chinese
                // Windows shows. (LibreOffice 7.4 under zh-CN differs from
                // the office's Excel: its own long date, 2025年6月1日　星期日,
                // and HH:mm:ss; x-sysdate and x-systime it does not know.)
                if (equalsIgnoringCase(locale, "F800") || equalsIgnoringCase(locale, "x-sysdate"))
                    return parseSection("yyyy\"年\"m\"月\"d\"日\"", code);
                if (equalsIgnoringCase(locale, "F400") || equalsIgnoringCase(locale, "x-systime"))
                    return parseSection("h:mm:ss", code);
                // A language alone (up to four hex digits, or a tag such as
                // zh-CN) leaves the digits as they are; a calendar or numeral
                // system above it, or another x- code, does not.
                unsigned id = 0;
                const auto [end, error] = std::from_chars(locale.data(), locale.data() + locale.size(), id, 16);
                const bool hex = error == std::errc() && end == locale.data() + locale.size();
                const bool tag = !locale.empty() && std::isalpha(static_cast<unsigned char>(locale[0])) &&
                                 !(locale.size() > 1 && locale[1] == '-') &&
                                 std::all_of(locale.begin(), locale.end(), [](char c) {
                                     return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
                                 });
                if (!locale.empty() && (hex ? id > 0xFFFF : !tag))
                    unknown(code, "the locale code [" + std::string(inside) + "]");
                addLiteral(tokens, inside.substr(1, dash == std::string_view::npos ? dash : dash - 1));
                continue;
            }
            if (!inside.empty() && (inside[0] == '<' || inside[0] == '>' || inside[0] == '=')) {
                std::size_t n = inside.size() > 1 && (inside[1] == '=' || inside[1] == '>') ? 2 : 1;
                const std::string_view op = inside.substr(0, n);
                using C = Condition;
                section.condition.op = op == "<" ? C::Less : op == "<=" ? C::LessEqual : op == ">" ? C::Greater
                                     : op == ">=" ? C::GreaterEqual : op == "=" ? C::Equal : C::NotEqual;
                const std::string operand(inside.substr(n));
                char* end = nullptr;
                section.condition.operand = std::strtod(operand.c_str(), &end);
                if (operand.empty() || *end != '\0')
                    unknown(code, "the condition [" + std::string(inside) + "]");
                continue;
            }
            const char unit = inside.empty() ? 0 : static_cast<char>(std::tolower(static_cast<unsigned char>(inside[0])));
            if ((unit == 'h' || unit == 'm' || unit == 's') &&
                inside.find_first_not_of(std::string(1, unit) + static_cast<char>(std::toupper(unit))) ==
                    std::string_view::npos) {
                tokens.push_back({Kind::Elapsed, std::string(1, unit), static_cast<int>(inside.size())});
                section.date = true;
                continue;
            }
            unknown(code, "[" + std::string(inside) + "]");
        } else if (c == '0' || c == '#' || c == '?') {
            tokens.push_back({Kind::Digit, std::string(1, c)});
            ++i;
        } else if (c == '.') {
            tokens.push_back({Kind::Point, "."});
            ++i;
        } else if (c == ',') {
            tokens.push_back({Kind::Comma, ","});
            ++i;
        } else if (c == '%') {
            tokens.push_back({Kind::Percent, "%"});
            ++i;
        } else if (c == '@') {
            tokens.push_back({Kind::Text, "@"});
            ++i;
        } else if (lower == 'e' && rest.size() > 1 && (rest[1] == '+' || rest[1] == '-')) {
            tokens.push_back({Kind::Exponent, std::string(rest.substr(0, 2))});
            i += 2;
        } else if (rest.size() >= 7 && equalsIgnoringCase(rest.substr(0, 7), "general")) {
            tokens.push_back({Kind::General, ""});
            i += 7;
        } else if (rest.size() >= 5 && equalsIgnoringCase(rest.substr(0, 5), "am/pm")) {
            tokens.push_back({Kind::AmPm, "AM/PM"});
            section.date = true;
            i += 5;
        } else if (rest.size() >= 3 && equalsIgnoringCase(rest.substr(0, 3), "a/p")) {
            tokens.push_back({Kind::AmPm, std::string(rest.substr(0, 3))});
            section.date = true;
            i += 3;
        } else if (rest.starts_with("上午/下午")) {
            tokens.push_back({Kind::AmPm, "上午/下午"});
            section.date = true;
            i += std::string_view("上午/下午").size();
        } else if (lower == 'y' || lower == 'm' || lower == 'd' || lower == 'h' || lower == 's') {
            int count = 0;
            while (i < text.size() && std::tolower(static_cast<unsigned char>(text[i])) == lower)
                ++count, ++i;
            const Kind kind = lower == 'y' ? Kind::Year : lower == 'm' ? Kind::Month : lower == 'd' ? Kind::Day
                            : lower == 'h' ? Kind::Hour : Kind::Second;
            tokens.push_back({kind, "", count});
            section.date = true;
        } else if (static_cast<unsigned char>(c) >= 0x80 || std::string_view("$-+/():!^&'~{}<>= ").find(c) !=
                                                                   std::string_view::npos) {
            const std::size_t length = utf8Length(static_cast<unsigned char>(c));
            addLiteral(tokens, text.substr(i, length));
            i += length;
        } else {
            unknown(code, std::string("'") + c + "'");
        }
    }
    // m is minutes right after hours or right before seconds.
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        if (tokens[k].kind != Kind::Month || tokens[k].count > 2)
            continue;
        auto before = k;
        while (before > 0 && tokens[before - 1].kind == Kind::Literal)
            --before;
        auto after = k + 1;
        while (after < tokens.size() && tokens[after].kind == Kind::Literal)
            ++after;
        if ((before > 0 && (tokens[before - 1].kind == Kind::Hour ||
                            (tokens[before - 1].kind == Kind::Elapsed && tokens[before - 1].text == "h"))) ||
            (after < tokens.size() && tokens[after].kind == Kind::Second))
            tokens[k].kind = Kind::Minute;
    }
    return section;
}

// A magnitude as its 15 significant digits: 0.digits × 10^point, no
// trailing zeros; digits empty for zero.
struct Decimal {
    std::string digits;
    int point = 0;
};

Decimal decimalOf(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.14e", std::fabs(value));
    Decimal d;
    d.digits = std::string(1, text[0]) + std::string(text + 2, text + 16);
    d.point = std::atoi(text + 17) + 1;
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    if (d.digits.empty())
        d.point = 0;
    return d;
}

// The decimal rounded half away from zero to `places` decimals: its whole
// digits ("" for none) and exactly `places` fraction digits.
std::pair<std::string, std::string> fixed(const Decimal& d, int places)
{
    const int keep = d.point + places;  // digits of `d` left of the cut
    std::string n;
    if (keep >= static_cast<int>(d.digits.size())) {
        n = d.digits + std::string(static_cast<std::size_t>(keep) - d.digits.size(), '0');
    } else if (keep >= 0) {
        n = d.digits.substr(0, static_cast<std::size_t>(keep));
        if (d.digits[static_cast<std::size_t>(keep)] >= '5') {
            std::size_t i = n.size();
            while (i > 0 && n[i - 1] == '9')
                n[--i] = '0';
            if (i == 0)
                n.insert(n.begin(), '1');
            else
                ++n[i - 1];
        }
    }
    const auto first = n.find_first_not_of('0');
    n = first == std::string::npos ? "" : n.substr(first);
    if (static_cast<int>(n.size()) < places)
        n.insert(0, static_cast<std::size_t>(places) - n.size(), '0');
    const std::size_t whole = n.size() - static_cast<std::size_t>(places);
    return {n.substr(0, whole), n.substr(whole)};
}

std::string grouped(const std::string& digits)
{
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

// Digits into placeholders, right to left from the last one; the first
// takes what is left. 0 shows a zero where no digit is left, ? a blank, #
// nothing.
std::vector<std::string> fillWhole(const std::string& digits, const std::vector<char>& placeholders)
{
    std::vector<std::string> out(placeholders.size());
    std::size_t left = digits.size();
    for (std::size_t k = placeholders.size(); k-- > 0;) {
        if (k == 0 && left > 0)
            out[k] = digits.substr(0, left), left = 0;
        else if (left > 0)
            out[k] = digits.substr(--left, 1);
        else
            out[k] = placeholders[k] == '0' ? "0" : placeholders[k] == '?' ? " " : "";
    }
    return out;
}

// Fraction digits into placeholders left to right; trailing zeros at # are
// dropped, at ? made blanks.
std::vector<std::string> fillFraction(const std::string& digits, const std::vector<char>& placeholders)
{
    std::vector<std::string> out(placeholders.size());
    bool trailing = true;
    for (std::size_t k = placeholders.size(); k-- > 0;) {
        trailing = trailing && digits[k] == '0' && placeholders[k] != '0';
        out[k] = !trailing ? std::string(1, digits[k]) : placeholders[k] == '?' ? " " : "";
    }
    return out;
}

// The number under a section without date parts; `sign`: a minus sign
// before a negative number that does not show as zero.
std::string formatNumeric(double value, const Section& section, bool sign, std::string_view code)
{
    const auto& tokens = section.tokens;
    std::vector<char> whole, fraction, exponent;
    bool point = false, group = false, general = false;
    int percent = 0, scale = 0;
    std::string exponentSign;
    std::size_t firstDigit = tokens.size(), lastDigit = 0;
    for (std::size_t k = 0; k < tokens.size(); ++k)
        if (tokens[k].kind == Kind::Digit)
            firstDigit = std::min(firstDigit, k), lastDigit = k;
    bool interleaved = false;  // literals between the digits: 000-0000
    for (std::size_t k = firstDigit; k < lastDigit; ++k) {
        interleaved |= tokens[k].kind == Kind::Literal;
        if (tokens[k].kind == Kind::Literal && tokens[k].text == "/" && tokens[k - 1].kind == Kind::Digit &&
            tokens[k + 1].kind == Kind::Digit)
            unknown(code, "a fraction");
    }
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        const Token& t = tokens[k];
        switch (t.kind) {
        case Kind::Digit:
            (!exponentSign.empty() ? exponent : point ? fraction : whole).push_back(t.text[0]);
            break;
        case Kind::Point:
            if (point || !exponentSign.empty())
                unknown(code, "two decimal points");
            point = true;
            break;
        case Kind::Comma:
            // Between digits: thousands separators; after the last digit
            // (before the point or at the end): the value in thousands.
            if (!point && exponentSign.empty() && k + 1 < tokens.size() && tokens[k + 1].kind == Kind::Digit &&
                !whole.empty())
                group = true;
            else if (k > lastDigit || (k + 1 < tokens.size() && tokens[k + 1].kind == Kind::Point &&
                                       tokens[k - 1].kind != Kind::Literal))
                ++scale;
            break;
        case Kind::Percent: ++percent; break;
        case Kind::Exponent: exponentSign = t.text; break;
        case Kind::General: general = true; break;
        default: break;
        }
    }
    // % and thousands move the point of the decimal shown, so that 1.005
    // is 100.5% as the 15 digits have it.
    Decimal d = decimalOf(value);
    if (!d.digits.empty())
        d.point += 2 * percent - 3 * scale;
    const double scaled = value * std::pow(100.0, percent) / std::pow(1000.0, scale);

    std::vector<std::string> wholeOut, fractionOut, exponentOut;
    std::string generalOut;
    if (general) {
        generalOut = generalNumber(std::fabs(scaled));
    } else if (!exponentSign.empty()) {
        if (whole.empty() || exponent.empty())
            unknown(code, "an exponent without digits");
        // The exponent a multiple of the whole placeholders (##0.0E+0:
        // engineering notation), the mantissa's first digit not zero.
        const int step = whole.size() > 1 && whole.front() == '#' ? static_cast<int>(whole.size()) : 1;
        const int top = d.digits.empty() ? 0 : d.point - 1;  // the power of the first digit
        int power = step > 1 ? static_cast<int>(std::floor(static_cast<double>(top) / step)) * step
                             : top - static_cast<int>(whole.size()) + 1;
        Decimal shifted = d;
        shifted.point -= power;
        auto mantissa = fixed(shifted, static_cast<int>(fraction.size()));
        if (step == 1 && mantissa.first.size() > whole.size()) {  // rounded up to 10: one power more
            shifted.point -= 1, power += 1;
            mantissa = fixed(shifted, static_cast<int>(fraction.size()));
        }
        wholeOut = fillWhole(mantissa.first, whole);
        fractionOut = fillFraction(mantissa.second, fraction);
        std::string digits = std::to_string(std::abs(power));
        if (digits.size() < exponent.size())
            digits.insert(0, exponent.size() - digits.size(), '0');
        exponentOut = {(power < 0 ? "-" : exponentSign[1] == '+' ? "+" : "") + digits};
    } else {
        const auto [w, f] = fixed(d, static_cast<int>(fraction.size()));
        wholeOut = fillWhole(w, whole);
        if (group && !interleaved) {  // grouped as one run of digits
            std::string joined;
            for (const auto& part : wholeOut)
                joined += part;
            const auto start = std::min(joined.find_first_not_of(' '), joined.size());
            wholeOut.assign(whole.size(), "");
            wholeOut[0] = joined.substr(0, start) + grouped(joined.substr(start));
        }
        fractionOut = fillFraction(f, fraction);
    }

    std::string out;
    std::size_t wi = 0, fi = 0;
    bool inFraction = false, inExponent = false;
    for (const Token& t : tokens) {
        switch (t.kind) {
        case Kind::Digit:
            if (inExponent)
                break;
            if (inFraction)
                out += fractionOut[fi++];
            else
                out += wholeOut[wi++];
            break;
        case Kind::Point: out += '.'; inFraction = true; break;
        case Kind::Percent: out += '%'; break;
        case Kind::Exponent: out += "E" + exponentOut[0]; inExponent = true; break;
        case Kind::General: out += generalOut; break;
        case Kind::Text: out += generalNumber(std::fabs(scaled)); break;
        case Kind::Literal: out += t.text; break;
        default: break;
        }
    }
    const bool zero = std::all_of(wholeOut.begin(), wholeOut.end(), [](const std::string& p) {
                          return p.find_first_of("123456789") == std::string::npos;
                      }) && std::all_of(fractionOut.begin(), fractionOut.end(), [](const std::string& p) {
                          return p.find_first_of("123456789") == std::string::npos;
                      }) && generalOut.find_first_of("123456789") == std::string::npos &&
                      std::none_of(tokens.begin(), tokens.end(), [](const Token& t) { return t.kind == Kind::Text; });
    const bool digits = !wholeOut.empty() || !fractionOut.empty() || general ||
                        std::any_of(tokens.begin(), tokens.end(), [](const Token& t) { return t.kind == Kind::Text; });
    return (sign && value < 0 && digits && !zero ? "-" : "") + out;
}

// Days since 1970-01-01 as a civil date (Howard Hinnant's algorithm).
void civil(long long days, long long& y, unsigned& m, unsigned& d)
{
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

std::string padded(long long n, int width)
{
    std::string s = std::to_string(n);
    if (static_cast<int>(s.size()) < width)
        s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
    return s;
}

std::string formatDate(double value, const Section& section, bool date1904, std::string_view code)
{
    static constexpr const char* MONTHS[] = {"January", "February", "March",     "April",   "May",      "June",
                                             "July",    "August",   "September", "October", "November", "December"};
    static constexpr const char* DAYS[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday",
                                           "Saturday"};
    const auto& tokens = section.tokens;
    // Fractions of a second: the zeros after the point that follows seconds.
    int subsecond = 0;
    bool ampm = false;
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        ampm |= tokens[k].kind == Kind::AmPm;
        if (tokens[k].kind == Kind::Point)
            for (std::size_t j = k + 1; j < tokens.size() && tokens[j].kind == Kind::Digit && tokens[j].text == "0"; ++j)
                subsecond = std::min(3, subsecond + 1);
    }
    if (value < 0 || value >= (date1904 ? 2957003 : 2958466))
        throw FormatError("the number " + generalNumber(value) + " is shown as a date or time (format \"" +
                          std::string(code) + "\") but is out of the spreadsheets' range of dates");
    long long perSecond = 1;
    for (int i = 0; i < subsecond; ++i)
        perSecond *= 10;
    const long long perDay = 86400 * perSecond;
    // A date with a time, or a duration ([h]), is rounded to what it shows; a date or a time alone
    // is cut there as a calendar or a clock does (23:59:59.9 is 23:59:59),
    // after rounding to a ten-thousandth of a second, which leaves out the
    // double's error.
    bool hasDate = false, hasTime = false, elapsed = false;
    for (const Token& t : tokens) {
        elapsed |= t.kind == Kind::Elapsed;
        hasDate |= t.kind == Kind::Year || t.kind == Kind::Month || t.kind == Kind::Day;
        hasTime |= t.kind == Kind::Hour || t.kind == Kind::Minute || t.kind == Kind::Second || t.kind == Kind::Elapsed;
    }
    const long long total =
        (hasDate && hasTime) || elapsed ? static_cast<long long>(std::floor(value * static_cast<double>(perDay) + 0.5))
                           : static_cast<long long>(std::floor(value * 864000000.0 + 0.5)) / (10000 / perSecond);
    const long long serial = total / perDay;
    const long long inDay = total % perDay;
    long long year = 1900;
    unsigned month = 1, day = 0;
    if (date1904)
        civil(serial - 24107, year, month, day);  // 1904-01-01 is 24107 days before 1970
    else if (serial == 60)
        month = 2, day = 29;  // Excel keeps Lotus's 29 February 1900
    else if (serial > 0)
        civil(serial - 25569 + (serial < 60 ? 1 : 0), year, month, day);  // 25569: 1899-12-30 to 1970-01-01
    const long long weekday = (serial + (date1904 ? 5 : 6)) % 7;
    const long long hours = inDay / (3600 * perSecond), minutes = inDay / (60 * perSecond) % 60,
                    seconds = inDay / perSecond % 60, fractionPart = inDay % perSecond;

    std::string out;
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        const Token& t = tokens[k];
        switch (t.kind) {
        case Kind::Year: out += t.count <= 2 ? padded(year % 100, 2) : padded(year, 4); break;
        case Kind::Month:
            out += t.count <= 2 ? padded(month, t.count)
                 : t.count == 3 ? std::string(MONTHS[month - 1], 3)
                 : t.count == 4 ? MONTHS[month - 1] : std::string(1, MONTHS[month - 1][0]);
            break;
        case Kind::Day:
            out += t.count <= 2 ? padded(day, t.count)
                 : t.count == 3 ? std::string(DAYS[weekday], 3) : DAYS[weekday];
            break;
        case Kind::Hour: out += padded(ampm ? (hours % 12 == 0 ? 12 : hours % 12) : hours, std::min(t.count, 2)); break;
        case Kind::Minute: out += padded(minutes, std::min(t.count, 2)); break;
        case Kind::Second: out += padded(seconds, std::min(t.count, 2)); break;
        case Kind::Elapsed:
            out += padded(t.text == "h"   ? serial * 24 + hours
                          : t.text == "m" ? (serial * 24 + hours) * 60 + minutes
                                          : ((serial * 24 + hours) * 60 + minutes) * 60 + seconds,
                          t.count);
            break;
        case Kind::AmPm:
            if (t.text == "上午/下午")
                out += hours < 12 ? "上午" : "下午";
            else if (t.text.size() == 3)
                out += hours < 12 ? t.text[0] : t.text[2];
            else
                out += hours < 12 ? "AM" : "PM";
            break;
        case Kind::Point:
            if (subsecond > 0) {
                out += '.' + padded(fractionPart, subsecond);
                while (k + 1 < tokens.size() && tokens[k + 1].kind == Kind::Digit)
                    ++k;
            } else {
                out += '.';
            }
            break;
        case Kind::Literal:
        case Kind::Comma: out += t.text; break;
        default: unknown(code, "digits or text in a date");
        }
    }
    return out;
}

}  // namespace

std::optional<std::string> builtinFormat(int id)
{
    switch (id) {
    case 0: return "General";
    case 1: return "0";
    case 2: return "0.00";
    case 3: return "#,##0";
    case 4: return "#,##0.00";
    case 9: return "0%";
    case 10: return "0.00%";
    case 11: return "0.00E+00";
    case 14: return "yyyy/m/d";
    case 15: return "d-mmm-yy";
    case 16: return "d-mmm";
    case 17: return "mmm-yy";
    case 18: return "h:mm AM/PM";
    case 19: return "h:mm:ss AM/PM";
    case 20: return "h:mm";
    case 21: return "h:mm:ss";
    case 22: return "yyyy/m/d h:mm";
    case 37: return "#,##0 ;(#,##0)";
    case 38: return "#,##0 ;[Red](#,##0)";
    case 39: return "#,##0.00;(#,##0.00)";
    case 40: return "#,##0.00;[Red](#,##0.00)";
    case 45: return "mm:ss";
    case 46: return "[h]:mm:ss";
    case 47: return "mm:ss.0";
    case 48: return "##0.0E+0";
    case 49: return "@";
    default: return std::nullopt;
    }
}

std::optional<double> serialOfIsoDate(std::string_view text, bool date1904)
{
    const std::string copy(text);
    int y = 1899, m = 12, d = 31, hh = 0, mm = 0, consumed = 0;
    double ss = 0;
    const bool timeOnly = copy.find('-') == std::string::npos;
    const char* clock = copy.c_str();
    if (!timeOnly) {
        if (std::sscanf(copy.c_str(), "%4d-%2d-%2d%n", &y, &m, &d, &consumed) != 3)
            return std::nullopt;
        clock = copy[static_cast<std::size_t>(consumed)] == 'T' ? clock + consumed + 1 : nullptr;
    }
    if (clock) {
        int read = 0;
        if (std::sscanf(clock, "%2d:%2d:%lf%n", &hh, &mm, &ss, &read) != 3)
            return std::nullopt;
        consumed = static_cast<int>(clock - copy.c_str()) + read;
    }
    const std::string_view rest = text.substr(static_cast<std::size_t>(consumed));
    if (!(rest.empty() || rest == "Z") || m < 1 || m > 12 || d < 1 || d > 31 || hh < 0 || hh > 23 || mm < 0 ||
        mm > 59 || !(ss >= 0 && ss < 61) || y < 1899)
        return std::nullopt;
    // Days from civil (Howard Hinnant's algorithm), from 1899-12-30, the
    // serials' day 0 from March 1900; before it Excel counts the 29 February
    // 1900 that Lotus had, one day fewer.
    const int yy = y - (m <= 2);
    const int era = yy / 400, yoe = yy - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long days = static_cast<long long>(era) * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 693899;
    const double time = (hh * 3600 + mm * 60 + ss) / 86400.0;
    if (timeOnly)
        return time;
    if (date1904)
        return days < 1462 ? std::nullopt : std::optional(static_cast<double>(days - 1462) + time);
    return static_cast<double>(days < 61 ? days - 1 : days) + time;
}

std::string generalNumber(double value)
{
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    std::string shown(text, written.ptr);
    for (char& c : shown)
        c = c == 'e' ? 'E' : c;
    return shown;
}

std::string formatNumber(double value, std::string_view code, bool date1904)
{
    if (!std::isfinite(value))
        throw FormatError("the cell holds no finite number");
    const auto texts = splitSections(code);
    std::vector<Section> sections;
    for (const auto text : texts)
        sections.push_back(parseSection(text, code));
    // A fourth section, or one holding @ after the first, is for text only.
    std::size_t numeric = sections.size();
    if (numeric == 4 || (numeric > 1 && std::any_of(sections.back().tokens.begin(), sections.back().tokens.end(),
                                                    [](const Token& t) { return t.kind == Kind::Text; })))
        --numeric;

    // The section for the value: by the conditions where the code has any,
    // else positive and zero; negative; zero. The minus sign is left to the
    // section's text where a section is for negative numbers only.
    std::size_t chosen = 0;
    bool sign = true;
    const bool conditional = std::any_of(sections.begin(), sections.begin() + static_cast<std::ptrdiff_t>(numeric),
                                         [](const Section& s) { return s.condition.op != Condition::None; });
    if (conditional) {
        Condition first = sections[0].condition, second = numeric > 1 ? sections[1].condition : Condition{};
        if (first.op == Condition::None)
            first = {Condition::Greater, 0};
        if (numeric > 2 && second.op == Condition::None)
            second = {Condition::Less, 0};
        if (first.holds(value))
            chosen = 0;
        else if (numeric > 1 && second.holds(value))
            chosen = 1;
        else if (numeric > 2)
            chosen = 2;
        else
            throw FormatError("the number " + generalNumber(value) + " meets no condition of the format \"" +
                              std::string(code) + "\", which shows it as ####");
        sign = chosen != 1;
    } else if (value < 0 && numeric > 1) {
        chosen = 1, sign = false;
    } else if (value == 0 && numeric > 2) {
        chosen = 2;
    }
    const Section& section = sections[chosen];
    if (section.date)
        return formatDate(value, section, date1904, code);
    return formatNumeric(value, section, sign, code);
}

std::string formatText(std::string_view text, std::string_view code)
{
    const auto texts = splitSections(code);
    const bool textSection = texts.size() == 4 || (texts.size() > 1 && texts.back().find('@') != std::string_view::npos);
    if (!textSection && !(texts.size() == 1 && texts[0].find('@') != std::string_view::npos))
        return std::string(text);
    const Section section = parseSection(texts.back(), code);
    std::string out;
    for (const Token& t : section.tokens)
        out += t.kind == Kind::Text ? std::string(text) : t.kind == Kind::Literal ? t.text : "";
    return out;
}
