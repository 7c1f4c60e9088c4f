// The file names of a series of shots: "%n" or "%04n" (any width, as
// gphoto2 has it) is the shot's number, counted from 1; every other field is
// strftime's, filled from the local time of the shot ("%Y%m%d-%H%M%S", "%d"
// the day of the month).
#pragma once

#include <ctime>
#include <string>

namespace zarncap {

// True when the pattern gives each shot its own name (a number or a time field).
bool NamesEachShot(const std::string& pattern);
std::string ShotName(const std::string& pattern, int number, std::time_t when);

}  // namespace zarncap
