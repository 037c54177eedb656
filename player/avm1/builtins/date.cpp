// Date. A date is a count of milliseconds since 1970-01-01 00:00:00 UTC, kept as a double. The player
// runs in one fixed time zone, UTC, so local time equals UTC, getTimezoneOffset() is 0 and a movie prints
// the same dates on every machine. "Now" is the movie's clock: the movie starts at 2000-01-01 00:00:00
// UTC and time moves on with its frames (Vm::host.timeMs()), never with the wall clock.
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>

#include "player/avm1/builtins/native_args.h"
#include "player/avm1/value.h"
#include "player/avm1/vm.h"

namespace player::avm1 {

namespace {

constexpr double kMsPerDay = 86400000.0;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Days since 1970-01-01 of a day of the proleptic Gregorian calendar (month 1..12).
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

struct Civil {
    int64_t year;
    int month;  // 0..11
    int day;    // 1..31
};

Civil civilFromDays(int64_t z) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int d = int(doy - (153 * mp + 2) / 5 + 1);
    const int m = int(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (m <= 2), m - 1, d};
}

// The broken-down fields of a time value.
struct Fields {
    double year, month, date, hours, minutes, seconds, ms, weekDay;
};

bool usable(double t) {
    // Beyond this the day count no longer fits the calendar arithmetic.
    return std::isfinite(t) && std::fabs(t) < 8.64e21;
}

Fields split(double t) {
    double days = std::floor(t / kMsPerDay);
    double inDay = t - days * kMsPerDay;
    Civil c = civilFromDays(int64_t(days));
    Fields f;
    f.year = double(c.year);
    f.month = c.month;
    f.date = c.day;
    f.hours = std::floor(inDay / 3600000.0);
    f.minutes = std::fmod(std::floor(inDay / 60000.0), 60.0);
    f.seconds = std::fmod(std::floor(inDay / 1000.0), 60.0);
    f.ms = std::fmod(inDay, 1000.0);
    f.ms = std::floor(f.ms);
    double wd = std::fmod(days + 4, 7.0);
    f.weekDay = wd < 0 ? wd + 7 : wd;
    return f;
}

// The fields a date shows. A date at plus or minus Infinity (its time value stays infinite) shows the
// epoch, but on a Sunday: Flash Player reads every field of it as 0.
Fields shownFields(double t) {
    if (!std::isinf(t)) return split(t);
    Fields f = split(0);
    f.weekDay = 0;
    return f;
}

bool shownUsable(double t) {
    return std::isinf(t) || usable(t);
}

// Time value of broken-down fields; fractions are cut off, months out of range carry into the year.
double compose(double year, double month, double date, double hours, double minutes, double seconds,
               double ms) {
    for (double v : {year, month, date, hours, minutes, seconds, ms})
        if (!std::isfinite(v)) return kNaN;
    year = std::trunc(year);
    month = std::trunc(month);
    double y = year + std::floor(month / 12.0);
    double m = month - std::floor(month / 12.0) * 12.0;
    if (std::fabs(y) > 1e9) return kNaN;
    double days = double(daysFromCivil(int64_t(y), int64_t(m) + 1, 1)) + std::trunc(date) - 1;
    double time = std::trunc(hours) * 3600000.0 + std::trunc(minutes) * 60000.0 +
                  std::trunc(seconds) * 1000.0 + std::trunc(ms);
    return days * kMsPerDay + time;
}

// The movie's clock as a date: 2000-01-01 00:00:00 UTC at the movie's start.
constexpr double kMovieStartMs = 946684800000.0;

double now(Vm& vm) {
    return std::floor(kMovieStartMs + vm.host.timeMs());
}

std::string format(double t) {
    if (!shownUsable(t)) return "Invalid Date";
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    Fields f = shownFields(t);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s %s %d %02d:%02d:%02d GMT+0000 %lld", kDays[int(f.weekDay)],
                  kMonths[int(f.month)], int(f.date), int(f.hours), int(f.minutes), int(f.seconds),
                  static_cast<long long>(f.year));
    return buf;
}

Object* dateOf(const Value& self) {
    Object* o = self.object();
    return o && o->kind() == Object::Kind::Date ? o : nullptr;
}

double timeOf(Object* d) {
    return d->primitive.isNumber() ? d->primitive.number() : kNaN;
}

Object* allocateDate(Vm& vm, Object* proto) {
    Object* o = vm.make<Object>(proto, Object::Kind::Date);
    o->primitive = Value(kNaN);
    return o;
}

// An argument as Date reads it: undefined is NaN in every version.
double dateNumber(Vm& vm, const Value& v) {
    return v.isUndefined() ? kNaN : argNumber(vm, v);
}

