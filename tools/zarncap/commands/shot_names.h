// The file names of a series of shots: "%d" or "%04d" (any width) is the
// shot's number, counted from 1; every other field is strftime's, filled from
// the local time of the shot ("%Y%m%d-%H%M%S"; the day of the month is "%e").
#pragma once

#include <ctime>
#include <string>

namespace zarncap {

// True when the pattern gives each shot its own name (a number or a time field).
bool NamesEachShot(const std::string& pattern);
std::string ShotName(const std::string& pattern, int number, std::time_t when);

}  // namespace zarncap
