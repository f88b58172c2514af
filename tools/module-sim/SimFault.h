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
    DupAck,       // a good write of the block is stored and acknowledged twice
    LateAck,      // a good write of the block is stored, its acknowledgement comes LateMs late
    LoseWrite,    // a good write of the block is neither stored nor acknowledged
    LateLast,     // the last data message of an answer to the block comes LateLastMs after the request
};

// How late a late answer comes: after a try's time-out of 1 s, so that the
// block has been asked for again when it arrives.
inline constexpr int LateMs = 1200;
// How late the last frame of a late-last answer comes: at 19200 bit/s just
// past the moment the tool gives up an answer that has not come whole (its
// 75 ms on the line and the margin after it), before the repeated answer.
inline constexpr int LateLastMs = 110;

struct Fault
{
    FaultKind kind = FaultKind::DropBlock;
    int block = 0;            // the block faults: 0 to 14
    int frames = 0;           // HangupAfter: at least 1
    double probability = 0.0; // Noise: 0 to 1
};