// A whole number as the date arithmetic reads year and month: anything not finite is 0.
double wholeOrZero(double n) {
    if (!std::isfinite(n)) return 0;
    return double(clampToInt(n, INT32_MIN, INT32_MAX));
}

// Fields from arguments the way the constructor and Date.UTC read them: (year, month[, date, hours,
// minutes, seconds, ms]). The list ends at the first undefined argument. A year below 100 counts from
// 1900 (99 is 1999, -0.5 is 1899, -100 is 1800). Year and month become whole numbers, anything not finite
// in either making 0000-01; the other fields are plain arithmetic (NaN and Infinity carry through).
double fromArguments(Vm& vm, std::vector<Value>& args) {
    double f[7] = {0, 0, 1, 0, 0, 0, 0};
    for (size_t i = 0; i < 7 && i < args.size() && !args[i].isUndefined(); ++i)
        f[i] = dateNumber(vm, args[i]);
    double year = f[0] < 100 ? f[0] + 1900 : f[0];
    double y = wholeOrZero(year + std::trunc(f[1] / 12));
    double m = wholeOrZero(std::fmod(f[1], 12));
    if (m < 0) {
        m += 12;
        y -= 1;
    }
    double days = double(daysFromCivil(int64_t(y), int64_t(m) + 1, 1)) + std::trunc(f[2]) - 1;
    double time = std::trunc(f[3]) * 3600000.0 + std::trunc(f[4]) * 60000.0 + std::trunc(f[5]) * 1000.0 +
                  std::trunc(f[6]);
    return days * kMsPerDay + time;
}

Value dateCall(Vm& vm, const Value& self, std::vector<Value>& args) {
    return Value(format(now(vm)));
}

Value dateConstruct(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* d = self.object();
    if (!d) return Value();
    size_t given = 0;
    while (given < args.size() && !args[given].isUndefined())
        ++given;
    double t;
    if (given == 0) {
        t = now(vm);
    } else if (given == 1) {
        t = dateNumber(vm, args[0]);
    } else {
        t = fromArguments(vm, args);
    }
    d->primitive = Value(t);
    return Value();
}

Value dateUtc(Vm& vm, const Value& self, std::vector<Value>& args) {
    if (args.empty() || args[0].isUndefined()) return Value();
    if (args.size() < 2 || args[1].isUndefined()) {
        dateNumber(vm, args[0]);  // the year is read (its valueOf runs) before the call gives up
        return Value();
    }
    return Value(fromArguments(vm, args));
}

Value toStringFn(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* d = dateOf(self);
    if (!d) return Value();
    return Value(format(timeOf(d)));
}

Value getTime(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* d = dateOf(self);
    if (!d) return Value();
    return Value(timeOf(d));
}

Value getTimezoneOffset(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* d = dateOf(self);
    if (!d) return Value();
    return shownUsable(timeOf(d)) ? Value(0) : Value(kNaN);
}

enum Field { kYear, kFullYear, kMonth, kDate, kDay, kHours, kMinutes, kSeconds, kMs };

template <Field F>
Value getter(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* d = dateOf(self);
    if (!d) return Value();
    double t = timeOf(d);
    if (!shownUsable(t)) return Value(kNaN);
    Fields f = shownFields(t);
    switch (F) {
        case kYear:
            return Value(f.year - 1900);
        case kFullYear:
            return Value(f.year);
        case kMonth:
            return Value(f.month);
        case kDate:
            return Value(f.date);
        case kDay:
            return Value(f.weekDay);
        case kHours:
            return Value(f.hours);
        case kMinutes:
            return Value(f.minutes);
        case kSeconds:
            return Value(f.seconds);
        case kMs:
            return Value(f.ms);
    }
    return Value();
}

