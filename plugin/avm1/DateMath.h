// The calendar arithmetic of the language's Date class, as pure functions on a time value: milliseconds since
// 1970-01-01 00:00 UTC in a double, NaN for an invalid date, valid within +-8.64e15 ms (+-100,000,000 days).
// Local time is the process's time zone as the C library knows it (TZ, daylight saving included).
//
// How the Date class uses it:
// - getters: fieldsOf(time, Zone::Local or Zone::Utc) and read a field (NaN fields for an invalid date);
// - the constructor with fields, setYear and Date.UTC: fullYear() on the year argument, then
//   makeTime(fields, zone); a setter reads fieldsOf(), replaces what it sets and calls makeTime();
// - getTimezoneOffset: timezoneOffsetMinutes(time); toString: toDateString(time); new Date(): now().
#pragma once

#include <string>

namespace reelfinch::avm1 {

enum class Zone { Utc, Local };

// The parts of a time value. Every field is an integer in a double, or NaN when the time is NaN. `month` runs
// from 0, `date` from 1, `weekday` from 0 (Sunday).
struct DateFields {
    double year;
    double month;
    double date;
    double hours;
    double minutes;
    double seconds;
    double milliseconds;
    double weekday;
};

// The parts of `time` in UTC or in local time (all NaN for NaN and for a time outside the valid range).
DateFields fieldsOf(double time, Zone zone);

// The time value of the given parts, each cut to an integer first, and any of them out of its range carried
// into the next (month 12 is January of the next year, date 0 the last day of the month before, hours -1 the
// last hour of the day before...). Local parts are read in the zone's offset at that moment. NaN when a part is
// not finite or the result lies outside the valid range. `weekday` is ignored.
double makeTime(const DateFields& fields, Zone zone);

// A year as the Date constructor, Date.UTC and setYear read it: 0 to 99 (after cutting to an integer) mean
// 1900 to 1999; others stay.
double fullYear(double year);

// Date.UTC(year, month, date, hours, minutes, seconds, ms): two-digit years are 1900s; the result is a time
// value (NaN when invalid).
double utcTime(double year, double month, double date = 1, double hours = 0, double minutes = 0, double seconds = 0,
    double milliseconds = 0);

// How far local time is ahead of UTC at `time`, in milliseconds (daylight saving included); 0 for NaN or where
// the C library cannot tell.
double localOffsetMs(double time);
// getTimezoneOffset: minutes that UTC is ahead of local time (negative east of Greenwich); NaN for NaN.
double timezoneOffsetMinutes(double time);

// Date.toString: "Mon Dec 7 18:15:49 GMT+0100 2026" in local time (the day of the month unpadded, the time in
// two digits each, the zone's offset as +hhmm or -hhmm, the year as a plain integer); "Invalid Date" for NaN
// and a time outside the valid range.
std::string toDateString(double time);

// The current time value, in whole milliseconds.
double now();

} // namespace reelfinch::avm1
