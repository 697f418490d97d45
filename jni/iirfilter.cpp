// Voice-removal filter state, the filter step, the set-ups and their native method; see iirfilter.h.
#include "iirfilter.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "velmora_chordsmith_NativeInterface.h"

iirFilter iirLeft = {};
iirFilter iirRight = {};
std::atomic<int> inFilterSetup{0};
std::atomic<int> inFilterProcess[2] = {{0}, {0}};

namespace {

bool initialized = false;  // set by the first iir_init
// Serialises set-ups (and iir_init) among themselves; application threads only, never audio.
std::mutex setupMutex;

// Room for `count` doubles, or null when count is 0 or memory cannot be had.
double* obtainDoubles(int count) {
  if (count <= 0) return nullptr;
  // A count this large cannot be honoured; the guard keeps the byte size from wrapping.
  if (static_cast<std::size_t>(count) > SIZE_MAX / sizeof(double)) return nullptr;
  return static_cast<double*>(cs_alloc(static_cast<std::size_t>(count) * sizeof(double)));
}

// Frees every array the filter owns and leaves it without coefficients (all fields zero).
void clearFilter(iirFilter* filter) {
  std::free(filter->a);
  std::free(filter->b);
  std::free(filter->buf1);
  std::free(filter->buf2);
  *filter = iirFilter{};
}

// sizeA, sizeB >= 1 and both arrays present. The old arrays go first, then the new ones are
// obtained; if any cannot be, the filter stays cleared so its orders and arrays always agree.
bool rebuildFilter(iirFilter* filter, const double* ca, const double* cb, int sizeA, int sizeB) {
  clearFilter(filter);
  const int n1 = sizeB - 1;
  const int n2 = sizeA - 1;
  double* a = obtainDoubles(sizeA);
  double* b = obtainDoubles(sizeB);
  double* buf1 = obtainDoubles(n1);
  double* buf2 = obtainDoubles(n2);
  if (a == nullptr || b == nullptr || (n1 > 0 && buf1 == nullptr) || (n2 > 0 && buf2 == nullptr)) {
    std::free(a);
    std::free(b);
    std::free(buf1);
    std::free(buf2);
    return false;
  }
  std::memcpy(a, ca, static_cast<std::size_t>(sizeA) * sizeof(double));
  std::memcpy(b, cb, static_cast<std::size_t>(sizeB) * sizeof(double));
  for (int i = 0; i < n1; i++) buf1[i] = 0.0;
  for (int i = 0; i < n2; i++) buf2[i] = 0.0;
  filter->n1 = n1;
  filter->n2 = n2;
  filter->a = a;
  filter->b = b;
  filter->buf1 = buf1;
  filter->buf2 = buf2;
  filter->pos2 = 0;
  filter->pos1 = 0;
  return true;
}

bool validSetUp(const double* ca, const double* cb, int sizeA, int sizeB) {
  // b[0] is always read and a count of 0 would give a negative order: such a request is
  // ignored rather than half-applied.
  return ca != nullptr && cb != nullptr && sizeA >= 1 && sizeB >= 1;
}

// Spins until no step of `channel` is under way. Any step that raises its flag after
// inFilterSetup went up sees the set-up and leaves the filter alone.
void waitForStep(int channel) {
  while (inFilterProcess[channel].load() != 0) {
  }
}

// A channel's busy flag, raised (sequentially consistent) for the lifetime of one step and
// lowered on every way out of it, so that no exit can leave a set-up waiting for ever.
class StepInProgress {
 public:
  explicit StepInProgress(std::atomic<int>& flag) : flag_(flag) { flag_.store(1); }
  ~StepInProgress() { flag_.store(0); }
  StepInProgress(const StepInProgress&) = delete;
  StepInProgress& operator=(const StepInProgress&) = delete;

