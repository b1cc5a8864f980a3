// The record of one ASIO driver as the device window lists it, and the choice.
#pragma once

#include <cstdint>
#include <string>

struct AsioDriverEntry {
  uint8_t Picked = 0;
  uint8_t DriverNumber = 0;
  std::string Name; // as the output library reports it
  uint8_t Rate44k1 = 0;
  uint8_t Rate48k = 0;
  uint8_t Rate88k2 = 0;
  uint8_t Rate96k = 0;
  uint8_t Rate176k4 = 0;
  uint8_t Rate192k = 0;
  uint8_t Rate352k8 = 0;
  uint8_t Rate384k = 0;
  uint8_t Rate705k6 = 0;
  uint8_t Rate768k = 0;
};

extern AsioDriverEntry ChosenDevice;
extern uint8_t AsioDevice;
