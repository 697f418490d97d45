// After the first block, processing obtains and releases no memory and takes no lock.
//
// This executable replaces the C allocator's entry points and pthread_mutex_lock with counting
// wrappers, for the whole process (operator new goes through malloc). The sanitizers bring
// allocators of their own, so under them the test is skipped.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <vector>

#include "eq.h"
#include "iirfilter.h"
#include "spectrum.h"
#include "support/engine.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define CS_COUNTING 0
#else
#define CS_COUNTING 1
#endif

namespace {
std::atomic<long> heapCalls{0};
std::atomic<long> lockCalls{0};
}  // namespace

#if CS_COUNTING
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);

void* malloc(size_t n) {
  heapCalls++;
  return __libc_malloc(n);
}
void* calloc(size_t n, size_t size) {
  heapCalls++;
  return __libc_calloc(n, size);
}
void* realloc(void* p, size_t n) {
  heapCalls++;
  return __libc_realloc(p, n);
}
void* aligned_alloc(size_t alignment, size_t n) {
  heapCalls++;
  return __libc_memalign(alignment, n);
}
int posix_memalign(void** out, size_t alignment, size_t n) {
  heapCalls++;
  *out = __libc_memalign(alignment, n);
  return *out ? 0 : 12;  // ENOMEM
}
void free(void* p) {
  if (p != nullptr) heapCalls++;
  __libc_free(p);
}
int pthread_mutex_lock(pthread_mutex_t* m) {
  using Lock = int (*)(pthread_mutex_t*);
  static Lock real = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
  lockCalls++;
  return real(m);
}
}
#endif

namespace {

void featuresOn(int channels) {
  dsp_init(2048, 4, 44100, channels);
  std::vector<double> a = {1.0, -0.3}, b = {0.5, 0.25, 0.125};
  iir_init_filters(a.data(), b.data(), 2, 3);
  std::vector<float> gains(1024);
  for (int i = 0; i < 1024; i++) gains[i] = 0.5f + (float)(i % 7) * 0.25f;
  eq_setbands(gains.data());
  eq_enable(1);
  spectrum_enabled = 1;
  Java_velmora_chordsmith_NativeInterface_dspSetPreamp(nullptr, nullptr, 1.5f);
  Java_velmora_chordsmith_NativeInterface_dspPanning(nullptr, nullptr, 1, 0, 40);
  Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalEnable(nullptr, nullptr, 1);
  Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalAmount(nullptr, nullptr, 0.8f);
}

long heapCallsForBlocks(int channels, int blocks) {
  std::vector<std::vector<jshort>> input;
  for (int b = 0; b < blocks; b++) {
    std::vector<jshort> block = sineBlock(2048, channels, 440, 44100, 20000, b * 2048L, 0.7);
    block.resize((size_t)channels * 2560);
    input.push_back(block);
  }
  dsp_process(input[0].data(), (long)input[0].size(), 2048, 2560);  // the first block may allocate
  const long heapBefore = heapCalls.load();
  const long locksBefore = lockCalls.load();
  for (int b = 1; b < blocks; b++) dsp_process(input[b].data(), (long)input[b].size(), 2048, 2560);
  EXPECT_EQ(lockCalls.load() - locksBefore, 0);
  return heapCalls.load() - heapBefore;
}

}  // namespace

TEST(EngineRealTime, BlocksAfterTheFirstObtainNoMemoryAndTakeNoLock) {
  if (!CS_COUNTING) GTEST_SKIP() << "the sanitizer's allocator cannot be counted";
  // The counters must see allocations at all, or a zero below proves nothing.
  const long before = heapCalls.load();
  char* volatile probe = new char[16];
  delete[] probe;
  ASSERT_GT(heapCalls.load(), before);

  for (int channels : {1, 2}) {
    for (int link : {0, 1}) {
      featuresOn(channels);
      Java_velmora_chordsmith_NativeInterface_dspStereoLink(nullptr, nullptr, link);
      EXPECT_EQ(heapCallsForBlocks(channels, 40), 0) << "channels " << channels << ", link " << link;
    }
  }
  Java_velmora_chordsmith_NativeInterface_dspStereoLink(nullptr, nullptr, 0);
}