 private:
  std::atomic<int>& flag_;
};

// Direct form I, summed in double in a fixed order: b[0] * x[n], then b[j] * x[n - j] for
// j = 1 .. n1, then - a[j] * y[n - j] for j = 1 .. n2. x[n - j] lies j slots before pos1 in the
// ring (wrapping), so walking backwards from pos1 - 1 visits the past newest first.
//
// Also where a step reads its filter at all, through the one reference it is given, and never
// inlined. Inlined into iir_step, with both filters at fixed addresses, clang turns "read this
// field of the chosen filter" into "read that field of both filters, keep one": harmless on the
// processor (the other value is discarded), but the other channel's filter may be rebuilt at
// that moment, and ThreadSanitizer, which instruments the optimised code, rightly reports the
// read. Kept out of line, a step reads only its own filter, as the hand-over assumes.
__attribute__((noinline)) double directFormI(iirFilter& f, double inputValue) {
  if (f.b == nullptr) return inputValue;  // never set up, or its set-up ran out of memory: pass-through
  double acc = inputValue * f.b[0];
  int k = f.pos1;
  for (int j = 1; j <= f.n1; j++) {
    k = k == 0 ? f.n1 - 1 : k - 1;
    acc += f.b[j] * f.buf1[k];
  }
  k = f.pos2;
  for (int j = 1; j <= f.n2; j++) {
    k = k == 0 ? f.n2 - 1 : k - 1;
    acc -= f.a[j] * f.buf2[k];
  }
  if (f.n1 > 0) {
    f.buf1[f.pos1] = inputValue;
    f.pos1 = f.pos1 + 1 == f.n1 ? 0 : f.pos1 + 1;
  }
  if (f.n2 > 0) {
    f.buf2[f.pos2] = acc;  // kept exactly as computed, however large
    f.pos2 = f.pos2 + 1 == f.n2 ? 0 : f.pos2 + 1;
  }
  return acc;
}

// A filter's state laid out flat for a stretch of steps: its past inputs and outputs oldest
// first, followed by the stretch's own, so that every step reads its history at fixed offsets
// instead of walking a ring. The arithmetic is directFormI's, term for term.
constexpr int kFlatOrder = 16;    // longer histories take the ring code
constexpr int kFlatStretch = 64;  // steps per flat run
struct FlatRun {
  iirFilter& f;
  double x[kFlatOrder + kFlatStretch];
  double y[kFlatOrder + kFlatStretch];

  explicit FlatRun(iirFilter& filter) : f(filter) {}

  static bool fits(const iirFilter& f) { return f.b != nullptr && f.n1 <= kFlatOrder && f.n2 <= kFlatOrder; }

  // Ring (next slot = oldest) to flat history and back, after m steps.
  void load() {
    for (int k = 0; k < f.n1; k++) x[k] = f.buf1[(f.pos1 + k) % f.n1];
    for (int k = 0; k < f.n2; k++) y[k] = f.buf2[(f.pos2 + k) % f.n2];
  }
  void store(int m) {
    if (f.n1 > 0) {
      f.pos1 = (int)((f.pos1 + (long)m) % f.n1);
      for (int k = 0; k < f.n1; k++) f.buf1[(f.pos1 + k) % f.n1] = x[m + k];
    }
    if (f.n2 > 0) {
      f.pos2 = (int)((f.pos2 + (long)m) % f.n2);
      for (int k = 0; k < f.n2; k++) f.buf2[(f.pos2 + k) % f.n2] = y[m + k];
    }
  }

  // Step i of the flat run, its input already at x[n1 + i]. kOrder > 0: both orders are kOrder,
  // known to the compiler (the loops unroll); 0: any orders.
  template <int kOrder>
  double step(int i) {
    const int n1 = kOrder > 0 ? kOrder : f.n1;
    const int n2 = kOrder > 0 ? kOrder : f.n2;
    const double* xi = x + n1 + i;
    double* yi = y + n2 + i;
    double acc = xi[0] * f.b[0];
    for (int j = 1; j <= n1; j++) acc += f.b[j] * xi[-j];
    for (int j = 1; j <= n2; j++) acc -= f.a[j] * yi[-j];
    yi[0] = acc;
    return acc;
  }
};

// m steps of both filters side by side: their two chains of sums overlap in the processor.
template <int kOrder>
void stepBoth(FlatRun& left, FlatRun& right, int m, double* out0, double* out1) {
  for (int i = 0; i < m; i++) {
    out0[i] = left.step<kOrder>(i);
    out1[i] = right.step<kOrder>(i);
  }
}

}  // namespace

void iir_init(void) {
  std::lock_guard<std::mutex> lock(setupMutex);
  if (initialized) return;
  initialized = true;
  // Nothing to clear: the filters are zero from load, and a filter configured before the
  // first engine set-up keeps its coefficients (zeroing it would lose them and leak its arrays).
}

void iir_init_filter(iirFilter* filter, double* ca, double* cb, int sizeA, int sizeB) {
  if (filter == nullptr || !validSetUp(ca, cb, sizeA, sizeB)) return;
  rebuildFilter(filter, ca, cb, sizeA, sizeB);
}

void iir_init_filters(double* ca, double* cb, int sizeA, int sizeB) {
  if (!validSetUp(ca, cb, sizeA, sizeB)) return;
  std::lock_guard<std::mutex> lock(setupMutex);

  inFilterSetup.store(1);  // steps that begin from here on pass their input through
  waitForStep(0);
  const bool leftOk = rebuildFilter(&iirLeft, ca, cb, sizeA, sizeB);
  waitForStep(1);
  // Out of memory on either side: leave both without coefficients, so the pair never
  // filters one channel and not the other. iirLeft is still ours: no step of channel 0 can
  // touch it until inFilterSetup comes down.
  if (!leftOk || !rebuildFilter(&iirRight, ca, cb, sizeA, sizeB)) {
    clearFilter(&iirLeft);
    clearFilter(&iirRight);
  }
  inFilterSetup.store(0);
}

