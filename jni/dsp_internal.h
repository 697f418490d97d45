// The engine's entry points behind its JNI methods, for the library's own callers: the native
// tests and the benchmarks drive the engine through these without a JVM.
//
// dsp_init and dsp_process are what dspInit and dspProcess do once their arguments are plain
// C values; the threading rules of the JNI methods apply unchanged. dsp_buffers exposes the
// block buffers so that tests can see what the input stage wrote and when memory was obtained.
#pragma once

#include <jni.h>

// Sets the engine up. Returns false (changing nothing) for a frame size the transform does not
// take or an oversampling factor outside 1..frame size.
bool dsp_init(int jFrameSize, int jOverSampling, int jSampleRate, int nChannels);

// Processes one block in place. `length` is the number of shorts `samples` holds; no element at
// or past it is read or written. A block that cannot run (not set up, nothing to consume, no
// memory, null `samples`) is skipped, and the peak meter then reads 0.
void dsp_process(jshort* samples, long length, int samplesIn, int samplesOut);

// The block buffers, per channel, and their capacities in floats; null until the first block.
struct DspBuffers {
  float* inLeft;
  float* inRight;
  float* outLeft;
  float* outRight;
  long inCapacity;
  long outCapacity;
};
DspBuffers dsp_buffers();
