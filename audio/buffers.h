// The three large audio buffers: one decoding round is read into DecodeBuffer
// and handed to the output through OutputBufferA and OutputBufferB.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t RoundSize = 81607680;     // bytes asked of the core library per round
constexpr size_t RoundCapacity = 86929920; // room of one round
constexpr size_t BufferSize = 6 * RoundCapacity + 31948800;

extern uint8_t *DecodeBuffer;
extern uint8_t *OutputBufferA;
extern uint8_t *OutputBufferB;

// Maps the three buffers, zero-filled; they live until the program ends.
// False when one of them cannot be had.
bool AllocateAudioBuffers();
