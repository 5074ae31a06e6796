#include "platform/foundation/IsoDate.h"

#include <charconv>
#include <cstdio>

namespace velmora::IsoDate {

namespace {

using namespace std::chrono;

bool readDigits(std::string_view text, std::size_t& pos, std::size_t count, int& value)
{
    if (pos + count > text.size()) {
        return false;
    }
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    pos += count;
    return true;
}

bool expect(std::string_view text, std::size_t& pos, char c)
{
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

} // namespace

std::string format(system_clock::time_point time)
{
    const auto seconds = floor<std::chrono::seconds>(time);
    const auto day = floor<days>(seconds);
    const year_month_day date{day};
    const hh_mm_ss clock{seconds - day};
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
        static_cast<int>(clock.seconds().count()));
    return buffer;
}

std::string now()
{
    return format(system_clock::now());
}

std::optional<system_clock::time_point> parse(std::string_view text)
{
    std::size_t pos = 0;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!readDigits(text, pos, 4, y) || !expect(text, pos, '-') || !readDigits(text, pos, 2, mo)
        || !expect(text, pos, '-') || !readDigits(text, pos, 2, d) || !expect(text, pos, 'T')
        || !readDigits(text, pos, 2, h) || !expect(text, pos, ':') || !readDigits(text, pos, 2, mi)
        || !expect(text, pos, ':') || !readDigits(text, pos, 2, s)) {
        return std::nullopt;
    }
    const year_month_day date{year{y}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}};
    if (!date.ok() || h > 23 || mi > 59 || s > 60) {
        return std::nullopt;
    }
    nanoseconds fraction{0};
    if (expect(text, pos, '.')) {
        std::int64_t scale = 100'000'000;
        std::size_t digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            fraction += nanoseconds{(text[pos] - '0') * scale};
            scale /= 10;
            ++pos;
            ++digits;
        }
        if (digits == 0) {
            return std::nullopt;
        }
    }
    minutes offset{0};
    if (expect(text, pos, 'Z')) {
    } else if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        const int sign = text[pos] == '-' ? -1 : 1;
        ++pos;
        int oh = 0, om = 0;
        if (!readDigits(text, pos, 2, oh)) {
            return std::nullopt;
        }
        expect(text, pos, ':');
        if (!readDigits(text, pos, 2, om) || oh > 23 || om > 59) {
            return std::nullopt;
        }
        offset = minutes{sign * (oh * 60 + om)};
    } else {
        return std::nullopt;
    }
    if (pos != text.size()) {
        return std::nullopt;
    }
    const auto local = sys_days{date} + hours{h} + minutes{mi} + seconds{s} + fraction;
    return time_point_cast<system_clock::duration>(local - offset);
}

} // namespace velmora::IsoDate
