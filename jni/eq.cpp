// Spectral equaliser state and its two native methods; see eq.h.
#include "eq.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "velmora_chordsmith_NativeInterface.h"

float* eqBands = nullptr;

namespace {

std::atomic<int> nBands{0};    // gains in eqBands
std::atomic<int> eqActive{0};  // the switch, stored as the application passed it
bool initialized = false;
std::mutex setupMutex;  // eq_init against eq_setbands; application side only, never audio

}  // namespace

int eq_band_count() { return nBands.load(std::memory_order_relaxed); }

void eq_init(int pNBands) {
  std::lock_guard<std::mutex> lock(setupMutex);
  if (pNBands < 0) pNBands = 0;
  if (initialized && pNBands == nBands.load(std::memory_order_relaxed)) return;

  // The audio thread does not run during set-up, so the old array can go at once.
  std::free(eqBands);
  eqBands = nullptr;
  nBands.store(0, std::memory_order_relaxed);
  initialized = false;

  float* gains = static_cast<float*>(cs_alloc(sizeof(float) * (size_t)(pNBands > 0 ? pNBands : 1)));
  // Out of memory: stay without gains (the vocoder then leaves magnitudes alone) and let
  // the next eq_init try again.
  if (gains == nullptr) return;
  for (int i = 0; i < pNBands; i++) gains[i] = 1.0f;
  eqBands = gains;
  nBands.store(pNBands, std::memory_order_relaxed);
  initialized = true;
}

void eq_setbands_bounded(const float* bands, int count) {
  std::lock_guard<std::mutex> lock(setupMutex);
  const int n = nBands.load(std::memory_order_relaxed);
  const int copy = count < n ? count : n;
  for (int i = 0; i < copy; i++) cs_store_relaxed(&eqBands[i], bands[i]);
}

void eq_setbands(float* bands) { eq_setbands_bounded(bands, eq_band_count()); }

void eq_enable(int enabled) { eqActive.store(enabled, std::memory_order_relaxed); }

int eq_is_enabled(void) { return eqActive.load(std::memory_order_relaxed) != 0 ? 1 : 0; }

extern "C" JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspEQSetBands(JNIEnv* env,
                                                                                        jobject /*thiz*/,
                                                                                        jfloatArray levels) {
  if (levels == nullptr) return;
  const jsize length = env->GetArrayLength(levels);
  jfloat* values = env->GetFloatArrayElements(levels, nullptr);
  if (values == nullptr) return;  // the JVM has an exception pending
  eq_setbands_bounded(values, length);
  env->ReleaseFloatArrayElements(levels, values, 0);
}

extern "C" JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspEQEnable(JNIEnv* /*env*/,
                                                                                      jobject /*thiz*/,
                                                                                      jint enabled) {
  eq_enable(enabled);
}
