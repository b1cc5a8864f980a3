// The audio device window: every output driver with the rates it takes; a
// click on one that plays 44.1 kHz chooses it.
#pragma once

#include <string>
#include <vector>

#include "app/asio_driver.h"

constexpr int DeviceCloseBox = 500;
constexpr int DeviceHeading = 501;
constexpr int FirstDriverLine = 120;
constexpr int EscapeEvent = 398;

// Drivers 0 to 11 with their rate flags, opening and releasing each once.
std::vector<AsioDriverEntry> ListAudioDevices();
// The line shown for a driver: its name cut to 60 characters and, when it
// plays 44.1 kHz, "  pcm 44.1/48.0/... kHz".
std::string DriverLineText(const AsioDriverEntry &entry);
// Returns after a pick; ends the program when the window is left without one.
void ChooseAudioDevice();
