#pragma once
// The faults the module simulator can inject.

enum class FaultKind {
    DropBlock,    // no answer to a read request of the block
    WrongAddress, // the answer's header names another block
    Corrupt,      // one byte of the answer damaged on the line
    NoAck,        // a good write of the block is stored but not acknowledged
    KeepOld,      // a good write of the block is acknowledged but not stored
    Noise,        // probability per sent byte of a random byte before it
    HangupAfter,  // the line closes after this many more frames
    Late,         // the answer to a read request of the block comes LateMs late
};

// How late a late answer comes: after a try's time-out of 1 s, so that the
// block has been asked for again when it arrives.
inline constexpr int LateMs = 1200;

struct Fault
{
    FaultKind kind = FaultKind::DropBlock;
    int block = 0;            // DropBlock, WrongAddress, Corrupt, NoAck, KeepOld, Late: 0 to 14
    int frames = 0;           // HangupAfter: at least 1
    double probability = 0.0; // Noise: 0 to 1
};
