#include "app/asio_driver.h"

AsioDriverEntry ChosenDevice;
uint8_t AsioDevice = 0;
