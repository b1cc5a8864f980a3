// The options window: the three cover settings as texts that change with each
// click, and "Start".
#pragma once

#include <cstdint>
#include <string>

constexpr int OptionsStart = 550;
constexpr int ViewCoverToggle = 502;
constexpr int CoverTrackToggle = 507;
constexpr int BlendToggle = 508;

std::string ViewCoverText(uint8_t mode);
std::string CoverTrackText(uint8_t value);
std::string BlendPictureText(uint8_t value);
// Returns on "Start"; ends the program on Escape.
void ShowOptions();
