#pragma once

// Frames of the scene recorded by record_frames, each a function issuing its GL commands.
using RecordedFrame = void (*)();
extern const RecordedFrame kRecordedFrames[];
extern const int kRecordedFrameCount;
extern const double kRecordedCallsPerFrame;  // mean over the recorded frames
extern const double kAllCallsPerFrame;       // mean over every frame of the recorded span
