// What WRITE_FLOAT_TO_INI_FILE stores for a float: C99 "%g" of it widened to
// double, every NaN as "nan". One table for the pure code natively and the
// DLL on Windows.
#pragma once

#include <cfloat>
#include <limits>

struct FloatText {
  float value;
  const char* text;
};

inline const FloatText kFloatTexts[] = {
    {100000.0f, "100000"},
    {1000000.0f, "1e+06"},
    {1234567.0f, "1.23457e+06"},
    {0.1f, "0.1"},
    {0.00001f, "1e-05"},
    {0.0001f, "0.0001"},
    {1e-30f, "1e-30"},
    {123456.5f, "123456"},
    {123457.5f, "123458"},
    {-2.5f, "-2.5"},
    {0.0f, "0"},
    {-0.0f, "-0"},
    {std::numeric_limits<float>::infinity(), "inf"},
    {-std::numeric_limits<float>::infinity(), "-inf"},
    {std::numeric_limits<float>::quiet_NaN(), "nan"},
    {-std::numeric_limits<float>::quiet_NaN(), "nan"},
    {FLT_MAX, "3.40282e+38"},
    {FLT_TRUE_MIN, "1.4013e-45"},
};
