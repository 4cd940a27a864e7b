#include "avm1/DateMath.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

namespace reelfinch::avm1 {

namespace {

constexpr double kMsPerSecond = 1000;
constexpr double kMsPerMinute = 60 * kMsPerSecond;
constexpr double kMsPerHour = 60 * kMsPerMinute;
constexpr double kMsPerDay = 24 * kMsPerHour;
constexpr double kMaxTime = 8.64e15;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

constexpr const char* kWeekdayNames[] = { "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat" };
constexpr const char* kMonthNames[]
    = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };

double positiveModulo(double a, double b)
{
    double r = std::fmod(a, b);
    return r < 0 ? r + b : r;
}

double daysInYear(double year)
{
    if (std::fmod(year, 4) != 0)
        return 365;
    if (std::fmod(year, 100) != 0)
        return 366;
    return std::fmod(year, 400) != 0 ? 365 : 366;
}

// The day number of January 1st of `year`.
double dayFromYear(double year)
{
    return 365 * (year - 1970) + std::floor((year - 1969) / 4) - std::floor((year - 1901) / 100)
        + std::floor((year - 1601) / 400);
}

double yearFromDay(double day)
{
    // An estimate from the mean year length, then corrected by at most a step or two.
    double year = std::floor(day / 365.2425) + 1970;
    while (dayFromYear(year) > day)
        --year;
    while (dayFromYear(year + 1) <= day)
        ++year;
    return year;
}

// Days before the first of each month, in a common year.
constexpr int kMonthStart[] = { 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365 };

double monthStart(int month, bool leap)
{
    return kMonthStart[month] + (leap && month >= 2 ? 1 : 0);
}

double toInteger(double v)
{
    return std::trunc(v);
}

double timeClip(double time)
{
    if (!std::isfinite(time) || std::fabs(time) > kMaxTime)
        return kNaN;
    return toInteger(time) + 0.0; // +0.0 turns -0 into 0
}

DateFields utcFields(double time)
{
    DateFields f;
    double day = std::floor(time / kMsPerDay);
    double timeInDay = time - day * kMsPerDay;
    f.year = yearFromDay(day);
    bool leap = daysInYear(f.year) == 366;
    double dayInYear = day - dayFromYear(f.year);
    int month = 0;
    while (month < 11 && dayInYear >= monthStart(month + 1, leap))
        ++month;
    f.month = month;
    f.date = dayInYear - monthStart(month, leap) + 1;
    f.hours = std::floor(timeInDay / kMsPerHour);
    f.minutes = std::floor(positiveModulo(timeInDay, kMsPerHour) / kMsPerMinute);
    f.seconds = std::floor(positiveModulo(timeInDay, kMsPerMinute) / kMsPerSecond);
    f.milliseconds = positiveModulo(timeInDay, kMsPerSecond);
    f.weekday = positiveModulo(day + 4, 7);
    return f;
}

double makeDay(double year, double month, double date)
{
    double y = year + std::floor(month / 12);
    double m = positiveModulo(month, 12);
    if (std::fabs(y) > 400000) // far outside the valid range; keeps the day arithmetic exact
        return kNaN;
    bool leap = daysInYear(y) == 366;
    return dayFromYear(y) + monthStart(static_cast<int>(m), leap) + date - 1;
}

double makeTimeOfDay(double hours, double minutes, double seconds, double ms)
{
    return hours * kMsPerHour + minutes * kMsPerMinute + seconds * kMsPerSecond + ms;
}

// The offset the C library gives for the second containing `time`, or 0 where it cannot.
double offsetAt(double time)
{
    // Beyond the valid range (with a margin for the offset itself) there is no local time to ask for.
    constexpr double kLargestAsked = kMaxTime + 2 * kMsPerDay;
    if (!(std::fabs(time) <= kLargestAsked))
        return 0;
    auto seconds = static_cast<std::time_t>(std::floor(time / kMsPerSecond));
    std::tm local {};
    if (!localtime_r(&seconds, &local))
        return 0;
    return static_cast<double>(local.tm_gmtoff) * kMsPerSecond;
}

} // namespace

DateFields fieldsOf(double time, Zone zone)
{
    if (std::isnan(timeClip(time)))
        return { kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN };
    return utcFields(zone == Zone::Local ? time + offsetAt(time) : time);
}

double makeTime(const DateFields& f, Zone zone)
{
    const double parts[] = { f.year, f.month, f.date, f.hours, f.minutes, f.seconds, f.milliseconds };
    for (double part : parts)
        if (!std::isfinite(part))
            return kNaN;
    double day = makeDay(toInteger(f.year), toInteger(f.month), toInteger(f.date));
    double time = day * kMsPerDay
        + makeTimeOfDay(toInteger(f.hours), toInteger(f.minutes), toInteger(f.seconds), toInteger(f.milliseconds));
    if (!std::isfinite(time))
        return kNaN;
    if (zone == Zone::Local) {
        // The offset of the moment itself: first guessed from the local reading, then taken at the guess, which
        // settles the hours around a daylight-saving change.
        time -= offsetAt(time - offsetAt(time));
    }
    return timeClip(time);
}

double fullYear(double year)
{
    double y = toInteger(year);
    return y >= 0 && y <= 99 ? 1900 + y : year;
}

double utcTime(
    double year, double month, double date, double hours, double minutes, double seconds, double milliseconds)
{
    return makeTime({ fullYear(year), month, date, hours, minutes, seconds, milliseconds, 0 }, Zone::Utc);
}

double localOffsetMs(double time)
{
    return offsetAt(time);
}

double timezoneOffsetMinutes(double time)
{
    if (std::isnan(timeClip(time)))
        return kNaN;
    return -offsetAt(time) / kMsPerMinute;
}

std::string toDateString(double time)
{
    if (std::isnan(timeClip(time)))
        return "Invalid Date";
    double offset = offsetAt(time);
    DateFields f = utcFields(time + offset);
    long offsetMinutes = std::lround(std::fabs(offset) / kMsPerMinute);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s %s %d %02d:%02d:%02d GMT%c%02ld%02ld %.0f", kWeekdayNames[int(f.weekday)],
        kMonthNames[int(f.month)], int(f.date), int(f.hours), int(f.minutes), int(f.seconds), offset < 0 ? '-' : '+',
        offsetMinutes / 60, offsetMinutes % 60, f.year);
    return buf;
}

double now()
{
    using namespace std::chrono;
    return static_cast<double>(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

} // namespace reelfinch::avm1
