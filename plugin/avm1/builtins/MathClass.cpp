// Math: its functions and constants.
#include "avm1/builtins/Builtins.h"

#include <cmath>

namespace reelfinch::avm1 {

namespace {

double N(Machine& m, const Value* args, int argc, int i)
{
    return i < argc ? m.toNumber(args[i]) : NAN;
}

// The first two arguments are converted, in order, even when the function uses one (their valueOf runs).
double First(Machine& m, const Value* args, int argc)
{
    const double x = N(m, args, argc, 0);
    if (argc > 1)
        m.toNumber(args[1]);
    return x;
}

#define REELFINCH_MATH1(Name, expr)                                                                                    \
    Value Name(Machine& m, const Value&, const Value* args, int argc)                                                  \
    {                                                                                                                  \
        const double x = First(m, args, argc);                                                                         \
        return Value(double(expr));                                                                                    \
    }

REELFINCH_MATH1(MathAbs, std::fabs(x))
REELFINCH_MATH1(MathAcos, std::acos(x))
REELFINCH_MATH1(MathAsin, std::asin(x))
REELFINCH_MATH1(MathAtan, std::atan(x))
REELFINCH_MATH1(MathCeil, std::ceil(x))
REELFINCH_MATH1(MathCos, std::cos(x))
REELFINCH_MATH1(MathExp, std::exp(x))
REELFINCH_MATH1(MathFloor, std::floor(x))
REELFINCH_MATH1(MathLog, std::log(x))
REELFINCH_MATH1(MathSin, std::sin(x))
REELFINCH_MATH1(MathSqrt, std::sqrt(x))
REELFINCH_MATH1(MathTan, std::tan(x))
REELFINCH_MATH1(MathRound, std::floor(x + 0.5))

#undef REELFINCH_MATH1

Value MathAtan2(Machine& m, const Value&, const Value* args, int argc)
{
    const double y = N(m, args, argc, 0);
    const double x = N(m, args, argc, 1);
    return Value(std::atan2(y, x));
}

Value MathPow(Machine& m, const Value&, const Value* args, int argc)
{
    const double base = N(m, args, argc, 0);
    const double exponent = N(m, args, argc, 1);
    return Value(std::pow(base, exponent));
}

Value MathMax(Machine& m, const Value&, const Value* args, int argc)
{
    if (argc == 0)
        return Value(-INFINITY);
    if (argc == 1)
        return Value(NAN);
    const double a = N(m, args, argc, 0), b = N(m, args, argc, 1);
    if (std::isnan(a) || std::isnan(b))
        return Value(NAN);
    return Value(a > b ? a : b);
}

Value MathMin(Machine& m, const Value&, const Value* args, int argc)
{
    if (argc == 0)
        return Value(INFINITY);
    if (argc == 1)
        return Value(NAN);
    const double a = N(m, args, argc, 0), b = N(m, args, argc, 1);
    if (std::isnan(a) || std::isnan(b))
        return Value(NAN);
    return Value(a < b ? a : b);
}

Value MathRandom(Machine& m, const Value&, const Value* args, int argc)
{
    First(m, args, argc);
    m.m_RandomState ^= m.m_RandomState << 13;
    m.m_RandomState ^= m.m_RandomState >> 7;
    m.m_RandomState ^= m.m_RandomState << 17;
    return Value(double(m.m_RandomState % (1ULL << 53)) / double(1ULL << 53));
}

} // namespace

void InstallMathClass(Machine& m)
{
    Object* math = m.newObject();
    m.define(m.m_Global, "Math", Value(math));
    DefineMethods(m, math,
        {
            { "abs", MathAbs },
            { "acos", MathAcos },
            { "asin", MathAsin },
            { "atan", MathAtan },
            { "atan2", MathAtan2 },
            { "ceil", MathCeil },
            { "cos", MathCos },
            { "exp", MathExp },
            { "floor", MathFloor },
            { "log", MathLog },
            { "max", MathMax },
            { "min", MathMin },
            { "pow", MathPow },
            { "random", MathRandom },
            { "round", MathRound },
            { "sin", MathSin },
            { "sqrt", MathSqrt },
            { "tan", MathTan },
        });
    const uint16_t constant = kDontEnum | kDontDelete | kReadOnly;
    m.define(math, "E", Value(M_E), constant);
    m.define(math, "LN10", Value(M_LN10), constant);
    m.define(math, "LN2", Value(M_LN2), constant);
    m.define(math, "LOG10E", Value(M_LOG10E), constant);
    m.define(math, "LOG2E", Value(M_LOG2E), constant);
    m.define(math, "PI", Value(M_PI), constant);
    m.define(math, "SQRT1_2", Value(M_SQRT1_2), constant);
    m.define(math, "SQRT2", Value(M_SQRT2), constant);
}

} // namespace reelfinch::avm1