// setFullYear(year[, month, date]), setMonth(month[, date]), ... : the arguments given replace the fields
// from the named one on; the fields not given keep their values. A setter without arguments makes the
// date invalid.
template <Field F>
Value setter(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* d = dateOf(self);
    if (!d) return Value();
    int first = 0, count = 0;
    switch (F) {
        case kYear:
        case kFullYear:
            first = 0, count = 3;
            break;
        case kMonth:
            first = 1, count = 2;
            break;
        case kDate:
            first = 2, count = 1;
            break;
        case kHours:
            first = 3, count = 4;
            break;
        case kMinutes:
            first = 4, count = 3;
            break;
        case kSeconds:
            first = 5, count = 2;
            break;
        case kMs:
            first = 6, count = 1;
            break;
        case kDay:
            return Value();
    }
    if (args.empty()) {
        d->primitive = Value(kNaN);
        return d->primitive;
    }
    // The arguments are read (their valueOf runs) even when the date turns out invalid.
    double given[4];
    int n = 0;
    for (; n < count && size_t(n) < args.size(); ++n)
        given[n] = dateNumber(vm, args[size_t(n)]);
    double t = timeOf(d);
    if (!usable(t)) {
        // Only setFullYear can bring an invalid date back: it starts from 1970-01-01 00:00.
        if (F != kFullYear) return Value(kNaN);
        t = 0;
    }
    Fields f = split(t);
    double v[7] = {f.year, f.month, f.date, f.hours, f.minutes, f.seconds, f.ms};
    for (int i = 0; i < n; ++i)
        v[first + i] = given[i];
    if (F == kYear && std::isfinite(v[0]) && v[0] >= 0 && v[0] < 100) v[0] = 1900 + std::trunc(v[0]);
    // A year that is no finite number is the year 0. A NaN month is January; whole years of the month
    // move the year, and an infinite month gives 0000-01.
    if (!std::isfinite(v[0])) v[0] = 0;
    if (std::isnan(v[1])) v[1] = 0;
    v[0] = std::trunc(v[0]) + std::trunc(std::trunc(v[1]) / 12);
    v[1] = std::fmod(std::trunc(v[1]), 12);
    if (!std::isfinite(v[0]) || !std::isfinite(v[1])) v[0] = v[1] = 0;
    double r = compose(v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
    // A setter keeps the date within 100 million days of 1970; beyond that it is invalid.
    if (std::fabs(r) > 8.64e15) r = kNaN;
    d->primitive = Value(r);
    return Value(r);
}

Value setTime(Vm& vm, const Value& self, std::vector<Value>& args) {
    Object* d = dateOf(self);
    if (!d) return Value();
    double t = args.empty() ? kNaN : dateNumber(vm, args[0]);
    if (!std::isfinite(t)) t = kNaN;
    d->primitive = Value(std::isnan(t) ? t : std::trunc(t));
    return d->primitive;
}

}  // namespace

void installDate(Vm& vm) {
    Object* proto = vm.newObject();
    vm.dateProto = proto;
    NativeFunction* ctor = vm.newClass(dateCall, proto, dateConstruct);
    ctor->allocate = allocateDate;
    vm.method(ctor, "UTC", dateUtc);
    for (const char* name : {"UTC", "__proto__", "constructor", "prototype"})
        ctor->changeFlags(vm, name, kReadOnly, 0);

    struct Entry {
        const char* name;
        NativeFn fn;
    };
    const Entry methods[] = {
        {"getDate", getter<kDate>},
        {"getDay", getter<kDay>},
        {"getFullYear", getter<kFullYear>},
        {"getHours", getter<kHours>},
        {"getMilliseconds", getter<kMs>},
        {"getMinutes", getter<kMinutes>},
        {"getMonth", getter<kMonth>},
        {"getSeconds", getter<kSeconds>},
        {"getTime", getTime},
        {"getTimezoneOffset", getTimezoneOffset},
        {"getUTCDate", getter<kDate>},
        {"getUTCDay", getter<kDay>},
        {"getUTCFullYear", getter<kFullYear>},
        {"getUTCHours", getter<kHours>},
        {"getUTCMilliseconds", getter<kMs>},
        {"getUTCMinutes", getter<kMinutes>},
        {"getUTCMonth", getter<kMonth>},
        {"getUTCSeconds", getter<kSeconds>},
        {"getUTCYear", getter<kYear>},
        {"getYear", getter<kYear>},
        {"setDate", setter<kDate>},
        {"setFullYear", setter<kFullYear>},
        {"setHours", setter<kHours>},
        {"setMilliseconds", setter<kMs>},
        {"setMinutes", setter<kMinutes>},
        {"setMonth", setter<kMonth>},
        {"setSeconds", setter<kSeconds>},
        {"setTime", setTime},
        {"setUTCDate", setter<kDate>},
        {"setUTCFullYear", setter<kFullYear>},
        {"setUTCHours", setter<kHours>},
        {"setUTCMilliseconds", setter<kMs>},
        {"setUTCMinutes", setter<kMinutes>},
        {"setUTCMonth", setter<kMonth>},
        {"setUTCSeconds", setter<kSeconds>},
        {"setYear", setter<kYear>},
        {"toString", toStringFn},
    };
    for (const Entry& e : methods)
        vm.method(proto, e.name, e.fn);
    // valueOf is getTime itself.
    proto->define(vm, "valueOf", proto->get(vm, "getTime"), kDontEnum | kDontDelete);
    vm.global->define(vm, "Date", Value(ctor), kDontEnum);
}

}  // namespace player::avm1
