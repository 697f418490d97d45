// The engine's entry points as the native tests reach them: the JNI methods (called with a
// FakeJni environment) and the plain functions behind them.
#pragma once

#include <jni.h>

#include "signals.h"

extern "C" {
JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspInit(JNIEnv*, jobject, jint, jint, jint,
                                                                       jint);
JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspProcess(JNIEnv*, jobject, jshortArray, jint,
                                                                          jint, jfloat);
JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspSetPreamp(JNIEnv*, jobject, jfloat);
JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspPanning(JNIEnv*, jobject, jint, jint, jint);
JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalEnable(JNIEnv*, jobject, jint);
JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalAmount(JNIEnv*, jobject,
                                                                                     jfloat);
JNIEXPORT jfloat JNICALL Java_velmora_chordsmith_NativeInterface_dspGetMaxLevel(JNIEnv*, jobject);
JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspEQSetBands(JNIEnv*, jobject, jfloatArray);
JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspEQEnable(JNIEnv*, jobject, jint);
JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalFilter(JNIEnv*, jobject,
                                                                                     jdoubleArray,
                                                                                     jdoubleArray, jint,
                                                                                     jint);
JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspSpectrumEnable(JNIEnv*, jobject, jint);
JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspGetSpectrum(JNIEnv*, jobject, jfloatArray,
                                                                              jint);
}

bool dsp_init(int jFrameSize, int jOverSampling, int jSampleRate, int nChannels);
void dsp_process(jshort* samples, long length, int samplesIn, int samplesOut);

struct DspBuffers {
  float* inLeft;
  float* inRight;
  float* outLeft;
  float* outRight;
  long inCapacity;
  long outCapacity;
};
DspBuffers dsp_buffers();