double iir_step(int channel, double inputValue) {
  // Anything but 0 is the right channel, so the flag index stays within its two elements.
  const int c = channel == 0 ? 0 : 1;
  // Raise the flag before testing for a set-up: a set-up that raised its own flag first is
  // then seen here, and one that raises it later sees ours and waits for this step to end.
  //
  // Why no step ever meets a rebuild: the step stores its flag, then loads inFilterSetup; the
  // set-up stores inFilterSetup, then loads the flag, all sequentially consistent. In the single
  // order of those four operations one store comes first, so the two loads cannot both read 0:
  // either this step sees the set-up and passes its input through, or the set-up sees the flag
  // and waits until the step lowers it, and that lowering (a release) read by the wait (an
  // acquire) orders every read of the filter below before the rebuild. ThreadSanitizer models
  // sequentially consistent operations as plain acquire and release, without their single
  // order, but it judges only executions that really ran, and the processor (the fence of a
  // sequentially consistent store) never lets the forbidden one run; in every other execution
  // the release/acquire pair it does track is there. So the hand-over needs no suppression.
  const StepInProgress busy(inFilterProcess[c]);
  if (inFilterSetup.load() != 0) return inputValue;
  return directFormI(c == 0 ? iirLeft : iirRight, inputValue);
}

void iir_step_frames(const double* in0, double* out0, const double* in1, double* out1, int n) {
  // The same hand-over as iir_step's, held for the whole stretch: both flags raised first, then
  // the one test of a set-up.
  const StepInProgress busy0(inFilterProcess[0]);
  const StepInProgress busy1(inFilterProcess[1]);
  if (inFilterSetup.load() != 0) {
    for (int i = 0; i < n; i++) {
      out0[i] = in0[i];
      out1[i] = in1[i];
    }
    return;
  }
  if (!FlatRun::fits(iirLeft) || !FlatRun::fits(iirRight)) {
    for (int i = 0; i < n; i++) {
      out0[i] = directFormI(iirLeft, in0[i]);
      out1[i] = directFormI(iirRight, in1[i]);
    }
    return;
  }
  FlatRun left(iirLeft), right(iirRight);
  for (int start = 0; start < n; start += kFlatStretch) {
    const int m = n - start < kFlatStretch ? n - start : kFlatStretch;
    left.load();
    right.load();
    for (int i = 0; i < m; i++) {
      left.x[left.f.n1 + i] = in0[start + i];
      right.x[right.f.n1 + i] = in1[start + i];
    }
    // The usual filters have equal orders on both sides and channels (one design for both).
    const int order = iirLeft.n1;
    const bool same = iirLeft.n2 == order && iirRight.n1 == order && iirRight.n2 == order;
    if (same && order == 2) {
      stepBoth<2>(left, right, m, out0 + start, out1 + start);
    } else if (same && order == 4) {
      stepBoth<4>(left, right, m, out0 + start, out1 + start);
    } else if (same && order == 6) {
      stepBoth<6>(left, right, m, out0 + start, out1 + start);
    } else if (same && order == 8) {
      stepBoth<8>(left, right, m, out0 + start, out1 + start);
    } else {
      stepBoth<0>(left, right, m, out0 + start, out1 + start);
    }
    left.store(m);
    right.store(m);
  }
}

extern "C" JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalFilter(
    JNIEnv* env, jobject /*thiz*/, jdoubleArray coeffA, jdoubleArray coeffB, jint sizeA, jint sizeB) {
  if (coeffA == nullptr || coeffB == nullptr) return;
  // Never read past either array: the counts are bounded by the arrays' lengths. Lengths are
  // taken before any elements, since no other JNI call is allowed once one fetch has failed.
  const jsize lengthA = env->GetArrayLength(coeffA);
  const jsize lengthB = env->GetArrayLength(coeffB);
  const int countA = sizeA < lengthA ? sizeA : lengthA;
  const int countB = sizeB < lengthB ? sizeB : lengthB;
  if (countA < 1 || countB < 1) return;  // nothing usable: both filters stay as they were

  jdouble* inA = env->GetDoubleArrayElements(coeffA, nullptr);
  if (inA == nullptr) return;  // the JVM has an exception pending
  jdouble* inB = env->GetDoubleArrayElements(coeffB, nullptr);
  if (inB == nullptr) {
    env->ReleaseDoubleArrayElements(coeffA, inA, 0);
    return;
  }
  iir_init_filters(inA, inB, countA, countB);
  env->ReleaseDoubleArrayElements(coeffB, inB, 0);
  env->ReleaseDoubleArrayElements(coeffA, inA, 0);
}
