// The interface's start: the second half of start-up.
#pragma once

constexpr int MainWindow = 20;
constexpr int DeviceWindow = 21;
constexpr int OptionsWindow = 22;
constexpr int SplashWindow = 23;

// Opens the interface and runs it; leaves only through EndProgram.
[[noreturn]] void StartInterface();
